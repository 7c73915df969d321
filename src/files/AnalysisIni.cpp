// Analysis.ini: our analysis settings beside Sys.ndx.
#include "files/AnalysisIni.h"

#include <algorithm>
#include <cmath>

#include "files/TextFile.h"
#include "record/CFormat.h"
#include "record/TestRecord.h"

namespace tov {

namespace {

std::string trimmed(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  const auto end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

} // namespace

std::vector<std::string> analysisSettingsLines(const AnalysisSettings& settings) {
  return {
      "; 解析の設定: 検討事項に挙げる R2 の下限、s/H0 範囲、ページに近似直線を描くか (1/0)、",
      "; 直線の判定 (前半と後半の勾配の差、各行の直線からのずれ = 割合 + 読み取り単位の倍数、s の低下の下限 (これ未満は",
      "; 低下が短いと検討事項に記す)、k を出す s の低下の最小、0 とみなす読み取り単位の倍数)、",
      "; ページに標準曲線を描くか (1/0)、標準曲線の透水係数の異方性 (鉛直/水平、部分貫入の曲線に使う)",
      cformat("straightness=%g", settings.straightness),
      cformat("bandLow=%g", settings.bandLow),
      cformat("bandHigh=%g", settings.bandHigh),
      cformat("fitOnPage=%d", settings.fitOnPage ? 1 : 0),
      cformat("halvesTolerance=%g", settings.halvesTolerance),
      cformat("rowTolerance=%g", settings.rowTolerance),
      cformat("rowSteps=%g", settings.rowSteps),
      cformat("leastFall=%g", settings.leastFall),
      cformat("shortestFall=%g", settings.shortestFall),
      cformat("zeroSteps=%g", settings.zeroSteps),
      cformat("typeCurvesOnPage=%d", settings.typeCurvesOnPage ? 1 : 0),
      cformat("anisotropy=%g", settings.anisotropy),
  };
}

AnalysisSettings analysisSettingsFromLines(const std::vector<std::string>& lines) {
  AnalysisSettings settings;
  const AnalysisSettings defaults;
  for (const std::string& line : lines) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = trimmed(line.substr(0, equals));
    const std::string value = trimmed(line.substr(equals + 1));
    if (!isNumberText(value)) continue;
    const double number = toDouble(value);
    if (!std::isfinite(number)) continue;
    if (name == "straightness" && number > 0 && number <= 1) settings.straightness = number;
    else if (name == "bandLow" && number > 0 && number < 1) settings.bandLow = number;
    else if (name == "bandHigh" && number > 0 && number <= 1) settings.bandHigh = number;
    else if (name == "fitOnPage") settings.fitOnPage = toInt(value) != 0;
    else if (name == "halvesTolerance" && number > 0 && number < 1) settings.halvesTolerance = number;
    else if (name == "rowTolerance" && number >= 0 && number < 1) settings.rowTolerance = number;
    else if (name == "rowSteps" && number >= 0 && number <= 100) settings.rowSteps = number;
    else if (name == "leastFall" && number >= 0 && number < 1) settings.leastFall = number;
    else if (name == "shortestFall" && number >= 0 && number < 1) settings.shortestFall = number;
    else if (name == "zeroSteps" && number >= 0 && number <= 1000) settings.zeroSteps = number;
    else if (name == "typeCurvesOnPage") settings.typeCurvesOnPage = toInt(value) != 0;
    else if (name == "anisotropy" && number >= 0.001 && number <= 1000) settings.anisotropy = number;
  }
  // A band that is no band falls back to the defaults as a whole.
  if (!(settings.bandLow < settings.bandHigh)) {
    settings.bandLow = defaults.bandLow;
    settings.bandHigh = defaults.bandHigh;
  }
  // A fall that gives no k is never above the one that gives a full k.
  settings.shortestFall = std::min(settings.shortestFall, settings.leastFall);
  return settings;
}

AnalysisSettings readAnalysisSettings(const std::filesystem::path& installFolder) {
  const auto text = readTextLines(installFolder / kAnalysisSettingsFile);
  if (!text) return AnalysisSettings{};
  return analysisSettingsFromLines(text->lines);
}

bool writeAnalysisSettings(const std::filesystem::path& installFolder, const AnalysisSettings& settings) {
  return writeTextLines(installFolder / kAnalysisSettingsFile, analysisSettingsLines(settings)).ok();
}

AnalysisSettings& theAnalysisSettings() {
  static AnalysisSettings settings;
  return settings;
}

} // namespace tov
