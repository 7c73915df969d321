#pragma once
// The system's file calls as the file writer (files/TextFile) uses them,
// named alike on every system: on Linux the POSIX calls themselves, on
// Windows the CRT's descriptors over wide (UTF-16) names, with
// MoveFileExW (write-through) for the atomic replace and _commit
// (FlushFileBuffers) for the sync, and sizes of 64 bits on both. Only the
// file writer includes this.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <csignal>
#include <filesystem>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <pthread.h>
#include <unistd.h>
#endif

#ifdef _WIN32
// Flags and kinds Windows has no use for.
#define O_CLOEXEC 0
#define O_NONBLOCK 0
#define O_NOFOLLOW 0
#ifndef NAME_MAX
#define NAME_MAX 255
#endif
#ifndef S_ISSOCK
#define S_ISSOCK(mode) 0
#endif
#ifndef EDQUOT
#define EDQUOT 122
#endif
#endif

namespace tov::io {

#ifdef _WIN32

inline std::string nativeName(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline int errnoOf(DWORD error) {
  switch (error) {
  case ERROR_ACCESS_DENIED: return EACCES;
  case ERROR_SHARING_VIOLATION:
  case ERROR_LOCK_VIOLATION: return EBUSY;  // another program has the file open
  case ERROR_DISK_FULL:
  case ERROR_HANDLE_DISK_FULL: return ENOSPC;
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND: return ENOENT;
  case ERROR_WRITE_PROTECT: return EROFS;
  case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
  default: return EIO;
  }
}

// The file's facts with 64-bit sizes (the CRT's struct stat holds 32 bits).
using Stat = struct ::_stat64;

// Windows finds no path also where one of its folders is a file; that is
// told apart as on Linux (ENOTDIR), so the reason names the folder's name.
inline int missingFolderError(const std::filesystem::path& path) {
  std::error_code ec;
  for (std::filesystem::path folder = path.parent_path(); !folder.empty();) {
    const auto status = std::filesystem::status(folder, ec);
    if (std::filesystem::exists(status)) return std::filesystem::is_directory(status) ? ENOENT : ENOTDIR;
    std::filesystem::path up = folder.parent_path();
    if (up == folder) break;
    folder = std::move(up);
  }
  return ENOENT;
}

inline int open(const std::filesystem::path& path, int flags, int mode = 0) {
  const int fd = ::_wopen(path.c_str(), flags | _O_BINARY | _O_NOINHERIT, mode == 0 ? 0 : _S_IREAD | _S_IWRITE);
  if (fd < 0 && errno == ENOENT) errno = missingFolderError(path);
  return fd;
}
// One call moves at most INT_MAX bytes; the callers loop.
inline int read(int fd, void* buffer, std::size_t size) {
  return ::_read(fd, buffer, static_cast<unsigned>(size < INT_MAX ? size : INT_MAX));
}
inline int write(int fd, const void* buffer, std::size_t size) {
  return ::_write(fd, buffer, static_cast<unsigned>(size < INT_MAX ? size : INT_MAX));
}
inline int close(int fd) { return ::_close(fd); }
inline int dup(int fd) { return ::_dup(fd); }
inline int fstat(int fd, Stat* st) { return ::_fstat64(fd, st); }
inline long long seek(int fd, long long offset, int whence) { return ::_lseeki64(fd, offset, whence); }

// stat as far as the writer needs it (kind, size, links), symbolic links followed.
inline int stat(const std::filesystem::path& path, Stat* st) {
  HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    errno = errnoOf(GetLastError());
    return -1;
  }
  BY_HANDLE_FILE_INFORMATION info {};
  const bool got = GetFileInformationByHandle(file, &info);
  const DWORD type = GetFileType(file);
  CloseHandle(file);
  if (!got && type == FILE_TYPE_DISK) {
    errno = EIO;
    return -1;
  }
  *st = {};
  st->st_mode = type != FILE_TYPE_DISK                              ? S_IFCHR
                : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? S_IFDIR
                                                                      : S_IFREG;
  st->st_mode |= (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  st->st_size = static_cast<decltype(st->st_size)>(static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
  st->st_nlink = static_cast<decltype(st->st_nlink)>(info.nNumberOfLinks);
  return 0;
}

inline void clearNonBlocking(int) {}
inline int truncate(int fd, long long size) { return ::_chsize_s(fd, size) == 0 ? 0 : -1; }
inline int sync(int fd) { return ::_commit(fd); }
inline void syncFolder(const std::filesystem::path&) {}  // the replace itself writes through
inline bool writable(const std::filesystem::path& path) { return ::_waccess(path.c_str(), 2) == 0; }
inline void keepOwnerAndMode(int, const Stat&) {}  // no owner or mode bits to carry
inline int reserve(int, long long) { return 0; }
inline long long readAt(int fd, char* buffer, std::size_t size, long long offset) {
  if (::_lseeki64(fd, offset, SEEK_SET) != offset) return -1;
  return read(fd, buffer, size);
}

// Puts `from` in place of `to` at once, written through to the disk.
// A file another program holds (a table open in a spreadsheet) refuses to be
// replaced, often as "access denied": asked for deletion it tells which.
inline int replace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  errno = errnoOf(GetLastError());
  if (errno == EACCES) {
    HANDLE target = CreateFileW(to.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (target != INVALID_HANDLE_VALUE) CloseHandle(target);
    else if (GetLastError() == ERROR_SHARING_VIOLATION) errno = EBUSY;
  }
  return -1;
}

// Signals do not interrupt a Windows writer (a console event runs on a
// thread of its own), so a writer section holds nothing back.
inline void holdSignals(void*) {}
inline void restoreSignals(const void*) {}
inline void waitForever() {
  for (;;) Sleep(INFINITE);
}

#else

using Stat = struct ::stat;

inline const std::string& nativeName(const std::filesystem::path& path) { return path.native(); }
inline int open(const std::filesystem::path& path, int flags, int mode = 0) { return ::open(path.c_str(), flags, mode); }
inline ssize_t read(int fd, void* buffer, std::size_t size) { return ::read(fd, buffer, size); }
inline ssize_t write(int fd, const void* buffer, std::size_t size) { return ::write(fd, buffer, size); }
inline int close(int fd) { return ::close(fd); }
inline int dup(int fd) { return ::dup(fd); }
inline int fstat(int fd, Stat* st) { return ::fstat(fd, st); }
inline long long seek(int fd, long long offset, int whence) { return ::lseek(fd, static_cast<off_t>(offset), whence); }
inline int stat(const std::filesystem::path& path, Stat* st) { return ::stat(path.c_str(), st); }
inline void clearNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK); }
inline int sync(int fd) { return ::fsync(fd); }
inline int truncate(int fd, long long size) { return ::ftruncate(fd, static_cast<off_t>(size)); }
inline void syncFolder(const std::filesystem::path& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: the rename is done either way
  ::close(fd);
}
inline bool writable(const std::filesystem::path& path) { return ::access(path.c_str(), W_OK) == 0; }

// The owner, group and mode of the file being replaced go to its
// replacement, as far as the user may set them: root keeps another user's
// file theirs; anybody keeps a group they belong to.
inline void keepOwnerAndMode(int fd, const Stat& old) {
  if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
    // Owner and group, else the group alone; when neither may be set, the writer's stay.
    [[maybe_unused]] const bool kept =
        ::fchown(fd, old.st_uid, old.st_gid) == 0 || ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
  }
  (void)::fchmod(fd, old.st_mode & 07777);
}
inline int reserve(int fd, long long size) { return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)); }
inline long long readAt(int fd, char* buffer, std::size_t size, long long offset) {
  return ::pread(fd, buffer, size, static_cast<off_t>(offset));
}
inline int replace(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str());
}
static_assert(sizeof(sigset_t) <= sizeof(unsigned long long[16]));
inline void holdSignals(void* previous) {
  sigset_t all;
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, static_cast<sigset_t*>(previous));
}
inline void restoreSignals(const void* previous) {
  ::pthread_sigmask(SIG_SETMASK, static_cast<const sigset_t*>(previous), nullptr);
}
inline void waitForever() { ::pause(); }

#endif

static_assert(sizeof(Stat::st_size) == 8, "a file over 2 GiB keeps its size");

} // namespace tov::io
