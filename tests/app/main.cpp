// The Qt tests run inside one QApplication on the offscreen platform, with a
// home of their own: the window's settings, the data folders and caches they
// write never reach the real home.
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::string pattern = (std::filesystem::temp_directory_path() / "tov-test-home-XXXXXX").string();
  const char* home = ::mkdtemp(pattern.data());
  if (!home) return 1;
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
    ::setenv(name, home, 1);
  int result = 0;
  {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return result;
}
