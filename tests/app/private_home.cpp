// The Qt tests run with a home of their own, set before main() starts: the
// window's settings, the data folders and the caches they write never reach
// the real home.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct PrivateHome {
  std::string path = (std::filesystem::temp_directory_path() / "tov-test-home-XXXXXX").string();
  PrivateHome() {
    if (!::mkdtemp(path.data())) std::abort();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
      ::setenv(name, path.c_str(), 1);
  }
  ~PrivateHome() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
} privateHome;

} // namespace
