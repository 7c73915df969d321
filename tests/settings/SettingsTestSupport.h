#pragma once
// A scratch drive root with its own settings, shared by the settings tests.
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

inline std::string cp932(std::string_view utf8) { return utf8ToCp932(utf8).value(); }

// Changes the current directory for the lifetime of the guard.
class CurrentDirGuard {
public:
  explicit CurrentDirGuard(const fs::path& dir) : previous_(fs::current_path()) { fs::current_path(dir); }
  ~CurrentDirGuard() {
    std::error_code ec;
    fs::current_path(previous_, ec);
  }

private:
  fs::path previous_;
};

class SettingsTest : public ::testing::Test {
protected:
  tov::testing::TempDir root;
  tov::testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink sinkGuard{sink};
  TestRecord record;
  Settings settings{record};
  const fs::path folder = root / "C" / "Rundalk" / "Tov5";

  static DisplaySettings firstStart() {
    DisplaySettings s = firstStartDisplaySettings();
    s.testerRegisterPath = "C:\\Rundalk\\Tov5\\M.mst";
    return s;
  }
  void writeMarker(const char* drive, std::string_view bytes) const {
    fs::create_directories(root / drive / "Rundalk");
    writeBytes(root / drive / "Rundalk" / "Qeltov5.whr", bytes);
  }
  // The install folder a fresh start of the program finds.
  std::string locate() const {
    TestRecord r;
    Settings s(r);
    s.loadSettings(false);
    return s.location.installFolder();
  }
  // Settings loaded afresh, as the next start of the program reads them.
  DisplaySettings reloadedDisplay() const {
    TestRecord r;
    Settings s(r);
    s.loadSettings(false);
    return s.display;
  }
  static void makeFolderWithFonts(const fs::path& dir) {
    fs::create_directories(dir);
    for (int slot = 1; slot <= kFontSlotCount; ++slot)
      writeBytes(dir / ("Font" + std::to_string(slot) + ".ndx"), crlfLines({"9.0", "Arial", "0", "0"}));
  }
  fs::path fontFile(int slot) const { return folder / ("Font" + std::to_string(slot) + ".ndx"); }
};
