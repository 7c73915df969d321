#pragma once
// Helpers shared by the tests: scratch folders, environment overrides and
// whole-file byte access.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tov::testing {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // `name` is UTF-8 (a Japanese name works on Windows too).
  std::filesystem::path operator/(std::string_view name) const;

private:
  std::filesystem::path path_;
};

// Sets (or, with nullopt, unsets) an environment variable and restores the
// previous value when the object goes.
class ScopedEnv {
public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  std::string name_;
  std::optional<std::string> previous_;
};

// Switches LC_ALL (C library and C++ global locale) for the lifetime of the
// object, e.g. to "de_DE.UTF-8"; available() says whether the locale exists.
class ScopedLocale {
public:
  explicit ScopedLocale(const char* name);
  ~ScopedLocale();
  bool available() const { return available_; }

private:
  std::string previous_;
  bool available_ = false;
};

// What the system offers the file tests. Windows has no root, no FIFO and
// no device node to make; its device names (NUL) are in every folder.
bool runsAsRoot();
// A device that reads like /dev/null at folder/name, or an empty path when
// none can be made (Linux makes one only as root; on Windows it is
// folder/NUL, which keeps no name of its own).
std::filesystem::path nullDevice(const std::filesystem::path& folder, std::string_view name);

#ifdef _WIN32
// Holds a file open as another program does that shares it with nobody:
// while it lives, nobody else may read, write, replace or remove the file.
class HeldFile {
public:
  explicit HeldFile(const std::filesystem::path& path);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool held() const;

private:
  void* handle_;
};
#endif

#ifndef _WIN32
// Runs `check` as a user without root's rights and gives the text it
// returns: as nobody in a child process when the tests run as root (who
// may write any file), else here. "?" when the child could not run it.
std::string asOrdinaryUser(const std::function<std::string()>& check);
#endif

std::string readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, std::string_view bytes);
// Lines joined with CR LF after each line.
std::string crlfLines(const std::vector<std::string>& lines);

} // namespace tov::testing
