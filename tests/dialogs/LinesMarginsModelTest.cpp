// The lines, margins and contractor settings: the grid colour mode and the
// fields it enables, the colour text, 標準の設定 and OK's checks.
#include <gtest/gtest.h>

#include "dialogs/LinesMarginsModel.h"
#include "record/Messages.h"

namespace tov {
namespace {

using F = LinesField;

class LinesMargins : public ::testing::Test {
protected:
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  DisplaySettings settings = firstStartDisplaySettings();
  LinesMarginsModel model;
};

TEST_F(LinesMargins, ColourModeMakesTheSecondGridSolidAndBlackAndWhiteGivesItsDashesBack) {
  settings.gridColourMode = kBlackAndWhiteMode;
  model.openSettings(settings);
  EXPECT_EQ(model.text(F::Grid2Blank), "4");
  EXPECT_TRUE(model.grid2DashEnabled());
  EXPECT_FALSE(model.colourFieldEnabled());

  model.setGridColourMode(kColourMode);
  EXPECT_EQ(model.text(F::Grid2Blank), "0");
  EXPECT_EQ(model.text(F::Grid2Solid), "4");
  EXPECT_FALSE(model.grid2DashEnabled());
  EXPECT_TRUE(model.colourFieldEnabled());

  model.setGridColourMode(kBlackAndWhiteMode);
  EXPECT_EQ(model.text(F::Grid2Blank), "0");  // not restored
  EXPECT_TRUE(model.grid2DashEnabled());
  EXPECT_FALSE(model.colourFieldEnabled());

  // Opening in colour mode applies it at once.
  settings.gridColourMode = kColourMode;
  model.openSettings(settings);
  EXPECT_EQ(model.text(F::Grid2Blank), "0");
}

TEST_F(LinesMargins, TheColourTextIsReadByItsPrefixAndWrittenInHex) {
  const std::pair<const char*, Colour> rows[] = {
      {"0xff", 0x0000FFu},      {"0x808080", 0x808080u}, {"010", 8u}, {"255", 255u},
      {"0XC0C0C0", 0xC0C0C0u}, {"grey", 0u},            {"", 0u},
  };
  model.openSettings(settings);
  for (auto [text, colour] : rows) {
    model.setText(F::GridColour, text);
    EXPECT_EQ(model.fieldColour(), colour) << text;
  }
  model.setChosenColour(0x00FF00u);
  EXPECT_EQ(model.text(F::GridColour), "0x00ff00");
  model.setChosenColour(0x0000FFu);
  EXPECT_EQ(model.text(F::GridColour), "0x0000ff");
}

TEST_F(LinesMargins, StandardThenOkStoresTheStandardColumnInColourMode) {
  settings.gridColourMode = kBlackAndWhiteMode;
  settings.defaultContractorName = "有限会社テスト";
  model.openSettings(settings);
  model.restoreStandard();
  EXPECT_FALSE(model.grid2DashEnabled());
  ASSERT_TRUE(model.storeSettings(settings));
  EXPECT_EQ(settings.topMargin, 20);
  EXPECT_EQ(settings.leftMargin, 25);
  EXPECT_EQ(settings.gridColour, "0xc0c0c0");
  EXPECT_EQ(settings.gridColourMode, kColourMode);
  EXPECT_EQ(settings.grid2Solid, 5);
  EXPECT_EQ(settings.grid2Blank, 0);
  EXPECT_EQ(settings.slopeLineWidth, 1);
  EXPECT_DOUBLE_EQ(settings.plotSize, 1.0);
  EXPECT_EQ(settings.defaultContractorName, "有限会社テスト");
}

TEST_F(LinesMargins, OkChecksIntegersAndThePlotSizeButNoRanges) {
  const std::string integer = "整数を入力してください。";
  const std::string number = "数字を入力してください。";
  const struct {
    F field;
    const char* text;
    std::string message;
  } rows[] = {
      {F::PlotSize, "1.5", ""},          {F::FrameLineWidth, "1.5", integer}, {F::PlotSize, "abc", number},
      {F::TopMargin, "-5", ""},          {F::Grid1Blank, "", integer},        {F::LeftMargin, "300", ""},
      {F::ContractorName, "", ""},       {F::ContractorName, "株式会社😀", "ファイルの文字コード(シフトJIS)で表せない文字があります.\n( 😀 )"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    sink.reported.clear();
    LinesMarginsModel m;
    m.openSettings(settings);
    m.setText(row.field, row.text);
    DisplaySettings stored = settings;
    const bool ok = m.storeSettings(stored);
    EXPECT_EQ(ok, row.message.empty());
    if (ok) {
      EXPECT_TRUE(sink.reported.empty());
    } else {
      EXPECT_EQ(sink.reported, std::vector<std::string>{row.message});
      EXPECT_EQ(m.takeFocusRequest(), row.field);
      EXPECT_EQ(stored, settings);
    }
  }
}

} // namespace
} // namespace tov
