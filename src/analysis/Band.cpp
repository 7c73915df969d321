// The recommended head range.
#include "analysis/Band.h"

#include <cmath>

#include "record/CFormat.h"

namespace tov {

Band recommendedBand(const TestRecord& record, const std::vector<Sample>& samples, const AnalysisSettings& settings) {
  Band band;
  const std::string& sp = record.field(F_startHeadDifference);
  if (isNumberText(sp) && toDouble(sp) > 0) band.h0 = toDouble(sp);
  else if (!samples.empty() && usableHead(samples.front().s)) band.h0 = samples.front().s;
  if (!std::isfinite(band.h0)) band.h0 = 0;
  band.low = band.h0 * settings.bandLow;
  band.high = band.h0 * settings.bandHigh;
  return band;
}

BandPlace placeInBand(const std::vector<Sample>& samples, int first, int last, const Band& band) {
  const int rows = static_cast<int>(samples.size());
  if (!band.known() || first < 1 || last > rows || first > last) return BandPlace::Unknown;
  double low = INFINITY, high = -INFINITY;
  for (int row = first; row <= last; ++row) {
    const double s = samples[static_cast<std::size_t>(row - 1)].s;
    if (!usableHead(s)) continue;
    low = std::min(low, s);
    high = std::max(high, s);
  }
  if (!(low <= high)) return BandPlace::Unknown;
  if (low >= band.low && high <= band.high) return BandPlace::Inside;
  // The segment's s range overlapping the band: the line crosses it.
  if (high >= band.low && low <= band.high) return BandPlace::Partly;
  return BandPlace::Outside;
}

const char* bandPlaceText(BandPlace place) {
  switch (place) {
  case BandPlace::Inside: return "s/H0 範囲内";
  case BandPlace::Partly: return "一部が s/H0 範囲内";
  case BandPlace::Outside: return "s/H0 範囲外";
  case BandPlace::Unknown: break;
  }
  return "";
}
} // namespace tov
