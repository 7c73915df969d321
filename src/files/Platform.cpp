#include "files/Platform.h"

#include <cstdlib>
#include <system_error>
#include <vector>

namespace tov {

namespace fs = std::filesystem;

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// An absolute, normalised form of a host path; symbolic links of the part
// that exists are resolved so that two spellings of one folder compare equal.
fs::path comparablePath(const fs::path& p) {
  std::error_code ec;
  fs::path absolute = fs::absolute(p, ec);
  if (ec) absolute = p;
  fs::path canonical = fs::weakly_canonical(absolute, ec);
  if (ec) canonical = absolute;
  return canonical.lexically_normal();
}

} // namespace

fs::path driveRoot() {
  std::string root = environment("TOV_ROOT");
  if (!root.empty()) return fs::path(root);
  std::string data = environment("XDG_DATA_HOME");
  if (!data.empty()) return fs::path(data) / "tov" / "drives";
  std::string home = environment("HOME");
  if (!home.empty()) return fs::path(home) / ".local" / "share" / "tov" / "drives";
  // No home folder at all (a bare service account): keep the drives in the
  // temporary folder rather than somewhere relative to the current directory.
  std::error_code ec;
  fs::path temp = fs::temp_directory_path(ec);
  if (ec) temp = "/tmp";
  return temp / "tov" / "drives";
}

std::string windowsDirectory() { return "C:\\WINDOWS"; }

std::string currentDirectory() {
  std::error_code ec;
  fs::path here = fs::current_path(ec);
  if (!ec) {
    if (auto windows = windowsPathOf(here)) return *windows;
  }
  return windowsDirectory().substr(0, 2) + "\\";
}

fs::path hostPath(std::string_view windowsPath) {
  if (windowsPath.size() < 2 || !isAsciiLetter(windowsPath[0]) || windowsPath[1] != ':')
    return fs::path(std::string(windowsPath));

  // The folders below the drive. ".." never climbs above the drive's own
  // folder, so a stored path cannot reach outside the root.
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&] {
    if (part.empty() || part == ".") {
      // nothing
    } else if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(part);
    }
    part.clear();
  };
  for (char c : windowsPath.substr(2)) {
    if (c == '\\' || c == '/') flush();
    else part += c;
  }
  flush();

  fs::path result = driveRoot() / std::string(1, upperAscii(windowsPath[0]));
  for (const auto& p : parts) result /= p;
  return result;
}

std::optional<std::string> windowsPathOf(const fs::path& host) {
  const fs::path root = comparablePath(driveRoot());
  const fs::path target = comparablePath(host);

  auto r = root.begin();
  auto t = target.begin();
  for (; r != root.end(); ++r, ++t) {
    if (r->empty()) continue;  // a trailing separator of the root
    if (t == target.end() || *r != *t) return std::nullopt;
  }
  while (t != target.end() && t->empty()) ++t;
  if (t == target.end()) return std::nullopt;  // the root itself is no drive

  const std::string drive = t->string();
  if (drive.size() != 1 || drive[0] < 'A' || drive[0] > 'Z') return std::nullopt;
  ++t;

  std::string result = drive + ":\\";
  bool first = true;
  for (; t != target.end(); ++t) {
    if (t->empty()) continue;
    if (!first) result += '\\';
    result += t->string();
    first = false;
  }
  return result;
}

} // namespace tov
