// The style and digits settings: 標準の設定, OK's checks and what OK stores
// (the width mirror is driven through the widgets).
#include <gtest/gtest.h>

#include "dialogs/StyleDigitsModel.h"
#include "record/Messages.h"

namespace tov {
namespace {

using F = StyleField;
using O = StyleOption;

class StyleDigits : public ::testing::Test {
protected:
  void SetUp() override {
    settings.levelLetter = "H";
    settings.pipeWord = 1;
    settings.gradientLineMode = 2;
    model.openSettings(settings);
  }
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  DisplaySettings settings = firstStartDisplaySettings();
  StyleDigitsModel model;
};

TEST_F(StyleDigits, StandardFillsItsColumnAndKeepsTheUnchangedFields) {
  model.setText(F::GraphWidth, "77");
  model.setOption(O::WiderHeadingLayout, 0);
  model.setOption(O::MarkGradientPoints, 0);
  model.restoreStandard();
  const std::pair<F, const char*> texts[] = {
      {F::DigitsPermeability, "4"}, {F::DigitsGradient, "6"},   {F::UpperGraphTop, "65"},
      {F::UpperGraphHeight, "80"},  {F::GraphWidth, "120"},     {F::LowerGraphTop, "165"},
      {F::ResultLeftSteady, "65"},  {F::TestIdNumberLabel, "Ｎｏ．"}, {F::GraphTitle, "現場透水試験測定結果図"},
      {F::SurveyLocationLabel, "調査位置"}, {F::LevelLetter, "h"},
  };
  for (auto [field, text] : texts) EXPECT_EQ(model.text(field), text) << static_cast<int>(field);
  EXPECT_EQ(model.widthMirror(), "120");
  const std::pair<O, int> options[] = {
      {O::JoinReadings, 0}, {O::RotateAxisNames, 1}, {O::TableFlowFormat, 0},
      // Left as the dialog showed them.
      {O::WiderHeadingLayout, 0}, {O::MarkGradientPoints, 0}, {O::GradientLineMode, 2}, {O::PipeWord, 1},
  };
  for (auto [option, value] : options) EXPECT_EQ(model.option(option), value) << static_cast<int>(option);
  // Nothing is stored until OK; a first start keeps its own digits.
  EXPECT_EQ(settings.digitsPermeability, 2);
  EXPECT_EQ(settings.digitsGradient, 4);
  ASSERT_TRUE(model.storeSettings(settings));
  EXPECT_EQ(settings.digitsPermeability, 4);
  EXPECT_EQ(settings.digitsGradient, 6);
}

TEST_F(StyleDigits, OkRefusesAFieldWithTheStandardMessageAndNamesItForTheFocus) {
  const std::string integer = "整数を入力してください。";
  const std::string range = "0 から 200 までの整数を入力してください。";
  const struct {
    F field;
    const char* text;
    std::string message;  // "" when accepted
  } rows[] = {
      {F::UpperGraphLeft, "250", range},   {F::LowerGraphLeft, "-1", range},
      {F::ResultLeftUnsteady, "201", range}, {F::UpperGraphLeft, "200", ""},
      {F::ResultLeftSteady, "250", ""},    {F::UpperGraphTop, "-30", ""},
      {F::DigitsTime, "1.5", integer},     {F::GraphWidth, "", integer},
      {F::DigitsPermeability, " 3 ", ""},  {F::GraphTitle, "タイトル😀", "ファイルの文字コード(シフトJIS)で表せない文字があります.\n( 😀 )"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    sink.reported.clear();
    StyleDigitsModel m;
    m.openSettings(settings);
    m.setText(row.field, row.text);
    DisplaySettings stored = settings;
    const bool ok = m.storeSettings(stored);
    EXPECT_EQ(ok, row.message.empty());
    if (ok) {
      EXPECT_TRUE(sink.reported.empty());
      EXPECT_FALSE(m.takeFocusRequest());
    } else {
      EXPECT_EQ(sink.reported, std::vector<std::string>{row.message});
      EXPECT_EQ(m.takeFocusRequest(), row.field);
      EXPECT_EQ(stored, settings);  // nothing stored
    }
  }
}

TEST_F(StyleDigits, AnEmptyLevelLetterIsRefilledAndTheDialogStaysOpen) {
  model.setText(F::LevelLetter, "");
  model.setText(F::DigitsTime, "x");  // not reached
  DisplaySettings stored = settings;
  EXPECT_FALSE(model.storeSettings(stored));
  EXPECT_EQ(sink.reported, std::vector<std::string>{"データがありません"});
  EXPECT_EQ(model.text(F::LevelLetter), "h");
  EXPECT_EQ(model.takeFocusRequest(), F::LevelLetter);
  EXPECT_EQ(stored, settings);
}

TEST_F(StyleDigits, OkStoresTypedNamesAndChoicesThatNewTestsThenUse) {
  model.setText(F::SurveyNameLabel, "地点");
  model.setText(F::LevelLetter, "ｈ");
  model.setText(F::UpperGraphLeft, "30");
  model.setOption(O::TableFlowFormat, 2);
  model.setOption(O::GradientLineMode, 0);
  ASSERT_TRUE(model.storeSettings(settings));
  EXPECT_EQ(settings.defaultSurveyNameLabel, "地点");
  EXPECT_EQ(settings.levelLetter, "ｈ");
  EXPECT_EQ(settings.upperGraphLeft, 30);
  EXPECT_EQ(settings.tableFlowFormat, 2);
  EXPECT_EQ(settings.gradientLineMode, 0);
  EXPECT_EQ(settings.pipeWord, 1);

  TestRecord fresh;
  fresh.fillScaleDefaults(settings.headingDefaults());
  EXPECT_EQ(fresh.surveyNameLabel(), "地点");
}

TEST_F(StyleDigits, AStoredChoiceWithoutAnEntryIsKeptWhenNotChanged) {
  settings.pipeWord = 7;
  model.openSettings(settings);
  DisplaySettings stored = settings;
  ASSERT_TRUE(model.storeSettings(stored));
  EXPECT_EQ(stored, settings);
}

} // namespace
} // namespace tov
