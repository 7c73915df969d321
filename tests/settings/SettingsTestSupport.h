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
struct CurrentDirGuard {
  fs::path previous = fs::current_path();
  explicit CurrentDirGuard(const fs::path& dir) { fs::current_path(dir); }
  ~CurrentDirGuard() { std::error_code ec; fs::current_path(previous, ec); }
};

// Settings loaded afresh, as the next start of the program reads them.
struct FreshStart {
  TestRecord record;
  Settings settings{record};
  FreshStart() { settings.loadSettings(false); }
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
  static std::string locate() { return FreshStart().settings.location.installFolder(); }
  static DisplaySettings reloadedDisplay() { return FreshStart().settings.display; }
  static void makeFolderWithFonts(const fs::path& dir) {
    fs::create_directories(dir);
    for (int slot = 1; slot <= kFontSlotCount; ++slot)
      writeBytes(dir / ("Font" + std::to_string(slot) + ".ndx"), crlfLines({"9.0", "Arial", "0", "0"}));
  }
  fs::path fontFile(int slot) const { return folder / ("Font" + std::to_string(slot) + ".ndx"); }
};
