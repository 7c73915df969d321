#pragma once
// The settings dialog "様式/桁数" without its widgets: the default item
// names and titles, the decimal places of each quantity, the graph options,
// the sizes and positions of the two graphs and the result block, and the
// table options. The dialog edits texts as typed and choices as numbers;
// OK checks them and stores them into the display settings.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "files/Settings.h"

namespace tov {

// The dialog's text fields, in the order OK checks them.
enum class StyleField : int {
  SurveyNameLabel, SurveyLocationLabel, TestIdNumberLabel, GraphTitle, TableTitle,
  DigitsTime, DigitsPipeLevel, DigitsLevel, DigitsHeadDifference, DigitsFlow, DigitsGradient, DigitsPermeability,
  UpperGraphTop, UpperGraphLeft, UpperGraphHeight, GraphWidth,
  LowerGraphTop, LowerGraphLeft, LowerGraphHeight,
  ResultTop, ResultLeftUnsteady, ResultLeftSteady,
  LevelLetter,
};
inline constexpr int kStyleFieldCount = static_cast<int>(StyleField::LevelLetter) + 1;

// Check boxes (0/1), radio groups and drop-down lists (the index).
enum class StyleOption : int {
  WiderHeadingLayout, RotateAxisNames, JoinReadings, GradientLineMode, MarkGradientPoints,
  GraphFlowScaleFormat, PipeWord, TableFlowFormat,
};
inline constexpr int kStyleOptionCount = static_cast<int>(StyleOption::TableFlowFormat) + 1;

class StyleDigitsModel {
public:
  // The entries of an editable drop-down (the five headings defaults and
  // 水位文字); empty for the other fields.
  static const std::vector<std::string>& listEntries(StyleField field);
  // The entries of a drop-down list option (flow formats, 管/パイプ).
  static const std::vector<std::string>& optionEntries(StyleOption option);

  // Loads the settings into the dialog.
  void openSettings(const DisplaySettings& settings);
  // 標準の設定: the standard values into the dialog (fields without one keep
  // what is shown); nothing is stored.
  void restoreStandard();
  // The width field lost the focus: the lower graph's read-only width
  // follows it.
  void graphWidthLostFocus();
  // OK: false (with the message, and the field to focus) when a field is
  // refused; otherwise every value goes into the settings.
  bool storeSettings(DisplaySettings& settings);

  const std::string& text(StyleField field) const { return texts_[index(field)]; }
  void setText(StyleField field, std::string text) { texts_[index(field)] = std::move(text); }
  int option(StyleOption option) const { return options_[index(option)]; }
  void setOption(StyleOption option, int value) { options_[index(option)] = value; }
  // The read-only width beside the lower graph.
  const std::string& widthMirror() const { return widthMirror_; }
  // The field that is to receive the focus; reading it clears it.
  std::optional<StyleField> takeFocusRequest();

private:
  static std::size_t index(StyleField f) { return static_cast<std::size_t>(f); }
  static std::size_t index(StyleOption o) { return static_cast<std::size_t>(o); }

  std::array<std::string, kStyleFieldCount> texts_{};
  std::array<int, kStyleOptionCount> options_{};
  std::string widthMirror_;
  std::optional<StyleField> focus_;
};

} // namespace tov
