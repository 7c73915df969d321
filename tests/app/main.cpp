// The Qt tests run inside one QApplication on the offscreen platform, with
// a data folder of their own (recovery files never reach the user's).
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::string data = (std::filesystem::temp_directory_path() / "tov-app-data-XXXXXX").string();
  if (::mkdtemp(data.data())) ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(data, ec);
  return result;
}
