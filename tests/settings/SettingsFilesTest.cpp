// The contents of the files in the install folder: Sys.ndx, the six font
// files and the tester register M.mst.
#include <gtest/gtest.h>

#include <filesystem>

#include "files/Platform.h"
#include "files/Settings.h"
#include "files/TesterRegister.h"
#include "files/TextCodec.h"
#include "files/TextFile.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using namespace tov;
using tov::testing::crlfLines;
using tov::testing::readBytes;
using tov::testing::writeBytes;

namespace {

std::string cp932(std::string_view utf8) { return utf8ToCp932(utf8).value(); }

// Turns the full-disk hook of the file writer off again at the end of a test.
struct WriteFailureGuard {
  explicit WriteFailureGuard(long long bytes) { setWriteFailureAfterBytesForTesting(bytes); }
  ~WriteFailureGuard() { setWriteFailureAfterBytesForTesting(-1); }
};

class SettingsFiles : public ::testing::Test {
protected:
  void SetUp() override {
    settings.loadSettings(false);  // seeds C:\Rundalk\Tov5
    ASSERT_TRUE(sink.reported.empty());
  }
  fs::path file(const char* name) const { return folder / name; }
  // Loads the install folder afresh, as the next start of the program would.
  void reload(Settings& s) const { s.loadSettings(false); }

  tov::testing::TempDir root;
  tov::testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink sinkGuard{sink};
  TestRecord record;
  Settings settings{record};
  fs::path folder = root / "C" / "Rundalk" / "Tov5";
};

DisplaySettings unusualSettings() {
  DisplaySettings s = firstStartDisplaySettings();
  s.defaultGraphTitle = "透水試験結果図";
  s.defaultTableTitle = std::string(200, 'x');  // longer than any old line buffer
  s.defaultContractorName = "株式会社　地盤調査";
  s.levelLetter = "H";
  s.digitsPermeability = 3;
  s.tableFlowFormat = 2;
  s.upperGraphLeft = -4;
  s.gridColour = "0x00FF00";
  s.plotSize = 2.5;
  s.topMargin = 0;
  s.unused51 = "kept";
  s.testerRegisterPath = "C:\\Rundalk\\Tov5\\M.mst";
  s.graphFlowScaleFormat = 1;
  s.enterKeyMode = 2;
  return s;
}

TEST_F(SettingsFiles, SysNdxIsWrittenAsSixtyOneLinesAndReadBackEqual) {
  settings.display = unusualSettings();
  ASSERT_TRUE(settings.saveSettings());

  auto text = readTextLines(file("Sys.ndx"));
  ASSERT_TRUE(text.has_value());
  ASSERT_EQ(text->lines.size(), 61u);
  EXPECT_EQ(text->lines[0], "304");
  EXPECT_EQ(text->lines[1], "透水試験結果図");
  EXPECT_EQ(text->lines[43], "2.5");
  EXPECT_EQ(text->lines[48], "C:\\Rundalk\\Tov5\\M.mst");
  for (std::size_t i = 53; i < 61; ++i) EXPECT_EQ(text->lines[i], "") << "line " << i + 1;
  // CP932 with CR LF after every line, the empty ones included.
  const std::string bytes = readBytes(file("Sys.ndx"));
  EXPECT_EQ(bytes, cp932(crlfLines(text->lines)));
  EXPECT_TRUE(bytes.ends_with("\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"));

  TestRecord r;
  Settings next(r);
  reload(next);
  DisplaySettings expected = unusualSettings();
  expected.settingsVersion = 304;
  expected.testerRegisterPath = "C:\\Rundalk\\Tov5\\M.mst";
  EXPECT_EQ(next.display, expected);
  EXPECT_TRUE(sink.reported.empty());
}

TEST_F(SettingsFiles, FirstStartSysNdxHoldsTheDefaults) {
  const std::vector<std::string> lines = settingsFileLines(firstStartDisplaySettings());
  ASSERT_EQ(lines.size(), 61u);
  const std::vector<std::string> head = {
      "304", "　", "　", "調査名", "調査位置", "No.", "0", "h", "0", "3", "3", "3", "2", "4", "70", "150",
      "220", "3", "2", "0", "60", "40", "100", "1", "1", "1", "1", "25", "25", "50", "75", "1", "0",
      "0x808080", "2", "2", "1", "1", "5", "0", "1", "4", "4", "1.0", "1", "2", "15", "15"};
  for (std::size_t i = 0; i < head.size(); ++i) EXPECT_EQ(lines[i], head[i]) << "line " << i + 1;
  EXPECT_EQ(lines[49], "株式会社");
  EXPECT_EQ(lines[51], "0");
  EXPECT_EQ(lines[52], "1");
  EXPECT_EQ(settings.display.headingDefaults().contractorName, "株式会社");
  EXPECT_EQ(settings.display.headingDefaults().testIdNumberLabel, "No.");
}

TEST_F(SettingsFiles, NumbersAreWrittenTheSameUnderAGermanLocale) {
  tov::testing::ScopedLocale german("de_DE.UTF-8");
  if (!german.available()) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  ASSERT_TRUE(settings.saveSettings());
  auto text = readTextLines(file("Sys.ndx"));
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->lines[43], "1.0");

  FontSetting f = defaultFontSetting(1);
  f.pointSize = 10.5;
  settings.setFont(1, f);
  settings.saveFonts();
  EXPECT_EQ(readBytes(file("Font1.ndx")), cp932(crlfLines({"10.5", "ＭＳ 明朝", "0", "0"})));

  // Reading does not depend on the locale either.
  TestRecord r;
  Settings next(r);
  reload(next);
  EXPECT_DOUBLE_EQ(next.display.plotSize, 1.0);
  EXPECT_DOUBLE_EQ(next.font(1).pointSize, 10.5);
}

TEST_F(SettingsFiles, ReadingAppliesTheSpecialCasesOfOlderFiles) {
  std::vector<std::string> lines = settingsFileLines(firstStartDisplaySettings());
  lines[0] = "300";
  lines[27] = "0";
  lines[28] = "-5";
  lines[29] = "0";
  DisplaySettings s;
  applySettingsFileLines(lines, s);
  EXPECT_EQ(s.settingsVersion, 300);
  EXPECT_EQ(s.upperGraphLeft, 25);
  EXPECT_EQ(s.lowerGraphLeft, 25);
  EXPECT_EQ(s.resultLeftUnsteady, 50);

  // Version 300 keeps positive positions; later versions keep even zeros.
  lines[27] = "12";
  applySettingsFileLines(lines, s);
  EXPECT_EQ(s.upperGraphLeft, 12);
  lines[0] = "304";
  lines[27] = "0";
  applySettingsFileLines(lines, s);
  EXPECT_EQ(s.upperGraphLeft, 0);
  EXPECT_EQ(s.lowerGraphLeft, -5);

  // A line 53 that is no number means "move to the next field"; other
  // numeric lines that are no number read as 0.
  lines[52] = "next";
  lines[6] = "パイプ";
  lines[43] = "x1.5";
  applySettingsFileLines(lines, s);
  EXPECT_EQ(s.enterKeyMode, 1);
  EXPECT_EQ(s.pipeWord, 0);
  EXPECT_DOUBLE_EQ(s.plotSize, 0.0);
  lines[52] = "";
  applySettingsFileLines(lines, s);
  EXPECT_EQ(s.enterKeyMode, 1);
  lines[52] = " 2";
  lines[43] = "1.5abc";
  applySettingsFileLines(lines, s);
  EXPECT_EQ(s.enterKeyMode, 2);
  EXPECT_DOUBLE_EQ(s.plotSize, 1.5);
}

TEST_F(SettingsFiles, AShortSysNdxKeepsTheCurrentValuesOfTheMissingLines) {
  DisplaySettings s = unusualSettings();
  applySettingsFileLines({"304", "題"}, s);
  EXPECT_EQ(s.defaultGraphTitle, "題");
  EXPECT_EQ(s.defaultTableTitle, std::string(200, 'x'));
  EXPECT_EQ(s.enterKeyMode, 2);  // line 53 missing: not the "no number" case

  // At the first load the current values are those of a fresh program.
  writeBytes(file("Sys.ndx"), cp932(crlfLines({"304", "題", "表"})));
  TestRecord r;
  Settings next(r);
  reload(next);
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(next.display.defaultTableTitle, "表");
  EXPECT_EQ(next.display.defaultSurveyNameLabel, "");
  EXPECT_EQ(next.display.enterKeyMode, 0);
  EXPECT_EQ(next.display.testerRegisterPath, "C:\\Rundalk\\Tov5\\M.mst");

  // Lines after 53 are ignored, a file written with LF only reads the same.
  std::vector<std::string> lines = settingsFileLines(firstStartDisplaySettings());
  lines.resize(70, "99");
  std::string lf;
  for (const auto& l : lines) lf += l + "\n";
  writeBytes(file("Sys.ndx"), cp932(lf));
  TestRecord r2;
  Settings again(r2);
  reload(again);
  DisplaySettings expected = firstStartDisplaySettings();
  expected.testerRegisterPath = "C:\\Rundalk\\Tov5\\M.mst";
  EXPECT_EQ(again.display, expected);
}

TEST_F(SettingsFiles, LineBreaksInsideATextCannotShiftTheLaterSettings) {
  settings.display.defaultGraphTitle = "一行目\r\n二行目";
  ASSERT_TRUE(settings.saveSettings());
  TestRecord r;
  Settings next(r);
  reload(next);
  EXPECT_EQ(next.display.defaultGraphTitle, "一行目二行目");
  EXPECT_EQ(next.display.defaultSurveyNameLabel, "調査名");
  EXPECT_EQ(next.display.enterKeyMode, 1);
}

TEST_F(SettingsFiles, AFailedWriteLeavesTheOldFileAndSaysNothing) {
  const std::string before = readBytes(file("Sys.ndx"));
  settings.display = unusualSettings();
  settings.setFont(1, FontSetting{12.0, "IPAゴシック", 0, 0});
  {
    WriteFailureGuard fullDisk(20);
    EXPECT_FALSE(settings.saveSettings());
    settings.saveFonts();
  }
  EXPECT_EQ(readBytes(file("Sys.ndx")), before);
  EXPECT_EQ(readBytes(file("Font1.ndx")), cp932(crlfLines({"10.0", "ＭＳ 明朝", "0", "0"})));

  // A folder where the file should be.
  fs::remove(file("Sys.ndx"));
  fs::create_directory(file("Sys.ndx"));
  EXPECT_FALSE(settings.saveSettings());
  EXPECT_TRUE(fs::is_directory(file("Sys.ndx")));

  // A text that CP932 cannot hold is not saved either.
  fs::remove(file("Sys.ndx"));
  writeBytes(file("Sys.ndx"), before);
  settings.display.defaultGraphTitle = "試験 \xF0\x9F\x98\x80";
  EXPECT_FALSE(settings.saveSettings());
  EXPECT_EQ(readBytes(file("Sys.ndx")), before);
  EXPECT_TRUE(sink.reported.empty());

  // Nothing is written before the install folder is known.
  TestRecord r;
  Settings unlocated(r);
  EXPECT_FALSE(unlocated.saveSettings());
}

TEST(FontFiles, LinesAndLoadingRules) {
  FontSetting f{10.5, "ＭＳ ゴシック", 0x0000FF, 1};
  EXPECT_EQ(fontFileLines(f), (std::vector<std::string>{"10.5", "ＭＳ ゴシック", "255", "1"}));
  EXPECT_EQ(fontFromLines(fontFileLines(f), 2), f);
  f.colour = -1;
  EXPECT_EQ(fontFileLines(f)[2], "-1");
  EXPECT_EQ(fontFromLines(fontFileLines(f), 2).colour, -1);

  // Sizes outside (1, 200] fall back to the slot's size.
  for (int slot = 1; slot <= kFontSlotCount; ++slot) {
    const double fallback = (slot == 1 || slot == 5) ? 10.0 : 9.0;
    EXPECT_DOUBLE_EQ(defaultFontSize(slot), fallback);
    EXPECT_DOUBLE_EQ(fontFromLines({"250", "Arial", "0", "0"}, slot).pointSize, fallback) << slot;
    EXPECT_DOUBLE_EQ(fontFromLines({"1", "Arial", "0", "0"}, slot).pointSize, fallback) << slot;
    EXPECT_DOUBLE_EQ(fontFromLines({"nan", "Arial", "0", "0"}, slot).pointSize, fallback) << slot;
  }
  EXPECT_DOUBLE_EQ(fontFromLines({"200"}, 2).pointSize, 200.0);
  EXPECT_DOUBLE_EQ(fontFromLines({"1.1"}, 2).pointSize, 1.1);

  // Only the size: everything else keeps its default.
  const FontSetting sizeOnly = fontFromLines({"12.0"}, 3);
  EXPECT_EQ(sizeOnly, (FontSetting{12.0, "ＭＳ 明朝", 0, 0}));
  EXPECT_EQ(fontFromLines({}, 4), defaultFontSetting(4));

  // A face of under 2 bytes is replaced; 2 bytes (one kanji) is a face.
  EXPECT_EQ(fontFromLines({"9", "A"}, 2).faceName, "ＭＳ 明朝");
  EXPECT_EQ(fontFromLines({"9", ""}, 2).faceName, "ＭＳ 明朝");
  EXPECT_EQ(fontFromLines({"9", "AB"}, 2).faceName, "AB");
  EXPECT_EQ(fontFromLines({"9", "明"}, 2).faceName, "明");
}

TEST_F(SettingsFiles, FontFilesRoundTripThroughTheFolder) {
  for (int slot = 1; slot <= kFontSlotCount; ++slot)
    settings.setFont(slot, FontSetting{8.0 + slot, "IPAゴシック", 0x102030L * slot, slot % 2});
  settings.saveFonts();
  EXPECT_EQ(readBytes(file("Font2.ndx")), cp932(crlfLines({"10.0", "IPAゴシック", "2113632", "0"})));

  TestRecord r;
  Settings next(r);
  reload(next);
  for (int slot = 1; slot <= kFontSlotCount; ++slot) EXPECT_EQ(next.font(slot), settings.font(slot)) << slot;

  // A folder in place of one file: that file is skipped, the others written.
  fs::remove(file("Font3.ndx"));
  fs::create_directory(file("Font3.ndx"));
  settings.setFont(2, defaultFontSetting(2));
  settings.setFont(4, defaultFontSetting(4));
  settings.saveFonts();
  EXPECT_TRUE(fs::is_directory(file("Font3.ndx")));
  EXPECT_EQ(readBytes(file("Font4.ndx")), cp932(crlfLines({"9.0", "ＭＳ 明朝", "0", "0"})));
  EXPECT_TRUE(sink.reported.empty());
}

TEST_F(SettingsFiles, MissingFontFilesAreReportedForTheFirstSlotOnly) {
  for (int slot = 1; slot <= kFontSlotCount; ++slot)
    fs::remove(folder / ("Font" + std::to_string(slot) + ".ndx"));
  for (int slot = 1; slot <= kFontSlotCount; ++slot)
    settings.setFont(slot, FontSetting{30.0, "Arial", 5, 1});
  settings.loadSettings(true);

  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_EQ(sink.reported[0], messageText(IDS_FILE_NOT_FOUND, (folder / "Font1.ndx").string()));
  for (int slot = 1; slot <= kFontSlotCount; ++slot) EXPECT_EQ(settings.font(slot), defaultFontSetting(slot));

  // Without slot 1's file missing, nothing is said.
  sink.reported.clear();
  writeBytes(folder / "Font1.ndx", crlfLines({"11.0"}));
  settings.loadSettings(true);
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_DOUBLE_EQ(settings.font(1).pointSize, 11.0);
}

TEST(TesterRegister, NamesRoundTripInCp932) {
  tov::testing::TempDir dir;
  const fs::path path = dir / "M.mst";
  EXPECT_EQ(readTesterRegister(path), std::nullopt);

  const std::vector<std::string> names = {"山田 太郎", "", "髙橋 一郎", "Smith", "ｻﾄｳ"};
  ASSERT_TRUE(writeTesterRegister(path, names));
  EXPECT_EQ(readBytes(path), cp932(crlfLines({"山田 太郎", "髙橋 一郎", "Smith", "ｻﾄｳ"})));

  auto back = readTesterRegister(path);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, (std::vector<std::string>{"山田 太郎", "髙橋 一郎", "Smith", "ｻﾄｳ"}));
  EXPECT_EQ(readTesterRegister(path, 2).value(), (std::vector<std::string>{"山田 太郎", "髙橋 一郎"}));

  // Files from elsewhere: LF line ends, a last line without one, empty
  // lines kept in place, long names whole.
  const std::string longName(120, 'n');
  writeBytes(path, cp932("田中\n\n" + longName + "\r\n鈴木"));
  EXPECT_EQ(readTesterRegister(path).value(), (std::vector<std::string>{"田中", "", longName, "鈴木"}));

  // A line break inside a name does not make two names.
  ASSERT_TRUE(writeTesterRegister(path, {"佐藤\r\n花子"}));
  EXPECT_EQ(readTesterRegister(path).value(), (std::vector<std::string>{"佐藤花子"}));

  // A name CP932 cannot hold fails the write and keeps the old file.
  const std::string before = readBytes(path);
  EXPECT_FALSE(writeTesterRegister(path, {"新しい人", "\xF0\x9F\x98\x80"}));
  EXPECT_EQ(readBytes(path), before);
  EXPECT_TRUE(writeTesterRegister(path, {}));
  EXPECT_EQ(readBytes(path), "");
}

} // namespace
