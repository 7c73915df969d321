#pragma once
// The recommended head range (s/H0 範囲) and where a segment lies in it.
#include <vector>

#include "analysis/Samples.h"
#include "files/AnalysisIni.h"
#include "record/TestRecord.h"

namespace tov {

// The recommended head range: s / H0 between bandLow and bandHigh, H0 the
// initial head difference (Sp when it is a number above 0, else s of the
// first complete row).
struct Band {
  double h0 = 0;
  double low = 0, high = 0;  // in s (m)
  bool known() const { return h0 > kLeastHead; }
};
Band recommendedBand(const TestRecord& record, const std::vector<Sample>& samples, const AnalysisSettings& settings);
enum class BandPlace { Unknown, Inside, Partly, Outside };
// Where rows first..last (their s) lie against the band.
BandPlace placeInBand(const std::vector<Sample>& samples, int first, int last, const Band& band);
// "s/H0 範囲内", "一部が s/H0 範囲内", "s/H0 範囲外", "" for Unknown.
const char* bandPlaceText(BandPlace place);

} // namespace tov
