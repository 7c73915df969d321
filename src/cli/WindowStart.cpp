#include "cli/WindowStart.h"

#include <cstdio>
#include <cstdlib>

#include "cli/ExportJob.h"

namespace tov {

std::optional<std::string> parseWindowArguments(const std::vector<std::string>& args, std::string* error) {
  auto fail = [&](std::string text) -> std::optional<std::string> {
    if (error) *error = std::move(text);
    return std::nullopt;
  };
  std::optional<std::string> file;
  bool options = true;
  for (const std::string& arg : args) {
    if (options && arg == "--") {
      options = false;
      continue;
    }
    if (options && arg.size() > 1 && arg[0] == '-') return fail("不明なオプションです: " + arg);
    if (file) return fail("試験データのファイルは一つだけ指定してください");
    file = arg;
  }
  return file.value_or(std::string());
}

bool displayNamed() {
#ifdef _WIN32
  return true;  // the desktop of the session the program runs in
#endif
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

int reportUsageError(const std::string& error) {
  std::fputs(("tov: " + error + "\n\n" + commandLineHelp()).c_str(), stderr);
  return 2;
}

} // namespace tov
