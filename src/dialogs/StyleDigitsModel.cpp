#include "dialogs/StyleDigitsModel.h"

#include "dialogs/FieldCheck.h"
#include "record/CFormat.h"
#include "record/Messages.h"

namespace tov {

namespace {

using F = StyleField;
using O = StyleOption;

// A text setting; standard nullptr: 標準の設定 leaves it as shown.
struct TextSetting {
  F field;
  std::string DisplaySettings::*member;
  const char* standard;
};
const TextSetting kTexts[] = {
    {F::SurveyNameLabel, &DisplaySettings::defaultSurveyNameLabel, "調査名"},
    {F::SurveyLocationLabel, &DisplaySettings::defaultSurveyLocationLabel, "調査位置"},
    {F::TestIdNumberLabel, &DisplaySettings::defaultTestIdNumberLabel, "Ｎｏ．"},
    {F::GraphTitle, &DisplaySettings::defaultGraphTitle, "現場透水試験測定結果図"},
    {F::TableTitle, &DisplaySettings::defaultTableTitle, "現場透水試験測定結果表"},
    {F::LevelLetter, &DisplaySettings::levelLetter, "h"},
};

// An integer setting; a left position is held to 0 .. 200 mm.
struct IntSetting {
  F field;
  int DisplaySettings::*member;
  int standard;
  bool leftPosition;
};
const IntSetting kIntegers[] = {
    {F::DigitsTime, &DisplaySettings::digitsTime, 0, false},
    {F::DigitsPipeLevel, &DisplaySettings::digitsPipeLevel, 3, false},
    {F::DigitsLevel, &DisplaySettings::digitsLevel, 3, false},
    {F::DigitsHeadDifference, &DisplaySettings::digitsHeadDifference, 3, false},
    {F::DigitsFlow, &DisplaySettings::digitsFlow, 2, false},
    {F::DigitsGradient, &DisplaySettings::digitsGradient, 6, false},
    {F::DigitsPermeability, &DisplaySettings::digitsPermeability, 4, false},
    {F::UpperGraphTop, &DisplaySettings::upperGraphTop, 65, false},
    {F::UpperGraphLeft, &DisplaySettings::upperGraphLeft, 25, true},
    {F::UpperGraphHeight, &DisplaySettings::upperGraphHeight, 80, false},
    {F::GraphWidth, &DisplaySettings::graphWidth, 120, false},
    {F::LowerGraphTop, &DisplaySettings::lowerGraphTop, 165, false},
    {F::LowerGraphLeft, &DisplaySettings::lowerGraphLeft, 25, true},
    {F::LowerGraphHeight, &DisplaySettings::lowerGraphHeight, 40, false},
    {F::ResultTop, &DisplaySettings::resultTop, 220, false},
    {F::ResultLeftUnsteady, &DisplaySettings::resultLeftUnsteady, 50, true},
    {F::ResultLeftSteady, &DisplaySettings::resultLeftSteady, 65, false},
};
constexpr int kLeftMin = 0;
constexpr int kLeftMax = 200;

// A choice; standard -1: 標準の設定 leaves it as shown.
struct OptionSetting {
  O option;
  int DisplaySettings::*member;
  int standard;
};
const OptionSetting kOptions[] = {
    {O::WiderHeadingLayout, &DisplaySettings::widerHeadingLayout, -1},
    {O::RotateAxisNames, &DisplaySettings::rotateAxisNames, 1},
    {O::JoinReadings, &DisplaySettings::joinReadings, 0},
    {O::GradientLineMode, &DisplaySettings::gradientLineMode, -1},
    {O::MarkGradientPoints, &DisplaySettings::markGradientPoints, -1},
    {O::GraphFlowScaleFormat, &DisplaySettings::graphFlowScaleFormat, 0},
    {O::PipeWord, &DisplaySettings::pipeWord, -1},
    {O::TableFlowFormat, &DisplaySettings::tableFlowFormat, 0},
};

} // namespace

const std::vector<std::string>& StyleDigitsModel::listEntries(StyleField field) {
  static const std::vector<std::string> none;
  static const std::vector<std::string> surveyName{"調査名", "調査件名"};
  static const std::vector<std::string> location{"調査場所", "調査地点"};
  static const std::vector<std::string> idNumber{"地点番号", "Ｎｏ．", "測点番号"};
  static const std::vector<std::string> graphTitle{
      "現場透水試験測定結果図", "現場透水試験測定結果グラフ", "単孔を利用した透水試験（非定常法/直線勾配法）グラフ",
      "ボーリング孔を利用した透水試験（非定常法）", "単孔を利用した透水試験（定常法）グラフ", ""};
  static const std::vector<std::string> tableTitle{
      "現場透水試験測定結果表", "単孔を利用した透水試験（非定常法/直線勾配法）測定記録",
      "ボーリング孔を利用した透水試験（非定常法）結果表", "単孔を利用した透水試験（定常法）測定記録", ""};
  static const std::vector<std::string> levelLetter{"h", "H", "ｈ", "Ｈ"};
  switch (field) {
  case F::SurveyNameLabel: return surveyName;
  case F::SurveyLocationLabel: return location;
  case F::TestIdNumberLabel: return idNumber;
  case F::GraphTitle: return graphTitle;
  case F::TableTitle: return tableTitle;
  case F::LevelLetter: return levelLetter;
  default: return none;
  }
}

const std::vector<std::string>& StyleDigitsModel::optionEntries(StyleOption option) {
  static const std::vector<std::string> none;
  static const std::vector<std::string> scaleFormat{"10-n  ", "E-n"};
  static const std::vector<std::string> pipeWord{"管", "パイプ"};
  static const std::vector<std::string> tableFormat{"10-n  ", "E-n", "0.xxxx"};
  switch (option) {
  case O::GraphFlowScaleFormat: return scaleFormat;
  case O::PipeWord: return pipeWord;
  case O::TableFlowFormat: return tableFormat;
  default: return none;
  }
}

void StyleDigitsModel::openSettings(const DisplaySettings& settings) {
  for (const TextSetting& t : kTexts) setText(t.field, settings.*t.member);
  for (const IntSetting& i : kIntegers) setText(i.field, cformat("%d", settings.*i.member));
  for (const OptionSetting& o : kOptions) setOption(o.option, settings.*o.member);
  widthMirror_ = text(F::GraphWidth);
  focus_.reset();
}

void StyleDigitsModel::restoreStandard() {
  for (const TextSetting& t : kTexts)
    if (t.standard) setText(t.field, t.standard);
  for (const IntSetting& i : kIntegers) setText(i.field, cformat("%d", i.standard));
  for (const OptionSetting& o : kOptions)
    if (o.standard >= 0) setOption(o.option, o.standard);
  widthMirror_ = text(F::GraphWidth);
}

void StyleDigitsModel::graphWidthLostFocus() { widthMirror_ = text(F::GraphWidth); }

bool StyleDigitsModel::storeSettings(DisplaySettings& settings) {
  if (text(F::LevelLetter).empty()) {
    reportMessage(IDS_NO_DATA);
    setText(F::LevelLetter, "h");
    focus_ = F::LevelLetter;
    return false;
  }
  FieldCheck check;
  for (const TextSetting& t : kTexts) check.encodable(static_cast<int>(t.field), text(t.field));
  std::array<int, std::size(kIntegers)> values{};
  for (std::size_t n = 0; n < std::size(kIntegers); ++n) {
    const IntSetting& i = kIntegers[n];
    const int field = static_cast<int>(i.field);
    if (i.leftPosition)
      check.integerInRange(field, text(i.field), kLeftMin, kLeftMax, values[n]);
    else
      check.integer(field, text(i.field), values[n]);
  }
  if (!check.ok()) {
    focus_ = static_cast<StyleField>(*check.failedField());
    return false;
  }
  for (const TextSetting& t : kTexts) settings.*t.member = text(t.field);
  for (std::size_t n = 0; n < std::size(kIntegers); ++n) settings.*kIntegers[n].member = values[n];
  for (const OptionSetting& o : kOptions) settings.*o.member = option(o.option);
  return true;
}

std::optional<StyleField> StyleDigitsModel::takeFocusRequest() {
  auto focus = focus_;
  focus_.reset();
  return focus;
}

} // namespace tov
