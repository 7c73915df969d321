// The rows of a test as (t, s), the reading step and s with its sign.
#include "analysis/Samples.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "record/CFormat.h"

namespace tov {

std::vector<Sample> unsteadySamples(const TestRecord& record) {
  std::vector<Sample> samples;
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(record.cell(row, C_time)) || !isNumberText(record.cell(row, C_pipeLevel))) break;
    const std::string& s = record.cell(row, C_headDifference);
    samples.push_back(Sample{toDouble(record.cell(row, C_time)), isNumberText(s) ? toDouble(s) : 0.0});
  }
  return samples;
}

std::vector<Sample> steadyFlowSamples(const TestRecord& record) {
  std::vector<Sample> samples;
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(record.cell(row, C_pipeLevel)) || !isNumberText(record.cell(row, C_flow))) break;
    samples.push_back(Sample{toDouble(record.cell(row, C_time)), toDouble(record.cell(row, C_flow))});
  }
  return samples;
}

namespace {

// Decimals of a number text ("1.250" 3, "2.5E-3" 4), -1 when it is none.
int decimalsOf(const std::string& text) {
  if (!isNumberText(text)) return -1;
  const std::size_t e = text.find_first_of("eE");
  const std::string mantissa = text.substr(0, e);
  const std::size_t point = mantissa.find('.');
  int d = point == std::string::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
  // No double has an exponent beyond a few hundred: a typed "1E-99999999999"
  // is held there instead of overflowing the count.
  if (e != std::string::npos) d -= std::clamp(toInt(text.substr(e + 1)), -400, 400);
  return d;
}

} // namespace

double readingStep(const TestRecord& record) {
  int decimals = -1;
  for (int row = 1; row <= kRowCount; ++row) {
    if (!isNumberText(record.cell(row, C_time)) || !isNumberText(record.cell(row, C_pipeLevel))) break;
    decimals = std::max(decimals, decimalsOf(record.cell(row, C_pipeLevel)));
  }
  if (decimals < 0) return 0;
  return std::pow(10.0, -std::clamp(decimals, 1, 6));
}

double restLevelError(const TestRecord& record, double step) {
  // A tape's 1 cm at most: "-1.5" is read as written to 1 cm, not 10.
  const int decimals = decimalsOf(record.field(F_equilibriumLevel));
  if (decimals < 0) return step;
  return std::max(step, std::min(0.01, std::pow(10.0, -std::clamp(decimals, 0, 6))));
}

std::vector<Sample> signedSamples(const TestRecord& record) {
  std::vector<Sample> samples = unsteadySamples(record);
  const std::string& ho = record.field(F_equilibriumLevel);
  if (!isNumberText(ho) || samples.empty()) return samples;
  const double rest = toDouble(ho);
  double sign = 0;
  std::vector<Sample> out = samples;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::string& h = record.cell(static_cast<int>(i) + 1, C_level);
    if (!isNumberText(h)) return samples;
    const double d = rest - toDouble(h);
    // Only where column 5 is this head (a file whose s was written elsewhere stays as it is).
    if (!(std::fabs(std::fabs(d) - samples[i].s) <= 1e-6 + 1e-6 * std::fabs(d))) return samples;
    if (sign == 0 && std::fabs(d) > 0) sign = d > 0 ? 1 : -1;
    out[i].s = d;
  }
  if (sign == 0) return samples;
  for (Sample& p : out) p.s *= sign;
  return out;
}
} // namespace tov
