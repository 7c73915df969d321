// The fonts dialog: the size text, what the choosers give back,
// the Cancel question and the six files OK writes.
#include <gtest/gtest.h>

#include "dialogs/FontsModel.h"
#include "dialogs/SettingsSave.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

using testing::readBytes;

class Fonts : public ::testing::Test {
protected:
  void SetUp() override {
    settings.loadSettings(false);
    sink.reported.clear();
    model.openFonts(settings);
  }
  std::filesystem::path fontFile(int slot) const {
    return settings.installFolderPath() / ("Font" + std::to_string(slot) + ".ndx");
  }
  testing::TempDir root;
  testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TestRecord record;
  Settings settings{record};
  FontsModel model;
};

TEST_F(Fonts, TheSizeShowsRoundedAndExact) {
  const std::pair<double, const char*> sizes[] = {
      {10.5, " 11     (10.5)"}, {9.0, "  9     (9.0)"}, {10.4, " 10     (10.4)"}, {100.0, " 100     (100.0)"},
  };
  for (auto [size, text] : sizes) EXPECT_EQ(FontsModel::sizeText(size), text);
}

TEST_F(Fonts, WhatTheChooserOnlyShowedBackKeepsTheSlotsOwnFaceAndSize) {
  FontSetting own{10.5, "ＭＳ 明朝", 0, 0};
  const ChosenFont shown{"Sans Serif", 11.0, false};  // not installed; shown rounded
  const struct {
    ChosenFont chosen;
    FontSetting expected;
    bool changed;
  } rows[] = {
      {{"Sans Serif", 11.0, false}, own, false},
      {{"Sans Serif", 11.0, true}, {10.5, "ＭＳ 明朝", 0, 1}, true},
      {{"DejaVu Serif", 11.0, false}, {10.5, "DejaVu Serif", 0, 0}, true},
      {{"Sans Serif", 12.0, false}, {12.0, "ＭＳ 明朝", 0, 0}, true},
      {{"Sans Serif", 12.25, false}, {12.25, "ＭＳ 明朝", 0, 0}, true},
      {{"Sans Serif", 300.0, false}, {200.0, "ＭＳ 明朝", 0, 0}, true},
      {{"Sans Serif", 1.0, false}, {1.1, "ＭＳ 明朝", 0, 0}, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.chosen.faceName + " " + std::to_string(row.chosen.pointSize));
    settings.setFont(FontHeading, own);
    model.openFonts(settings);
    EXPECT_EQ(model.chooseFont(FontHeading, row.chosen, shown), row.changed);
    EXPECT_EQ(model.font(FontHeading), row.expected);
    EXPECT_EQ(model.isModified(), row.changed);
  }
  // A face the font files cannot hold is refused.
  model.openFonts(settings);
  EXPECT_FALSE(model.chooseFont(FontTable, {"나눔고딕", 12.0, false}, {"DejaVu Sans", 9.0, false}));
  EXPECT_EQ(model.font(FontTable), settings.font(FontTable));
  EXPECT_EQ(sink.reported, std::vector<std::string>{"ファイルの文字コード(シフトJIS)で表せない文字があります.\n( 나 )"});
}

TEST_F(Fonts, CancelAsksOnlyAfterAChange) {
  EXPECT_TRUE(model.confirmCancel());
  EXPECT_TRUE(sink.asked.empty());
  EXPECT_FALSE(model.chooseColour(FontPage, 0));  // the colour it had
  EXPECT_TRUE(model.confirmCancel());
  EXPECT_TRUE(model.chooseColour(FontPage, 0x0000FF));
  sink.answers = {false, true};
  EXPECT_FALSE(model.confirmCancel());
  EXPECT_TRUE(model.confirmCancel());
  EXPECT_EQ(sink.asked, std::vector<std::string>(2, "データが変更されましたが、キャンセルしてよいのですか？"));
  // Settings are untouched until OK.
  EXPECT_EQ(settings.font(FontPage).colour, 0);
}

TEST_F(Fonts, OkWritesTheSixFilesThatTheNextStartReadsBack) {
  const ChosenFont shown{"Sans Serif", 10.0, false};
  model.chooseFont(FontHeading, {"IPAゴシック", 10.5, true}, shown);
  model.chooseColour(FontTitle, 0x0000FF);
  ASSERT_TRUE(model.storeFonts(settings));
  EXPECT_EQ(readBytes(fontFile(FontHeading)), "10.5\r\nIPA\x83S\x83V\x83\x62\x83N\r\n0\r\n1\r\n");
  EXPECT_EQ(readBytes(fontFile(FontTitle)), "10.0\r\n\x82l\x82r \x96\xbe\x92\xa9\r\n255\r\n0\r\n");
  TestRecord other;
  Settings next(other);
  next.loadSettings(false);
  for (int slot = 1; slot <= kFontSlotCount; ++slot) EXPECT_EQ(next.font(slot), settings.font(slot)) << slot;
}

TEST_F(Fonts, SettingsFilesThatCannotBeWrittenAreNamed) {
  std::filesystem::remove(fontFile(FontPage));
  std::filesystem::create_directory(fontFile(FontPage));  // a folder in its place
  model.chooseColour(FontPage, 0x0000FF);
  EXPECT_FALSE(model.storeFonts(settings));
  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_EQ(sink.reported[0].rfind("保存できませんでした", 0), 0u);
  // The other files are written all the same.
  EXPECT_EQ(readBytes(fontFile(FontTable)).substr(0, 5), "9.0\r\n");

  sink.reported.clear();
  const auto sys = settings.installFolderPath() / "Sys.ndx";
  std::filesystem::remove(sys);
  std::filesystem::create_directory(sys);
  EXPECT_FALSE(saveSettingsReporting(settings));
  EXPECT_EQ(sink.reported, std::vector<std::string>{"保存できませんでした.\n( C:\\Rundalk\\Tov5\\Sys.ndx )"});
}

} // namespace
} // namespace tov
