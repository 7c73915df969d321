// The window's settings move once from the folder of earlier versions to
// ~/.config/Tov/Tov.conf.
#include <QSettings>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "app/RecentFiles.h"
#include "app/SettingsLocation.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using namespace tov;
using tov::testing::TempDir;
using tov::testing::readBytes;
using tov::testing::writeBytes;

TEST(SettingsLocation, OldFileTakenOverOnce) {
  struct Row {
    std::optional<std::string> before, now;  // files present at start
    bool moved;
    std::string nowAfter;
  };
  const Row rows[] = {
      {"[Recent%20File%20List]\nFile1=/a.tvd\n", std::nullopt, true, "[Recent%20File%20List]\nFile1=/a.tvd\n"},
      {"old\n", "new\n", false, "new\n"},  // never over settings already there
      {std::nullopt, std::nullopt, false, ""},
  };
  for (const Row& row : rows) {
    TempDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(config.path().string()));
    const fs::path now = settingsFileOf(kSettingsOrganisation, kSettingsApplication).toStdString();
    const fs::path before = settingsFileOf(kOldSettingsOrganisation, kSettingsApplication).toStdString();
    ASSERT_EQ(now, config / "Tov" / "Tov.conf");
    fs::create_directories(before.parent_path());
    fs::create_directories(now.parent_path());
    if (row.before) writeBytes(before, *row.before);
    if (row.now) writeBytes(now, *row.now);
    EXPECT_EQ(takeOverOldSettings(), row.moved);
    EXPECT_EQ(takeOverOldSettings(), false);  // once
    EXPECT_EQ(fs::exists(now) ? readBytes(now) : "", row.nowAfter);
    EXPECT_EQ(fs::exists(before), row.before && !row.moved);
  }
}
