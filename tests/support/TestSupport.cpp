#include "support/TestSupport.h"

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <random>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include "files/Platform.h"

namespace tov::testing {

TempDir::TempDir() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("tov-test-" + std::to_string(rd()) + "-" + std::to_string(attempt));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

std::filesystem::path TempDir::operator/(std::string_view name) const { return path_ / pathFromUtf8(name); }

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write permission on anything a test made read-only, then remove.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

namespace {
void setEnvironment(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  // An empty value removes the variable on Windows.
  ::_putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value) ::setenv(name.c_str(), value->c_str(), 1);
  else ::unsetenv(name.c_str());
#endif
}
} // namespace

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) previous_ = old;
  setEnvironment(name_, value);
}

ScopedEnv::~ScopedEnv() { setEnvironment(name_, previous_); }

ScopedLocale::ScopedLocale(const char* name) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  previous_ = old ? old : "C";
  available_ = std::setlocale(LC_ALL, name) != nullptr;
  if (available_) {
    try {
      std::locale::global(std::locale(name));
    } catch (const std::runtime_error&) {
    }
  }
}

ScopedLocale::~ScopedLocale() {
  std::setlocale(LC_ALL, previous_.c_str());
  std::locale::global(std::locale::classic());
}

bool runsAsRoot() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() == 0;
#endif
}

#ifndef _WIN32
std::string asOrdinaryUser(const std::function<std::string()>& check) {
  if (!runsAsRoot()) return check();
  int pipe[2];
  if (::pipe(pipe) != 0) return "?";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe[0]);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    const std::string text = check();
    ::_exit(::write(pipe[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 3);
  }
  ::close(pipe[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  ::close(pipe[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "?";
}
#endif

std::filesystem::path nullDevice(const std::filesystem::path& folder, std::string_view name) {
#ifdef _WIN32
  (void)name;
  return folder / "NUL";
#else
  const std::filesystem::path path = folder / std::string(name);
  if (!runsAsRoot() || ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) return {};
  return path;
#endif
}

#ifdef _WIN32
HeldFile::HeldFile(const std::filesystem::path& path)
    : handle_(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
HeldFile::~HeldFile() {
  if (held()) CloseHandle(handle_);
}
bool HeldFile::held() const { return handle_ != INVALID_HANDLE_VALUE; }
#endif

std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string crlfLines(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) {
    s += l;
    s += "\r\n";
  }
  return s;
}

} // namespace tov::testing
