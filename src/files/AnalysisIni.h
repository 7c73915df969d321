#pragma once
// Our analysis settings (Analysis.ini in the install folder, beside Sys.ndx,
// which never gains a field): the tolerances of the straightness test, the
// recommended band, whether the page shows the fitted line and the type
// curves, the anisotropy the curves assume. Read and
// written here only; the analysis module and the settings loader use it.
// Lines "name=value"; unknown names and unusable values are ignored (the
// defaults stand).
#include <filesystem>
#include <string>
#include <vector>

namespace tov {

inline constexpr const char* kAnalysisSettingsFile = "Analysis.ini";

struct AnalysisSettings {
  // R² below which the chosen segment is noted in 検討事項 (shown, never a
  // rule of the straightness test).
  double straightness = 0.99;
  double bandLow = 0.15;  // the recommended band of s / H0
  double bandHigh = 0.25;
  bool fitOnPage = false;  // the page draws the fitted line and prints its k
  // The straightness test of a segment (see analysis/Analysis.h):
  double halvesTolerance = 0.10;   // the gradients of its halves differ by at most this fraction
  double rowTolerance = 0.03;      // every row within this fraction of the line's s ...
  double rowSteps = 1.0;           // ... plus this many reading steps
  double leastFall = 0.40;         // s falls over it by at least this fraction (a shorter fall is noted)
  double shortestFall = 0.20;      // below this fall no k at all
  double zeroSteps = 3.0;          // rows with s within this many reading steps of 0 are left out
  // The type curves (analysis/TypeCurveFit.h):
  bool typeCurvesOnPage = false;   // the page draws the fitted curves over the readings
  double anisotropy = 1.0;         // Kz / Kr of the partially penetrating model
  bool operator==(const AnalysisSettings&) const = default;
};

AnalysisSettings readAnalysisSettings(const std::filesystem::path& installFolder);
// False when the file could not be written.
bool writeAnalysisSettings(const std::filesystem::path& installFolder, const AnalysisSettings& settings);
// The lines of the file and back (what read and write use).
std::vector<std::string> analysisSettingsLines(const AnalysisSettings& settings);
AnalysisSettings analysisSettingsFromLines(const std::vector<std::string>& lines);
// The settings the running program uses (read where Sys.ndx is read).
AnalysisSettings& theAnalysisSettings();

} // namespace tov
