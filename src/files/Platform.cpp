#include "files/Platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <random>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#include <lmcons.h>
#else
#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

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

// A path named by the environment ("" when unset), as the system gives it:
// on Windows in UTF-16, so a folder of any name works.
fs::path environmentPath(const char* name) {
#ifdef _WIN32
  const std::wstring wide(name, name + std::strlen(name));
  const wchar_t* value = _wgetenv(wide.c_str());
  return value && *value ? fs::path(value) : fs::path();
#else
  return fs::path(environment(name));
#endif
}

#ifdef _WIN32
std::string utf8Of(const wchar_t* text, int length) {
  if (length <= 0) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

// A folder named by the environment (UTF-16, so any name works).
fs::path environmentFolder(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value && *value ? fs::path(value) : fs::path();
}
#endif

// What runs at an interrupt (see onInterrupt).
std::atomic<InterruptHandler> gInterruptHandler{nullptr};
static_assert(std::atomic<InterruptHandler>::is_always_lock_free);

#ifdef _WIN32
bool gConsoleHandlerSet = false;

BOOL WINAPI consoleInterrupted(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  if (const InterruptHandler handler = gInterruptHandler.exchange(nullptr)) handler();
  return FALSE;  // the next handler, in the end the system's, ends the process
}
#else
constexpr int kInterrupts[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
constexpr int kInterruptCount = 4;
struct sigaction gPreviousActions[kInterruptCount];
bool gInstalled[kInterruptCount] = {};

extern "C" void interrupted(int signal) {
  if (const InterruptHandler handler = gInterruptHandler.load()) handler();
  // The handler was reset on entry (SA_RESETHAND): the signal, raised again,
  // ends the process once this handler returns.
  ::raise(signal);
}
#endif

} // namespace

std::FILE* openFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
  std::wstring wideMode;
  for (const char* m = mode; *m != '\0'; ++m) wideMode += static_cast<wchar_t>(*m);
  return _wfopen(path.c_str(), wideMode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

std::string utf8Path(const fs::path& path) {
#ifdef _WIN32
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
#else
  return path.string();
#endif
}

#ifdef _WIN32
namespace {
// The text in the ANSI code page, or nothing when a character has no exact
// form there.
std::optional<std::string> ansiText(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, &lossy);
  if (size <= 0 || lossy) return std::nullopt;
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                      nullptr, &lossy);
  if (lossy) return std::nullopt;
  return out;
}
} // namespace
#endif

std::string narrowPath(const fs::path& path) {
#ifdef _WIN32
  if (auto text = ansiText(path.wstring())) return *text;
  // The file need not exist yet: its folder is shortened, its name kept.
  const fs::path folder = path.parent_path();
  std::wstring shortFolder(MAX_PATH, L'\0');
  DWORD size = GetShortPathNameW(folder.c_str(), shortFolder.data(), static_cast<DWORD>(shortFolder.size()));
  if (size >= shortFolder.size()) {
    shortFolder.resize(size);
    size = GetShortPathNameW(folder.c_str(), shortFolder.data(), size);
  }
  if (size == 0 || size >= shortFolder.size()) return {};
  shortFolder.resize(size);
  const auto text = ansiText((fs::path(shortFolder) / path.filename()).wstring());
  return text ? *text : std::string();
#else
  return path.string();
#endif
}

fs::path pathFromUtf8(std::string_view utf8) {
#ifdef _WIN32
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
#else
  return fs::path(std::string(utf8));
#endif
}

std::vector<std::string> commandArguments(int argc, char** argv) {
  std::vector<std::string> args;
#ifdef _WIN32
  // argv holds the ANSI code page's form (a Japanese name is "?" on a
  // Western system): the wide command line instead, split as the system
  // (and Qt) split it.
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) args.push_back(utf8Of(wide[i], static_cast<int>(std::wcslen(wide[i]))));
    LocalFree(wide);
    return args;
  }
#endif
  for (int i = 1; i < argc; ++i) args.emplace_back(argv && argv[i] ? argv[i] : "");
  return args;
}

ClassicNumbers::ClassicNumbers() {
#ifdef _WIN32
  perThread_ = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
  if (const char* now = std::setlocale(LC_NUMERIC, nullptr)) numeric_ = now;
  std::setlocale(LC_NUMERIC, "C");
#else
  const locale_t current = uselocale(static_cast<locale_t>(nullptr));
  if (locale_t copy = duplocale(current)) {
    if (locale_t classic = newlocale(LC_NUMERIC_MASK, "C", copy)) {
      classic_ = classic;
      previous_ = uselocale(classic);
    } else {
      freelocale(copy);
    }
  }
#endif
}

ClassicNumbers::~ClassicNumbers() {
#ifdef _WIN32
  if (!numeric_.empty()) std::setlocale(LC_NUMERIC, numeric_.c_str());
  if (perThread_ > 0) _configthreadlocale(perThread_);
#else
  if (classic_) {
    uselocale(static_cast<locale_t>(previous_));
    freelocale(static_cast<locale_t>(classic_));
  }
#endif
}

void useUtf8Console() {
#ifdef _WIN32
  static UINT before = 0;
  const UINT now = GetConsoleOutputCP();
  if (now == 0 || now == CP_UTF8 || before != 0) return;  // no console, or UTF-8 already
  if (!SetConsoleOutputCP(CP_UTF8)) return;
  before = now;
  std::atexit([] { SetConsoleOutputCP(before); });
#endif
}

std::string hostName() {
#ifdef _WIN32
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size) || size == 0) return "localhost";
  return utf8Of(name, static_cast<int>(size));
#else
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
#endif
}

std::string userName() {
#ifdef _WIN32
  wchar_t name[UNLEN + 1] = {};
  DWORD size = UNLEN + 1;
  if (GetUserNameW(name, &size) && size > 1) return utf8Of(name, static_cast<int>(size - 1));
  std::string user = environment("USERNAME");
  return user.empty() ? std::string("user") : user;
#else
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return pw->pw_name;
  if (const char* user = std::getenv("USER")) return user;
  return std::to_string(static_cast<unsigned>(::geteuid()));
#endif
}

long currentProcessId() {
#ifdef _WIN32
  return static_cast<long>(GetCurrentProcessId());
#else
  return static_cast<long>(::getpid());
#endif
}

bool processAlive(long pid) {
  if (pid <= 0) return false;
#ifdef _WIN32
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
#else
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

bool localTime(std::time_t t, std::tm* out) {
#ifdef _WIN32
  return localtime_s(out, &t) == 0;
#else
  return ::localtime_r(&t, out) != nullptr;
#endif
}

fs::path localDataFolder() {
#ifdef _WIN32
  fs::path base = environmentFolder(L"LOCALAPPDATA");
  if (base.empty()) base = environmentFolder(L"APPDATA");
  if (base.empty()) base = fs::temp_directory_path();
  return base / "Tov";
#else
  const std::string data = environment("XDG_DATA_HOME");
  if (!data.empty() && data[0] == '/') return fs::path(data) / "Tov";
  const std::string home = environment("HOME");
  const fs::path base = !home.empty() ? fs::path(home) : fs::temp_directory_path();
  return base / ".local" / "share" / "Tov";
#endif
}

fs::path userSettingsFolder() {
#ifdef _WIN32
  fs::path base = environmentFolder(L"APPDATA");
  if (base.empty()) base = environmentFolder(L"LOCALAPPDATA");
  if (base.empty()) base = fs::temp_directory_path();
  return base / "Tov";
#else
  const std::string config = environment("XDG_CONFIG_HOME");
  if (!config.empty() && config[0] == '/') return fs::path(config) / "Tov";
  const std::string home = environment("HOME");
  const fs::path base = !home.empty() ? fs::path(home) : fs::temp_directory_path();
  return base / ".config" / "Tov";
#endif
}

fs::path driveRoot() {
  if (fs::path root = environmentPath("TOV_ROOT"); !root.empty()) return root;
#ifdef _WIN32
  return {};  // the drives themselves
#endif
  if (fs::path data = environmentPath("XDG_DATA_HOME"); !data.empty()) return data / "tov" / "drives";
  if (fs::path home = environmentPath("HOME"); !home.empty()) return home / ".local" / "share" / "tov" / "drives";
  // No home folder at all (a bare service account): keep the drives in the
  // temporary folder rather than somewhere relative to the current directory.
  std::error_code ec;
  fs::path temp = fs::temp_directory_path(ec);
  if (ec) temp = "/tmp";
  return temp / "tov" / "drives";
}

std::string windowsDirectory() {
#ifdef _WIN32
  if (driveRoot().empty()) {
    wchar_t folder[MAX_PATH + 1];
    const UINT n = GetSystemWindowsDirectoryW(folder, MAX_PATH + 1);
    if (n >= 2 && n <= MAX_PATH) return utf8Of(folder, static_cast<int>(n));
  }
#endif
  return "C:\\WINDOWS";
}

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
    return pathFromUtf8(windowsPath);

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

  const fs::path root = driveRoot();
  const std::string drive(1, upperAscii(windowsPath[0]));
  fs::path result = root.empty() ? pathFromUtf8(drive + ":\\") : root / pathFromUtf8(drive);
  for (const auto& p : parts) result /= pathFromUtf8(p);
  return result;
}

std::optional<std::string> windowsPathOf(const fs::path& host) {
  if (driveRoot().empty()) {
    // A share ("\\server\share") has no drive letter; its canonical form
    // under Wine names one.
    const auto& name = host.native();
    const auto separator = [](auto c) { return c == '\\' || c == '/'; };
    if (name.size() >= 2 && separator(name[0]) && separator(name[1])) return std::nullopt;
  }
  const fs::path target = comparablePath(host);
  auto t = target.begin();
  std::string drive;
  if (driveRoot().empty()) {
    // The drives themselves: "d:" and its root folder.
    drive = t != target.end() ? utf8Path(*t) : std::string();
    if (drive.size() != 2 || !isAsciiLetter(drive[0]) || drive[1] != ':' || !target.has_root_directory())
      return std::nullopt;
    drive.resize(1);
    drive[0] = upperAscii(drive[0]);
    ++t;
    if (t != target.end()) ++t;  // the root folder
  } else {
    const fs::path root = comparablePath(driveRoot());
    auto r = root.begin();
    for (; r != root.end(); ++r, ++t) {
      if (r->empty()) continue;  // a trailing separator of the root
      if (t == target.end() || *r != *t) return std::nullopt;
    }
    while (t != target.end() && t->empty()) ++t;
    if (t == target.end()) return std::nullopt;  // the root itself is no drive
    drive = utf8Path(*t);
    if (drive.size() != 1 || drive[0] < 'A' || drive[0] > 'Z') return std::nullopt;
    ++t;
  }

  std::string result = drive + ":\\";
  bool first = true;
  for (; t != target.end(); ++t) {
    if (t->empty()) continue;
    if (!first) result += '\\';
    result += utf8Path(*t);
    first = false;
  }
  return result;
}

std::optional<FileFacts> fileFacts(const fs::path& path) {
  FileFacts facts;
#ifdef _WIN32
  HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info {};
  const bool got = GetFileInformationByHandle(file, &info);
  const DWORD type = GetFileType(file);
  CloseHandle(file);
  if (!got) return std::nullopt;
  facts.regular = type == FILE_TYPE_DISK && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  facts.size = static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  const auto ticks = static_cast<std::int64_t>(static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 |
                                               info.ftLastWriteTime.dwLowDateTime);
  facts.modifiedNs = (ticks - 116444736000000000LL) * 100;  // 100 ns steps since 1601
  facts.volume = info.dwVolumeSerialNumber;
  facts.index = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
#else
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  facts.regular = S_ISREG(st.st_mode);
  facts.size = static_cast<std::uint64_t>(st.st_size);
  facts.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  facts.volume = static_cast<std::uint64_t>(st.st_dev);
  facts.index = static_cast<std::uint64_t>(st.st_ino);
#endif
  return facts;
}

bool isPlainFileNoFollow(const fs::path& path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
#else
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

CreateResult createNewFile(const fs::path& path, std::string_view bytes) {
#ifdef _WIN32
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS ? CreateResult::Exists
                                                                                         : CreateResult::Failed;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  if (ok) return CreateResult::Created;
  DeleteFileW(path.c_str());
  return CreateResult::Failed;
#else
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno == EEXIST ? CreateResult::Exists : CreateResult::Failed;
  const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ::close(fd);
  if (written) return CreateResult::Created;
  ::unlink(path.c_str());
  return CreateResult::Failed;
#endif
}

RewriteResult rewriteUnderLock(const fs::path& path, std::size_t maxBytes,
                               const std::function<bool(std::string_view)>& stillSo, std::string_view bytes) {
#ifdef _WIN32
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RewriteResult::Gone
           : error == ERROR_SHARING_VIOLATION                            ? RewriteResult::Busy
                                                                         : RewriteResult::Failed;
  }
  // One byte far beyond any content: a lock there keeps no reader out.
  OVERLAPPED place {};
  place.OffsetHigh = 0x7fffffff;
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &place)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? RewriteResult::Busy : RewriteResult::Failed;
  }
  const auto finish = [&](RewriteResult result) {
    UnlockFileEx(file, 0, 1, 0, &place);
    CloseHandle(file);
    return result;
  };
  BY_HANDLE_FILE_INFORMATION info {};
  const auto named = fileFacts(path);
  if (!GetFileInformationByHandle(file, &info) || !named ||
      named->index != (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow) ||
      named->volume != info.dwVolumeSerialNumber)
    return finish(RewriteResult::Gone);
  std::string current(maxBytes, '\0');
  DWORD got = 0;
  LARGE_INTEGER start {};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
      !ReadFile(file, current.data(), static_cast<DWORD>(std::min<std::size_t>(maxBytes, MAXDWORD)), &got, nullptr))
    return finish(RewriteResult::Failed);
  current.resize(got);
  if (!stillSo(current)) return finish(RewriteResult::Declined);
  DWORD written = 0;
  const bool ok = SetFilePointerEx(file, start, nullptr, FILE_BEGIN) &&
                  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size() && SetEndOfFile(file) && FlushFileBuffers(file);
  return finish(ok ? RewriteResult::Rewritten : RewriteResult::Failed);
#else
  const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? RewriteResult::Gone : RewriteResult::Failed;
  const auto finish = [fd](RewriteResult result) {
    ::close(fd);  // releases the lock
    return result;
  };
  struct stat opened {}, named {};
  if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) return finish(RewriteResult::Failed);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    return finish(errno == EWOULDBLOCK || errno == EINTR ? RewriteResult::Busy : RewriteResult::Failed);
  // Removed, or replaced by another file, before the lock was had.
  if (::lstat(path.c_str(), &named) != 0 || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino)
    return finish(RewriteResult::Gone);
  std::string current(maxBytes, '\0');
  const ssize_t got = ::pread(fd, current.data(), maxBytes, 0);
  if (got < 0) return finish(RewriteResult::Failed);
  current.resize(static_cast<std::size_t>(got));
  if (!stillSo(current)) return finish(RewriteResult::Declined);
  const bool ok = ::pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()) &&
                  ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
  return finish(ok ? RewriteResult::Rewritten : RewriteResult::Failed);
#endif
}

bool mayRead(const fs::path& path) {
#ifdef _WIN32
  // _waccess looks at nothing but the read-only flag: whether the file opens
  // for reading says it, also for one another program holds shared with nobody.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
#else
  return ::access(path.c_str(), R_OK) == 0;
#endif
}

bool mayWrite(const fs::path& path) {
#ifdef _WIN32
  // _waccess looks at the read-only flag only: asking for write access says
  // what the folder's rights say too. A file another program holds shared
  // with nobody is no matter of rights.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!folder && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  HANDLE file = CreateFileW(path.c_str(), folder ? FILE_ADD_FILE : GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_ACCESS_DENIED && GetLastError() != ERROR_WRITE_PROTECT;
  CloseHandle(file);
  return true;
#else
  return ::access(path.c_str(), W_OK) == 0;
#endif
}

std::optional<fs::path> makePrivateFolder(const fs::path& parent, std::string_view prefix) {
#ifdef _WIN32
  // The user's temporary folder is the user's own; the name is still not
  // one another program could guess, and CreateDirectoryW makes it or fails
  // (a name that is there, a link too, is never taken).
  std::random_device device;
  std::mt19937_64 random(static_cast<std::uint64_t>(device()) << 32 ^ device() ^
                         static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                         GetCurrentProcessId());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[17];
    const std::uint64_t value = random();
    for (int i = 0; i < 16; ++i) name[i] = "0123456789abcdef"[(value >> (4 * i)) & 15];
    name[16] = '\0';
    const fs::path folder = parent / pathFromUtf8(std::string(prefix) + name);
    if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) {
      errno = error == ERROR_ACCESS_DENIED ? EACCES : error == ERROR_PATH_NOT_FOUND ? ENOENT
            : error == ERROR_DISK_FULL ? ENOSPC : EIO;
      return std::nullopt;
    }
  }
  errno = EEXIST;
  return std::nullopt;
#else
  std::string pattern = (parent / (std::string(prefix) + "XXXXXX")).native();
  if (::mkdtemp(pattern.data()) == nullptr) return std::nullopt;  // made with mode 0700
  return fs::path(pattern);
#endif
}

bool removeEmptyFolder(const fs::path& folder) {
#ifdef _WIN32
  return RemoveDirectoryW(folder.c_str()) != 0;
#else
  return ::rmdir(folder.c_str()) == 0;
#endif
}

bool removeFile(const fs::path& path) {
#ifdef _WIN32
  return DeleteFileW(path.c_str()) != 0;
#else
  return ::unlink(path.c_str()) == 0;
#endif
}

void restrictToOwner(const fs::path& folder) {
#ifdef _WIN32
  (void)folder;  // the profile's folders are the user's already
#else
  ::chmod(folder.c_str(), 0700);
#endif
}

void onInterrupt(InterruptHandler handler) {
  gInterruptHandler.store(handler);
#ifdef _WIN32
  if (!gConsoleHandlerSet) gConsoleHandlerSet = SetConsoleCtrlHandler(consoleInterrupted, TRUE) != 0;
#else
  for (int i = 0; i < kInterruptCount; ++i) {
    if (gInstalled[i]) continue;
    struct sigaction previous {};
    if (::sigaction(kInterrupts[i], nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = interrupted;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    if (::sigaction(kInterrupts[i], &action, &gPreviousActions[i]) == 0) gInstalled[i] = true;
  }
#endif
}

void restoreInterrupts() {
#ifdef _WIN32
  if (gConsoleHandlerSet) SetConsoleCtrlHandler(consoleInterrupted, FALSE);
  gConsoleHandlerSet = false;
#else
  for (int i = 0; i < kInterruptCount; ++i) {
    if (gInstalled[i]) ::sigaction(kInterrupts[i], &gPreviousActions[i], nullptr);
    gInstalled[i] = false;
  }
#endif
  gInterruptHandler.store(nullptr);
}

void removeFileOnInterrupt(const char* utf8Name) {
#ifdef _WIN32
  wchar_t wide[4096];
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Name, -1, wide, 4096) > 0 && !DeleteFileW(wide))
    RemoveDirectoryW(wide);
#else
  const int saved = errno;  // the interrupted code's
  if (::unlink(utf8Name) != 0 && errno == EISDIR) ::rmdir(utf8Name);
  errno = saved;
#endif
}

std::optional<fs::path> openFileName(int fd) {
  if (fd < 0) return std::nullopt;
#ifdef _WIN32
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::wstring name(32768, L'\0');
  const DWORD n = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                            FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= name.size()) return std::nullopt;
  name.resize(n);
  // "\\?\C:\..." and "\\?\UNC\server\share\..." in their usual forms.
  if (name.starts_with(L"\\\\?\\UNC\\")) name.replace(0, 8, L"\\\\");
  else if (name.starts_with(L"\\\\?\\")) name.erase(0, 4);
  return fs::path(name);
#else
  char name[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), name, sizeof name - 1);
  if (n <= 0 || name[0] != '/') return std::nullopt;
  const std::string path(name, static_cast<std::size_t>(n));
  // A file made without a name (O_TMPFILE) vanishes with the process.
  if (path.ends_with(" (deleted)")) return std::nullopt;
  return fs::path(path);
#endif
}

} // namespace tov
