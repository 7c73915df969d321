// Where the program's files live: the drive folders, locating the install
// folder through the marker, seeding a new folder, and Setup's marker.
#include <gtest/gtest.h>

#include "SettingsTestSupport.h"

namespace {

TEST_F(SettingsTest, DrivesMapToFoldersUnderTheRoot) {
  EXPECT_EQ(hostPath("d:\\Data\\Sys.ndx"), root / "D" / "Data" / "Sys.ndx");
  EXPECT_EQ(hostPath("D:\\..\\..\\etc\\passwd"), root / "D" / "etc" / "passwd");  // stays on its drive
  EXPECT_EQ(hostPath("/tmp/x.tvd"), fs::path("/tmp/x.tvd"));
  const fs::path japanese = root / "D" / pathFromUtf8("現場データ") / pathFromUtf8("透水.tvd");
  EXPECT_EQ(hostPath("D:\\現場データ\\透水.tvd"), japanese);  // not the ANSI code page's reading on Windows
  EXPECT_EQ(windowsPathOf(japanese), "D:\\現場データ\\透水.tvd");
  fs::create_directories(root / "D" / "work");
  EXPECT_EQ(windowsPathOf(root / "D" / "work" / "a.tvd"), "D:\\work\\a.tvd");
  EXPECT_EQ(windowsPathOf(root / "lower"), std::nullopt);
  EXPECT_EQ(windowsPathOf("/somewhere/else"), std::nullopt);
  {
    CurrentDirGuard here(root / "D" / "work");
    EXPECT_EQ(currentDirectory(), "D:\\work");
  }
  EXPECT_EQ(currentDirectory(), "C:\\");  // the tests run outside the root

  tov::testing::ScopedEnv noRoot("TOV_ROOT", "");
#ifdef _WIN32
  // Windows without a root: the drives themselves, never a temporary folder.
  EXPECT_EQ(driveRoot(), fs::path());
  EXPECT_EQ(hostPath("d:\\Data\\..\\Sys.ndx"), fs::path(L"D:\\Sys.ndx"));
  EXPECT_EQ(windowsPathOf(fs::path(L"d:\\現場\\a.tvd")), "D:\\現場\\a.tvd");
  EXPECT_EQ(windowsPathOf(fs::path(L"\\\\server\\share\\a.tvd")), std::nullopt);
  EXPECT_EQ(windowsDirectory().substr(1, 2), ":\\");
#else
  tov::testing::ScopedEnv noData("XDG_DATA_HOME", std::nullopt);
  tov::testing::ScopedEnv home("HOME", "/home/someone");
  EXPECT_EQ(driveRoot(), fs::path("/home/someone/.local/share/tov/drives"));
#endif
}

TEST_F(SettingsTest, FirstStartUsesTheDefaultFolderAndSeedsItSilently) {
  settings.loadSettings(false);
  EXPECT_EQ(settings.location.installFolder(), "C:\\Rundalk\\Tov5");
  EXPECT_EQ(settings.installFolderPath(), folder);
  EXPECT_TRUE(sink.reported.empty());

  std::string help = cp932(shippedHelpText()), crlf;
  for (char c : help) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(readBytes(folder / "Help.txt"), crlf);
  EXPECT_EQ(readBytes(folder / "M.mst"), "");  // an empty register of testers, not a missing one
  EXPECT_EQ(settings.display, firstStart());
  for (int slot = 1; slot <= kFontSlotCount; ++slot) EXPECT_EQ(settings.font(slot), defaultFontSetting(slot));
  EXPECT_EQ(record.surveyNameLabel(), "調査名");  // the record's labels were filled

  EXPECT_EQ(reloadedDisplay(), firstStart());  // the next start reads what was seeded
  EXPECT_TRUE(sink.reported.empty());
}

TEST_F(SettingsTest, MarkersOnTheWindowsDriveThenTheCurrentDrive) {
  writeMarker("C", "E:\\Data\r\n");
  EXPECT_EQ(locate(), "E:\\Data");
  for (std::string_view shortMarker : {"E:\r\n", "E\r\n", "", "E:\\\r\n", "1:\\Data\r\n"}) {
    writeMarker("C", shortMarker);
    EXPECT_EQ(locate(), "C:\\Rundalk\\Tov5") << shortMarker;
  }
  fs::remove(root / "C" / "Rundalk" / "Qeltov5.whr");
  writeMarker("D", "D:\\Work\r\n");
  EXPECT_EQ(locate(), "C:\\Rundalk\\Tov5");  // the current directory is not on D
  fs::create_directories(root / "D" / "projects");
  CurrentDirGuard here(root / "D" / "projects");
  EXPECT_EQ(locate(), "D:\\Work");
}

TEST_F(SettingsTest, ExistingFolderWithoutSysNdxReportsItOnceAndUsesDefaults) {
  makeFolderWithFonts(folder);
  settings.display.digitsTime = 7;
  settings.loadSettings(false);
  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_EQ(sink.reported[0], messageText(IDS_FILE_NOT_FOUND, (folder / "Sys.ndx").string()));
  EXPECT_EQ(settings.display, firstStart());
  EXPECT_FALSE(fs::exists(folder / "Help.txt"));  // an existing folder is not seeded
  EXPECT_TRUE(settings.saveSettings());
}

TEST_F(SettingsTest, SetupAcceptsALowerCaseDriveAndReloadsFromTheNewFolder) {
  settings.loadSettings(false);
  makeFolderWithFonts(root / "D" / "Data");
  std::vector<std::string> lines = settingsFileLines(firstStartDisplaySettings());
  lines[8] = "2";  // digitsTime
  writeBytes(root / "D" / "Data" / "Sys.ndx", cp932(crlfLines(lines)));

  EXPECT_TRUE(settings.writeInstallMarker("d", "\\Data"));
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(readBytes(root / "C" / "Rundalk" / "Qeltov5.whr"), "D:\\Data\r\n");
  EXPECT_EQ(settings.display.digitsTime, 2);
  EXPECT_EQ(settings.display.testerRegisterPath, "D:\\Data\\M.mst");
  EXPECT_EQ(settings.font(1).faceName, "Arial");
  EXPECT_EQ(locate(), "D:\\Data");
}

TEST_F(SettingsTest, SetupRefusesBadDrivesAndFoldersAndChangesNothing) {
  settings.loadSettings(false);
  for (auto [drive, sub] : std::vector<std::pair<const char*, const char*>>{
           {"1", "\\Data"}, {"", "\\Data"}, {"DE", "\\Data"}, {"D", "\\"}, {"D", "\\a\r\nb"}}) {
    sink.reported.clear();
    EXPECT_FALSE(settings.writeInstallMarker(drive, sub)) << drive << sub;
    EXPECT_EQ(sink.reported, std::vector<std::string>{messageText(IDS_BAD_DRIVE)});
    EXPECT_EQ(settings.location.installFolder(), "C:\\Rundalk\\Tov5");
    EXPECT_FALSE(fs::exists(root / "C" / "Rundalk" / "Qeltov5.whr"));
  }
  // The folder's length is counted in the file's code-page bytes: one
  // full-width character is two.
  EXPECT_TRUE(settings.writeInstallMarker("D", "あ"));
  EXPECT_EQ(settings.location.installFolder(), "D:あ");
}

TEST_F(SettingsTest, UnwritableMarkerIsReportedAndTheNewFolderStillHolds) {
  settings.loadSettings(false);
  fs::remove_all(root / "C" / "Rundalk");
  writeBytes(root / "C" / "Rundalk", "a file where the marker's folder belongs");
  EXPECT_FALSE(settings.writeInstallMarker("E", "\\Other"));
  EXPECT_EQ(sink.reported, std::vector<std::string>{messageText(IDS_BAD_FOLDER_OR_DRIVE)});
  EXPECT_EQ(settings.location.installFolder(), "E:\\Other");
  EXPECT_EQ(settings.display.testerRegisterPath, "E:\\Other\\M.mst");
  EXPECT_TRUE(fs::is_regular_file(root / "E" / "Other" / "Sys.ndx"));  // a new folder is seeded
}

} // namespace
