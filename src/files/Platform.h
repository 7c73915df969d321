#pragma once
// The stand-in for the Windows drives and directory on this platform.
//
// Paths in the program's own files keep their Windows form ("D:\Data\Tov5").
// Each drive letter X maps to the folder X under one root directory:
// $TOV_ROOT when set, else $XDG_DATA_HOME/tov/drives, else
// ~/.local/share/tov/drives. The Windows directory is "C:\WINDOWS".
// On Windows the drives are the drives themselves (and the Windows
// directory the system's) unless $TOV_ROOT names a root.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tov {

// The root under which the drive folders lie (read from the environment at
// each call, so tests can change TOV_ROOT); on Windows without TOV_ROOT
// none (an empty path): the drives themselves.
std::filesystem::path driveRoot();

// "C:\WINDOWS".
std::string windowsDirectory();

// The current directory in Windows form: "D:\work\tests" when the current
// directory lies under drive folder D of the root, otherwise the Windows
// directory's drive ("C:\").
std::string currentDirectory();

// "D:\Data\Sys.ndx" -> <root>/D/Data/Sys.ndx. A path without a drive letter
// is taken as a host path as it stands.
std::filesystem::path hostPath(std::string_view windowsPath);

// The Windows form of a host path under the root, or nothing when it lies
// outside the root.
std::optional<std::string> windowsPathOf(const std::filesystem::path& host);

// What differs between the systems the core runs on. Nothing outside these
// functions (and the file writer) calls the system directly.

// Opens a file as std::fopen does, by its path: on Windows through the wide
// (UTF-16) name, so Japanese file and folder names open there too.
std::FILE* openFile(const std::filesystem::path& path, const char* mode);

// The path as UTF-8 text, for messages and for the program's own files (on
// Windows path.string() would give the ANSI code page, or throw).
std::string utf8Path(const std::filesystem::path& path);

// The path as the C library's narrow (char) file functions take it, for a
// library that opens files only by such a name: on Linux its bytes; on
// Windows in the ANSI code page, through the short (8.3) form of its folder
// where the long one holds characters that code page lacks (a user folder
// named in Japanese on a Western system). "" when it has no such form.
std::string narrowPath(const std::filesystem::path& path);

// The path named by UTF-8 text (typed, read from our own files, built from
// a test's name): on Windows through UTF-16, since std::filesystem::path of
// a std::string would take the bytes as the ANSI code page there. Elsewhere
// the bytes as they stand. Every path made from text goes through this.
std::filesystem::path pathFromUtf8(std::string_view utf8);

// The program's arguments (argv[1] on) as UTF-8 text: on Windows from the
// wide (UTF-16) command line, as Qt reads it, not from argv's ANSI form.
std::vector<std::string> commandArguments(int argc, char** argv);

// The program's lines (UTF-8) read as they are in a console: on Windows the
// console shows its output in UTF-8 while the program runs (its own code
// page comes back at exit); elsewhere nothing to do.
void useUtf8Console();

// This computer's name (UTF-8); "localhost" when the system gives none.
std::string hostName();

// The user's login name (UTF-8); never empty.
std::string userName();

// The id of this process, and whether a process with that id runs on this
// computer (one of another user counts as running).
long currentProcessId();
bool processAlive(long pid);

// The broken-down local time of `t` (false when the system cannot give it).
bool localTime(std::time_t t, std::tm* out);

// The folder of the program's own data kept per user on this computer:
// $XDG_DATA_HOME/Tov (when absolute), else ~/.local/share/Tov; on Windows
// %LOCALAPPDATA%\Tov.
std::filesystem::path localDataFolder();

// The folder of settings that follow the user: $XDG_CONFIG_HOME/Tov (when
// absolute), else ~/.config/Tov; on Windows %APPDATA%\Tov.
std::filesystem::path userSettingsFolder();

// What the system tells of a file, its symbolic links followed.
struct FileFacts {
  bool regular = false;          // a plain file (no folder, FIFO, device)
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;   // nanoseconds since 1970-01-01 UTC
  std::uint64_t volume = 0;      // device, or the volume's serial number
  std::uint64_t index = 0;       // inode, or the file index on that volume
};
std::optional<FileFacts> fileFacts(const std::filesystem::path& path);

// Whether the name itself (a symbolic link not followed) is a plain file.
bool isPlainFileNoFollow(const std::filesystem::path& path);

// Makes a new file holding `bytes`, failing when the name exists already.
enum class CreateResult { Created, Exists, Failed };
CreateResult createNewFile(const std::filesystem::path& path, std::string_view bytes);

// Rewrites a plain file in place while holding the system's exclusive lock
// on it (flock; LockFileEx on Windows), which the system releases when the
// process ends: of several programs doing so at once, one at a time sees
// the file and decides. `stillSo` sees its bytes (at most maxBytes) once
// the lock is held; only when it says yes are they replaced by `bytes`.
// A symbolic link is not followed.
enum class RewriteResult {
  Rewritten,
  Declined,  // stillSo said no
  Busy,      // another program holds the lock now
  Gone,      // no such file, or the name names another file than the one locked
  Failed,    // cannot be opened for writing, or the write failed
};
RewriteResult rewriteUnderLock(const std::filesystem::path& path, std::size_t maxBytes,
                               const std::function<bool(std::string_view current)>& stillSo, std::string_view bytes);

// Whether this user may read the file.
bool mayRead(const std::filesystem::path& path);
// Whether this user may write the file, or make files in the folder
// (false also on a read-only file system).
bool mayWrite(const std::filesystem::path& path);

// A new folder of an unpredictable name under `parent` that only the user
// may enter, made by this call (never one that was there): the place for
// scratch files a library makes by name. Nothing when none can be made.
std::optional<std::filesystem::path> makePrivateFolder(const std::filesystem::path& parent, std::string_view prefix);
// Removes an empty folder; false when it could not.
bool removeEmptyFolder(const std::filesystem::path& folder);

// Removes a file (not a folder); false when it could not.
bool removeFile(const std::filesystem::path& path);

// Lets only the user into a folder where the system has modes.
void restrictToOwner(const std::filesystem::path& folder);

// Interrupts: Ctrl+C, a closed terminal or console window, a request to end
// the program (SIGHUP, SIGINT, SIGQUIT and SIGTERM; on Windows the console's
// CTRL_C, CTRL_BREAK and CTRL_CLOSE events). At an interrupt `handler` runs,
// then the interrupt ends the process as it would have without it. It runs
// as a signal handler (async-signal-safe work only; each signal's handler is
// reset as it starts) or, on Windows, once, on a thread of the system's while
// the others go on. An interrupt the process ignored stays ignored.
// restoreInterrupts() puts back what was there before.
using InterruptHandler = void (*)();
void onInterrupt(InterruptHandler handler);
void restoreInterrupts();

// Removes the file named by UTF-8 text, from an interrupt handler (nothing
// allocated; a name longer than the system takes is left). A name that is
// an empty folder (a private scratch folder) is removed as well.
void removeFileOnInterrupt(const char* utf8Name);

// The file open on a C runtime descriptor; nothing when the system cannot
// tell or the file has no name any more.
std::optional<std::filesystem::path> openFileName(int fd);

// While it lives, a C library's printf and strtod on this thread read and
// write numbers with "." whatever LC_NUMERIC says (the window sets the
// user's locale, and a decimal comma would corrupt a file a library writes).
class ClassicNumbers {
public:
  ClassicNumbers();
  ~ClassicNumbers();
  ClassicNumbers(const ClassicNumbers&) = delete;
  ClassicNumbers& operator=(const ClassicNumbers&) = delete;

private:
  void* classic_ = nullptr;   // POSIX: the thread's locale with C numbers
  void* previous_ = nullptr;  // POSIX: the thread's locale before
  int perThread_ = 0;         // Windows: the thread's locale setting before
  std::string numeric_;       // Windows: LC_NUMERIC before
};

} // namespace tov
