// The contents of the files in the install folder: Sys.ndx, the six font
// files and the tester register M.mst.
#include <gtest/gtest.h>

#include "SettingsTestSupport.h"

namespace {

TEST_F(SettingsTest, SysNdxRoundTripsAndKeepsItsLayout) {
  settings.loadSettings(false);
  DisplaySettings& d = settings.display;
  d.defaultTableTitle = std::string(200, 'x');  // longer than any old line buffer
  d.defaultContractorName = "株式会社　地盤調査";
  d.upperGraphLeft = -4, d.plotSize = 2.5, d.enterKeyMode = 2;
  d.defaultGraphTitle = "一行目\r\n二行目";  // must not shift the later lines
  ASSERT_TRUE(settings.saveSettings());

  auto text = readTextLines(folder / "Sys.ndx");
  ASSERT_EQ(text->lines.size(), 61u);
  EXPECT_EQ(readBytes(folder / "Sys.ndx"), cp932(crlfLines(text->lines)));
  EXPECT_EQ(text->lines[0], "304");
  EXPECT_EQ(text->lines[43], "2.5");
  EXPECT_EQ(std::vector<std::string>(text->lines.begin() + 53, text->lines.end()), std::vector<std::string>(8));
  d.defaultGraphTitle = "一行目二行目";
  EXPECT_EQ(reloadedDisplay(), d);

  const std::vector<std::string> first = settingsFileLines(firstStartDisplaySettings());
  EXPECT_EQ(std::vector<std::string>(first.begin() + 40, first.begin() + 53),
            (std::vector<std::string>{"1", "4", "4", "1.0", "1", "2", "15", "15", "", "株式会社", "", "0", "1"}));
}

TEST_F(SettingsTest, SysNdxReadingRules) {
  std::vector<std::string> lines = settingsFileLines(firstStartDisplaySettings());
  for (auto [index, text] : {std::pair{0, "300"}, {27, "0"}, {28, "-5"}, {52, "next"}, {6, "パイプ"}}) lines[index] = text;
  DisplaySettings s;
  applySettingsFileLines(lines, s);
  EXPECT_EQ(std::vector<int>({s.upperGraphLeft, s.lowerGraphLeft, s.resultLeftUnsteady, s.enterKeyMode, s.pipeWord}),
            std::vector<int>({25, 25, 50, 1, 0}));
  lines[0] = "304";
  lines[52] = " 2";
  applySettingsFileLines(lines, s);
  EXPECT_EQ(s.upperGraphLeft, 0);  // only version 300 had no positions
  EXPECT_EQ(s.enterKeyMode, 2);

  // A short file keeps the current values of its missing lines; at the
  // first load these are those of a fresh program.
  makeFolderWithFonts(folder);
  writeBytes(folder / "Sys.ndx", cp932(crlfLines({"304", "題", "表"})));
  settings.display.enterKeyMode = 2;
  settings.loadSettings(false);
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(settings.display.defaultTableTitle, "表");
  EXPECT_EQ(settings.display.enterKeyMode, 2);
  EXPECT_EQ(reloadedDisplay().enterKeyMode, 0);
}

TEST_F(SettingsTest, UnreadableBytesInSettingsFilesWarnAndStillLoad) {
  makeFolderWithFonts(folder);
  writeBytes(folder / "Sys.ndx", "304\r\n\x82\r\n");        // a lead byte without its trail
  writeBytes(fontFile(3), "12.0\r\n\xA0\xA0" "face\r\n0\r\n0\r\n");  // 0xA0 is not CP932
  settings.loadSettings(false);
  ASSERT_EQ(sink.reported.size(), 2u);
  EXPECT_NE(sink.reported[0].find((folder / "Sys.ndx").string()), std::string::npos);
  EXPECT_NE(sink.reported[1].find(fontFile(3).string()), std::string::npos);
  EXPECT_EQ(settings.display.settingsVersion, 304);
  EXPECT_EQ(settings.font(3).pointSize, 12.0);
}

TEST_F(SettingsTest, FailedWritesLeaveTheOldFilesAndSayNothing) {
  settings.loadSettings(false);
  const std::string sys = readBytes(folder / "Sys.ndx"), font = readBytes(fontFile(1));
  settings.display.digitsTime = 4;
  settings.setFont(1, FontSetting{12.0, "IPAゴシック", 0, 0});
  setWriteFailureAfterBytesForTesting(20);  // the disk is full after 20 bytes
  EXPECT_FALSE(settings.saveSettings());
  settings.saveFonts();
  setWriteFailureAfterBytesForTesting(-1);
  EXPECT_EQ(readBytes(folder / "Sys.ndx"), sys);
  EXPECT_EQ(readBytes(fontFile(1)), font);

  fs::remove(folder / "Sys.ndx");
  fs::create_directory(folder / "Sys.ndx");
  EXPECT_FALSE(settings.saveSettings());
  fs::remove(fontFile(3));
  fs::create_directory(fontFile(3));
  settings.saveFonts();  // the other five are still written
  EXPECT_EQ(readBytes(fontFile(1)), cp932(crlfLines({"12.0", "IPAゴシック", "0", "0"})));
  EXPECT_TRUE(sink.reported.empty());
}

TEST_F(SettingsTest, TextTheCodePageCannotHoldIsNamedAndNotSaved) {
  settings.loadSettings(false);
  const std::string sys = readBytes(folder / "Sys.ndx"), font = readBytes(fontFile(2));
  settings.display.defaultContractorName = "株式会社™";
  settings.setFont(2, FontSetting{9.0, "나눔고딕", 0, 0});
  EXPECT_FALSE(settings.saveSettings());
  settings.saveFonts();
  EXPECT_EQ(sink.reported, (std::vector<std::string>{messageText(IDS_CANNOT_ENCODE, "™"),
                                                     messageText(IDS_CANNOT_ENCODE, "나")}));
  EXPECT_EQ(readBytes(folder / "Sys.ndx"), sys);
  EXPECT_EQ(readBytes(fontFile(2)), font);
  sink.reported.clear();
  EXPECT_FALSE(writeTesterRegister(folder / "M.mst", {"山田", "김"}));
  EXPECT_EQ(sink.reported, std::vector<std::string>{messageText(IDS_CANNOT_ENCODE, "김")});
}

TEST_F(SettingsTest, NumbersAreWrittenTheSameUnderAGermanLocale) {
  tov::testing::ScopedLocale german("de_DE.UTF-8");
  if (!german.available()) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  settings.loadSettings(false);
  settings.setFont(1, FontSetting{10.5, "ＭＳ 明朝", 0, 0});
  ASSERT_TRUE(settings.saveSettings());
  settings.saveFonts();
  EXPECT_EQ(readTextLines(folder / "Sys.ndx")->lines[43], "1.0");
  EXPECT_EQ(readBytes(fontFile(1)), cp932(crlfLines({"10.5", "ＭＳ 明朝", "0", "0"})));
}

TEST(FontFiles, LoadingRules) {
  const FontSetting f{10.5, "ＭＳ ゴシック", -1, 1};
  EXPECT_EQ(fontFileLines(f), (std::vector<std::string>{"10.5", "ＭＳ ゴシック", "-1", "1"}));
  EXPECT_EQ(fontFromLines(fontFileLines(f), 2), f);
  for (int slot = 1; slot <= kFontSlotCount; ++slot) {
    const double fallback = (slot == 1 || slot == 5) ? 10.0 : 9.0;
    for (const char* size : {"250", "1", "nan"})
      EXPECT_DOUBLE_EQ(fontFromLines({size}, slot).pointSize, fallback) << slot << " " << size;
  }
  EXPECT_DOUBLE_EQ(fontFromLines({"200"}, 2).pointSize, 200.0);
  EXPECT_EQ(fontFromLines({"12.0"}, 3), (FontSetting{12.0, "ＭＳ 明朝", 0, 0}));
  EXPECT_EQ(fontFromLines({"9", "A"}, 2).faceName, "ＭＳ 明朝");  // under 2 bytes
  EXPECT_EQ(fontFromLines({"9", "明"}, 2).faceName, "明");
}

TEST_F(SettingsTest, FontFilesRoundTripAndOnlyTheFirstIsMissedAloud) {
  settings.loadSettings(false);
  for (int slot = 1; slot <= kFontSlotCount; ++slot)
    settings.setFont(slot, FontSetting{8.0 + slot, "IPAゴシック", 0x102030L * slot, slot % 2});
  settings.saveFonts();
  FreshStart next;
  for (int slot = 1; slot <= kFontSlotCount; ++slot) EXPECT_EQ(next.settings.font(slot), settings.font(slot));

  for (int slot = 1; slot <= kFontSlotCount; ++slot) fs::remove(fontFile(slot));
  next.settings.loadSettings(true);
  EXPECT_EQ(sink.reported, std::vector<std::string>{messageText(IDS_FILE_NOT_FOUND, fontFile(1).string())});
  for (int slot = 1; slot <= kFontSlotCount; ++slot) EXPECT_EQ(next.settings.font(slot), defaultFontSetting(slot));
}

TEST(TesterRegister, NamesRoundTripInCp932) {
  tov::testing::TempDir dir;
  const fs::path path = dir / "M.mst";
  EXPECT_EQ(readTesterRegister(path), std::nullopt);
  ASSERT_TRUE(writeTesterRegister(path, {"山田 太郎", "", "髙橋 一郎", "ｻﾄｳ\r\n"}));
  EXPECT_EQ(readBytes(path), cp932(crlfLines({"山田 太郎", "髙橋 一郎", "ｻﾄｳ"})));
  EXPECT_EQ(readTesterRegister(path, 2).value(), (std::vector<std::string>{"山田 太郎", "髙橋 一郎"}));

  const std::string longName(120, 'n');
  writeBytes(path, cp932("田中\n\n" + longName + "\r\n鈴木"));
  EXPECT_EQ(readTesterRegister(path).value(), (std::vector<std::string>{"田中", "", longName, "鈴木"}));
  EXPECT_FALSE(writeTesterRegister(path, {"新しい人", "\xF0\x9F\x98\x80"}));  // not in CP932
  EXPECT_EQ(readTesterRegister(path).value().size(), 4u);
}

} // namespace
