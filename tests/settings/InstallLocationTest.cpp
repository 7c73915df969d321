// Where the program's files live: the drive folders, locating the install
// folder through the marker, seeding a new folder, and Setup's marker.
#include <gtest/gtest.h>

#include <filesystem>

#include "files/Platform.h"
#include "files/Settings.h"
#include "files/TextCodec.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using namespace tov;
using tov::testing::crlfLines;
using tov::testing::readBytes;
using tov::testing::writeBytes;

namespace {

// Changes the current directory for the lifetime of the guard.
class CurrentDirGuard {
public:
  explicit CurrentDirGuard(const fs::path& dir) : previous_(fs::current_path()) { fs::current_path(dir); }
  ~CurrentDirGuard() {
    std::error_code ec;
    fs::current_path(previous_, ec);
  }
  CurrentDirGuard(const CurrentDirGuard&) = delete;
  CurrentDirGuard& operator=(const CurrentDirGuard&) = delete;

private:
  fs::path previous_;
};

class InstallFolder : public ::testing::Test {
protected:
  tov::testing::TempDir root;
  tov::testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink sinkGuard{sink};
  TestRecord record;
  Settings settings{record};

  fs::path drive(const char* letter) const { return root / letter; }
  void writeMarker(const char* letter, std::string_view bytes) const {
    fs::create_directories(drive(letter) / "Rundalk");
    writeBytes(drive(letter) / "Rundalk" / "Qeltov5.whr", bytes);
  }
  // A folder that already exists, with its font files, so that only the
  // files a test leaves out are missing.
  void makeFolderWithFonts(const fs::path& folder) const {
    fs::create_directories(folder);
    for (int slot = 1; slot <= kFontSlotCount; ++slot)
      writeBytes(folder / ("Font" + std::to_string(slot) + ".ndx"), crlfLines({"9.0", "Arial", "0", "0"}));
  }
};

TEST_F(InstallFolder, DrivesMapToFoldersUnderTheRoot) {
  EXPECT_EQ(windowsDirectory(), "C:\\WINDOWS");
  EXPECT_EQ(driveRoot(), root.path());
  EXPECT_EQ(hostPath("D:\\Data\\Sys.ndx"), root / "D" / "Data" / "Sys.ndx");
  EXPECT_EQ(hostPath("d:\\Data"), root / "D" / "Data");
  EXPECT_EQ(hostPath("E:"), root / "E");
  // A stored path cannot climb out of its drive folder.
  EXPECT_EQ(hostPath("D:\\..\\..\\etc\\passwd"), root / "D" / "etc" / "passwd");
  EXPECT_EQ(hostPath("D:\\a\\..\\b"), root / "D" / "b");
  // Without a drive letter the text is a host path.
  EXPECT_EQ(hostPath("/tmp/x.tvd"), fs::path("/tmp/x.tvd"));

  fs::create_directories(root / "D" / "Data");
  EXPECT_EQ(windowsPathOf(root / "D" / "Data" / "a.tvd"), "D:\\Data\\a.tvd");
  EXPECT_EQ(windowsPathOf(root / "D"), "D:\\");
  EXPECT_EQ(windowsPathOf(root.path()), std::nullopt);
  EXPECT_EQ(windowsPathOf(root / "lower" / "x"), std::nullopt);
  EXPECT_EQ(windowsPathOf("/somewhere/else"), std::nullopt);
}

TEST_F(InstallFolder, RootFallsBackToTheDataFolders) {
  tov::testing::ScopedEnv noRoot("TOV_ROOT", "");
  {
    tov::testing::ScopedEnv data("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(driveRoot(), fs::path("/srv/data/tov/drives"));
  }
  tov::testing::ScopedEnv noData("XDG_DATA_HOME", std::nullopt);
  tov::testing::ScopedEnv home("HOME", "/home/someone");
  EXPECT_EQ(driveRoot(), fs::path("/home/someone/.local/share/tov/drives"));
}

TEST_F(InstallFolder, CurrentDirectoryIsOnItsDriveOrTheWindowsDrive) {
  fs::create_directories(root / "D" / "work" / "tests");
  {
    CurrentDirGuard here(root / "D" / "work" / "tests");
    EXPECT_EQ(currentDirectory(), "D:\\work\\tests");
  }
  tov::testing::TempDir elsewhere;
  CurrentDirGuard here(elsewhere.path());
  EXPECT_EQ(currentDirectory(), "C:\\");
}

TEST_F(InstallFolder, FirstStartUsesTheDefaultFolderAndSeedsIt) {
  settings.loadSettings(false);

  EXPECT_TRUE(settings.located());
  EXPECT_EQ(settings.location.windowsDrive, "C:");
  EXPECT_EQ(settings.location.installFolder(), "C:\\Rundalk\\Tov5");
  const fs::path folder = root / "C" / "Rundalk" / "Tov5";
  EXPECT_EQ(settings.installFolderPath(), folder);
  EXPECT_TRUE(sink.reported.empty()) << sink.reported.front();

  // The seeded files: Help.txt as CP932 CR LF, Sys.ndx and the six fonts.
  auto help = utf8ToCp932(shippedHelpText());
  ASSERT_TRUE(help.has_value()) << "Help.txt must be writable in CP932";
  std::string expectedHelp;
  for (char c : *help) {
    if (c == '\n') expectedHelp += '\r';
    expectedHelp += c;
  }
  EXPECT_EQ(readBytes(folder / "Help.txt"), expectedHelp);
  EXPECT_NE(shippedHelpText().find("--export-pdf"), std::string::npos);
  EXPECT_TRUE(fs::is_regular_file(folder / "Sys.ndx"));
  for (int slot = 1; slot <= kFontSlotCount; ++slot) {
    EXPECT_TRUE(fs::is_regular_file(folder / ("Font" + std::to_string(slot) + ".ndx")));
    EXPECT_EQ(settings.font(slot), defaultFontSetting(slot));
  }

  DisplaySettings expected = firstStartDisplaySettings();
  expected.testerRegisterPath = "C:\\Rundalk\\Tov5\\M.mst";
  EXPECT_EQ(settings.display, expected);
  // The record's empty labels were filled from the settings.
  EXPECT_EQ(record.surveyNameLabel(), "調査名");

  // A second start finds the folder and reads what was seeded, silently.
  TestRecord otherRecord;
  Settings again(otherRecord);
  again.loadSettings(false);
  EXPECT_EQ(again.display, expected);
  EXPECT_TRUE(sink.reported.empty());
}

TEST_F(InstallFolder, MarkerOnTheWindowsDriveNamesTheFolder) {
  writeMarker("C", "E:\\Data\r\n");
  settings.loadSettings(false);
  EXPECT_EQ(settings.location.installDriveLetter, "E");
  EXPECT_EQ(settings.location.installSubfolder, "\\Data");
  EXPECT_EQ(settings.location.installFolder(), "E:\\Data");
  EXPECT_EQ(settings.location.settingsPath(), "E:\\Data\\Sys.ndx");
  EXPECT_EQ(settings.installFolderPath(), root / "E" / "Data");
  EXPECT_EQ(settings.display.testerRegisterPath, "E:\\Data\\M.mst");
}

TEST_F(InstallFolder, MarkerWithoutLineEndOrInLowerCaseStillCounts) {
  writeMarker("C", "e:\\Data");
  settings.loadSettings(false);
  EXPECT_EQ(settings.location.installFolder(), "E:\\Data");
}

TEST_F(InstallFolder, ShortOrMalformedMarkersAreIgnored) {
  for (std::string_view marker : {"E:\r\n", "E\r\n", "", "\r\nE:\\Data\r\n", "E:\\\r\n", "1:\\Data\r\n"}) {
    TestRecord r;
    Settings s(r);
    writeMarker("C", marker);
    s.loadSettings(false);
    EXPECT_EQ(s.location.installFolder(), "C:\\Rundalk\\Tov5") << "marker: " << marker;
  }
}

TEST_F(InstallFolder, MarkerOnTheCurrentDirectorysDriveIsTheFallback) {
  writeMarker("D", "D:\\Work\r\n");
  fs::create_directories(root / "D" / "projects");
  {
    CurrentDirGuard here(root / "D" / "projects");
    settings.loadSettings(false);
  }
  EXPECT_EQ(settings.location.installFolder(), "D:\\Work");

  // The Windows drive's marker wins when both exist.
  writeMarker("C", "F:\\Main\r\n");
  TestRecord r;
  Settings s(r);
  {
    CurrentDirGuard here(root / "D" / "projects");
    s.loadSettings(false);
  }
  EXPECT_EQ(s.location.installFolder(), "F:\\Main");

  // Outside the drives the current directory is on the Windows drive.
  fs::remove(root / "C" / "Rundalk" / "Qeltov5.whr");
  tov::testing::TempDir elsewhere;
  TestRecord r2;
  Settings s2(r2);
  {
    CurrentDirGuard here(elsewhere.path());
    s2.loadSettings(false);
  }
  EXPECT_EQ(s2.location.installFolder(), "C:\\Rundalk\\Tov5");
}

TEST_F(InstallFolder, ExistingFolderWithoutSysNdxReportsItAndUsesDefaults) {
  const fs::path folder = root / "C" / "Rundalk" / "Tov5";
  makeFolderWithFonts(folder);
  settings.display.digitsTime = 7;

  settings.loadSettings(false);

  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_EQ(sink.reported[0], messageText(IDS_FILE_NOT_FOUND, (folder / "Sys.ndx").string()));
  DisplaySettings expected = firstStartDisplaySettings();
  expected.testerRegisterPath = "C:\\Rundalk\\Tov5\\M.mst";
  EXPECT_EQ(settings.display, expected);
  EXPECT_FALSE(fs::exists(folder / "Sys.ndx"));  // nothing is seeded into an existing folder
  EXPECT_FALSE(fs::exists(folder / "Help.txt"));
  EXPECT_EQ(settings.font(1).faceName, "Arial");

  // The file is created at the next save.
  EXPECT_TRUE(settings.saveSettings());
  EXPECT_TRUE(fs::is_regular_file(folder / "Sys.ndx"));
}

TEST_F(InstallFolder, FilesAreReadOnceUnlessForced) {
  settings.loadSettings(false);
  const fs::path sys = root / "C" / "Rundalk" / "Tov5" / "Sys.ndx";
  settings.display.digitsTime = 5;
  ASSERT_TRUE(settings.saveSettings());
  settings.display.digitsTime = 0;

  settings.loadSettings(false);
  EXPECT_EQ(settings.display.digitsTime, 0);
  settings.loadSettings(true);
  EXPECT_EQ(settings.display.digitsTime, 5);
  EXPECT_TRUE(sink.reported.empty());
}

TEST_F(InstallFolder, SetupAcceptsALowerCaseDriveAndReloadsFromTheNewFolder) {
  settings.loadSettings(false);
  // A folder that exists already, with settings of its own.
  const fs::path folder = root / "D" / "Data";
  makeFolderWithFonts(folder);
  std::vector<std::string> lines = settingsFileLines(firstStartDisplaySettings());
  lines[8] = "2";  // digitsTime
  writeBytes(folder / "Sys.ndx", crlfLines(lines));

  EXPECT_TRUE(settings.writeInstallMarker("d", "\\Data"));

  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(settings.location.installFolder(), "D:\\Data");
  EXPECT_EQ(readBytes(root / "C" / "Rundalk" / "Qeltov5.whr"), "D:\\Data\r\n");
  EXPECT_EQ(settings.display.digitsTime, 2);
  EXPECT_EQ(settings.display.testerRegisterPath, "D:\\Data\\M.mst");
  EXPECT_EQ(settings.font(1).faceName, "Arial");

  // The next start finds the new folder through the marker.
  TestRecord r;
  Settings next(r);
  next.loadSettings(false);
  EXPECT_EQ(next.location.installFolder(), "D:\\Data");
}

TEST_F(InstallFolder, SetupToANewFolderSeedsIt) {
  EXPECT_TRUE(settings.writeInstallMarker("G", "\\Tov"));
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_TRUE(fs::is_regular_file(root / "G" / "Tov" / "Sys.ndx"));
  EXPECT_TRUE(fs::is_regular_file(root / "G" / "Tov" / "Help.txt"));
  EXPECT_EQ(settings.display.testerRegisterPath, "G:\\Tov\\M.mst");
}

TEST_F(InstallFolder, SetupRefusesBadDrivesAndFoldersAndChangesNothing) {
  settings.loadSettings(false);
  const tov::InstallLocation before = settings.location;
  const fs::path marker = root / "C" / "Rundalk" / "Qeltov5.whr";
  struct Case { const char* drive; const char* folder; };
  for (Case c : {Case{"1", "\\Data"}, Case{"", "\\Data"}, Case{"DE", "\\Data"}, Case{"ä", "\\Data"},
                 Case{"D", "\\"}, Case{"D", ""}, Case{"D", "\\Da\r\nta"}}) {
    sink.reported.clear();
    EXPECT_FALSE(settings.writeInstallMarker(c.drive, c.folder)) << c.drive << " " << c.folder;
    ASSERT_EQ(sink.reported.size(), 1u);
    EXPECT_EQ(sink.reported[0], messageText(IDS_BAD_DRIVE));
    EXPECT_EQ(settings.location.installFolder(), before.installFolder());
    EXPECT_FALSE(fs::exists(marker));
  }
}

TEST_F(InstallFolder, UnwritableMarkerIsReportedAndTheNewFolderStillHolds) {
  settings.loadSettings(false);
  // A file where the marker's folder should be: neither it nor the marker
  // can be created.
  fs::remove_all(root / "C" / "Rundalk");
  writeBytes(root / "C" / "Rundalk", "not a folder");

  EXPECT_FALSE(settings.writeInstallMarker("E", "\\Other"));

  ASSERT_FALSE(sink.reported.empty());
  EXPECT_EQ(sink.reported[0], messageText(IDS_BAD_FOLDER_OR_DRIVE));
  EXPECT_EQ(settings.location.installFolder(), "E:\\Other");
  EXPECT_EQ(settings.display.testerRegisterPath, "E:\\Other\\M.mst");
  EXPECT_EQ(readBytes(root / "C" / "Rundalk"), "not a folder");
}

} // namespace
