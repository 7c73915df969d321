#include "files/TextFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>

#include "files/Platform.h"
#include "files/PlatformIo.h"
#include "files/TextCodec.h"

namespace tov {

namespace {

long long gFailAfterBytes = -1;
std::atomic<unsigned> gTempCounter{0};

std::atomic<void (*)(const char*)> gMade{nullptr}, gGone{nullptr};
std::atomic<int> gSections{0};
std::atomic<bool> gStopping{false};

void tellMade(const std::filesystem::path& path) {
  if (auto made = gMade.load()) made(io::nativeName(path).c_str());
}
void tellGone(const std::filesystem::path& path) {
  if (auto gone = gGone.load()) gone(io::nativeName(path).c_str());
}

std::string systemReason(int error) { return failureReason(error); }

WriteResult failure(WriteStatus status, std::string detail) {
  WriteResult result;
  result.status = status;
  result.detail = std::move(detail);
  return result;
}

// write(2) until everything is out, with the full-disk test hook applied to
// the bytes of this one file.
bool writeAll(int fd, std::string_view bytes, int* error) {
  size_t done = 0;
  while (done < bytes.size()) {
    size_t chunk = bytes.size() - done;
    if (gFailAfterBytes >= 0) {
      auto allowed = static_cast<unsigned long long>(gFailAfterBytes);
      if (done >= allowed) {
        *error = ENOSPC;
        return false;
      }
      if (chunk > allowed - done) chunk = static_cast<size_t>(allowed - done);
    }
    const auto n = io::write(fd, bytes.data() + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The file a write really replaces: a symbolic link is followed, so the link
// stays and the file it points to gets the new content.
// A link whose target does not exist yet is followed as well: the target
// is made, the link stays.
std::filesystem::path replacedFile(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path current = path;
  for (int hops = 0; hops < 40 && std::filesystem::is_symlink(current, ec); ++hops) {
    const std::filesystem::path target = std::filesystem::read_symlink(current, ec);
    if (ec) return path;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  if (current == path) return path;
  auto resolved = std::filesystem::weakly_canonical(current, ec);
  return ec ? current : resolved;
}

// A descriptor open for reading, or -1. Only a regular file (a symbolic link
// is followed) is opened: a FIFO would block the open until a writer came,
// and a FIFO or a device may never end. The kind is checked before opening,
// and again on what was opened, which never waits.
int openRegularFile(const std::filesystem::path& path) {
  io::Stat st {};
  if (io::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  int fd = io::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  if (io::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    io::close(fd);
    return -1;
  }
  io::clearNonBlocking(fd);
  return fd;
}

// Up to maxBytes from the descriptor; nothing on a read error. Closes the
// descriptor.
std::optional<std::string> readFromDescriptor(int fd, std::size_t maxBytes) {
  std::string bytes;
  io::Stat st {};
  if (io::fstat(fd, &st) == 0 && st.st_size > 0)
    bytes.reserve(std::min(static_cast<std::size_t>(st.st_size), maxBytes));
  char buffer[65536];
  while (bytes.size() < maxBytes) {
    const std::size_t want = std::min(sizeof buffer, maxBytes - bytes.size());
    const auto n = io::read(fd, buffer, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      io::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  io::close(fd);
  return bytes;
}

void syncFolder(const std::filesystem::path& folder) { io::syncFolder(folder); }

} // namespace

std::optional<std::string> readFileBytes(const std::filesystem::path& path) {
  const int fd = openRegularFile(path);
  if (fd < 0) return std::nullopt;
  return readFromDescriptor(fd, SIZE_MAX);
}

std::optional<std::string> readFileHead(const std::filesystem::path& path, std::size_t maxBytes) {
  const int fd = openRegularFile(path);
  if (fd < 0) return std::nullopt;
  return readFromDescriptor(fd, maxBytes);
}

std::optional<TextLines> readTextLines(const std::filesystem::path& path) {
  auto bytes = readFileBytes(path);
  if (!bytes) return std::nullopt;
  TextLines result;
  result.lastLineEnded = bytes->empty() || bytes->back() == '\n';
  std::string_view rest(*bytes);
  // 0x0A is never a CP932 trail byte, so lines can be split before decoding.
  while (!rest.empty()) {
    size_t lf = rest.find('\n');
    std::string_view line = rest.substr(0, lf);
    if (lf == std::string_view::npos) {
      rest = {};
    } else {
      rest.remove_prefix(lf + 1);
    }
    // A CR before the LF, or ending a last line that has no LF, is part of
    // the line end: no value of the program holds a CR.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    bool invalid = false;
    result.lines.push_back(cp932ToUtf8(line, &invalid));
    if (invalid) result.hadInvalidBytes = true;
  }
  return result;
}

WriteResult writeTextLines(const std::filesystem::path& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    if (!line.ends_with("\r\n")) text += "\r\n";
  }
  std::string offending;
  auto bytes = utf8ToCp932(text, &offending);
  if (!bytes) return failure(WriteStatus::CannotEncode, offending);
  return writeFileBytes(path, *bytes);
}

namespace {

// A new temporary file beside the target, open for writing (the process's
// umask applies to its mode); -1 with *error set when none can be made.
int createTemporary(const std::filesystem::path& target, std::filesystem::path* temp, int* error) {
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  // The temporary file lies in the target's folder so that the rename
  // cannot cross file systems.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string suffix = ".tmp-" + std::to_string(currentProcessId()) + "-" + std::to_string(gTempCounter.fetch_add(1));
    // A name near the limit (83 Japanese characters are 253 bytes) gets a
    // short temporary name of its own. Counted in UTF-8 bytes on Windows
    // too: a shared folder on a Linux server holds 255 bytes, not 255
    // UTF-16 characters.
    std::filesystem::path name = target.filename();
    if (io::nativeName(name).size() + suffix.size() <= NAME_MAX) name += pathFromUtf8(suffix);
    else name = pathFromUtf8(".~tov" + suffix);
    *temp = folder / name;
    WriterSection section;
    const int fd = io::open(*temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      tellMade(*temp);
      return fd;
    }
    if (errno != EEXIST) {
      *error = errno;
      return -1;
    }
  }
  *error = EEXIST;
  return -1;
}

// Writes, syncs and closes: false with *error set on any failure, also when
// the file on disk is not as long as what was written (a file system that
// reports a short write as success).
bool writeCheckedAndClose(int fd, std::string_view bytes, int* error) {
  bool ok = writeAll(fd, bytes, error);
  io::Stat st {};
  if (ok && io::sync(fd) != 0) {
    *error = errno;
    ok = false;
  }
  if (ok && (io::fstat(fd, &st) != 0 || static_cast<unsigned long long>(st.st_size) != bytes.size())) {
    *error = ENOSPC;
    ok = false;
  }
  if (io::close(fd) != 0 && ok) {
    *error = errno;
    ok = false;
  }
  return ok;
}

void keepOwnerAndMode(int fd, const io::Stat& old) { io::keepOwnerAndMode(fd, old); }

// Puts bytes at the start of the file and cuts it to their length, synced.
bool overwriteFrom(int fd, std::string_view bytes, int* error) {
  if (io::seek(fd, 0, SEEK_SET) != 0) {
    *error = errno;
    return false;
  }
  if (!writeAll(fd, bytes, error)) return false;
  if (io::truncate(fd, static_cast<long long>(bytes.size())) != 0 || io::sync(fd) != 0) {
    *error = errno;
    return false;
  }
  return true;
}

// Writes the bytes into the file itself (for a file with several names, so
// that every name shows them), all or nothing: the room for the new size is
// reserved first, what was written is read back, and on any failure the old
// bytes go back in place (their blocks are still the file's). A failure
// says whether the old content stayed.
bool writeInPlace(const std::filesystem::path& target, std::string_view bytes, int* error, bool* oldKept) {
  *oldKept = true;
  const int fd = io::open(target, O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  const auto old = readFromDescriptor(io::dup(fd), SIZE_MAX);
  if (!old) {
    *error = EIO;
    io::close(fd);
    return false;
  }
  // A file system that cannot reserve (EOPNOTSUPP) is written without it:
  // the old bytes are restored if it runs out of room.
  if (bytes.size() > old->size() &&
      io::reserve(fd, static_cast<long long>(bytes.size())) != 0 && errno != EOPNOTSUPP &&
      errno != ENOSYS) {
    *error = errno;
    io::close(fd);
    return false;
  }
  bool ok = overwriteFrom(fd, bytes, error);
  if (ok) {
    io::Stat st {};
    std::string back(bytes.size(), '\0');
    ok = io::fstat(fd, &st) == 0 && static_cast<unsigned long long>(st.st_size) == bytes.size() &&
         io::readAt(fd, back.data(), back.size(), 0) == static_cast<long long>(back.size()) && back == bytes;
    if (!ok) *error = EIO;
  }
  if (!ok) {
    int ignored = 0;
    const long long hook = gFailAfterBytes;
    gFailAfterBytes = -1;  // the test hook fails the new bytes, not the old
    *oldKept = overwriteFrom(fd, *old, &ignored);
    gFailAfterBytes = hook;
  }
  if (io::close(fd) != 0 && ok) {
    *error = errno;
    ok = false;
  }
  return ok;
}

const char* kindName(mode_t mode) {
  if (S_ISDIR(mode)) return "フォルダです";
  if (S_ISFIFO(mode)) return "名前付きパイプ(FIFO)です";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "デバイスです";
  if (S_ISSOCK(mode)) return "ソケットです";
  return "通常のファイルではありません";
}

} // namespace

std::string failureReason(int error) {
  switch (error) {
  case ENOSPC: return "ディスクの空きが足りません";
  case EDQUOT: return "ディスクの使用量の上限を超えます";
  case EACCES:
  case EPERM: return "書き込みの権限がありません";
  case EROFS: return "読み取り専用のファイルシステムです";
  case ENOENT: return "フォルダがありません";
  case ENOTDIR: return "フォルダ名が異常です";
  case EISDIR: return "フォルダです";
  case EFBIG: return "ファイルが大きすぎます";
  case ENAMETOOLONG: return "ファイル名が長すぎます";
  case EIO: return "入出力エラーです";
  case EBUSY: return "ほかのプログラムが使用中です";
  default: return std::strerror(error);
  }
}

std::string refusedTargetReason(const std::filesystem::path& path) {
  io::Stat st {};
  if (io::stat(path, &st) != 0 || S_ISREG(st.st_mode)) return {};
  return kindName(st.st_mode);
}

WriteResult writeFileBytes(const std::filesystem::path& path, std::string_view bytes) {
  const std::filesystem::path target = replacedFile(path);
  if (target.filename().empty()) return failure(WriteStatus::CannotCreate, systemReason(EISDIR));

  io::Stat old {};
  bool existed = io::stat(target, &old) == 0;
  // A FIFO, a device or a folder is never replaced by a file.
  if (existed && !S_ISREG(old.st_mode)) return failure(WriteStatus::CannotCreate, kindName(old.st_mode));
  // Replacing by rename would get past a read-only file; refuse as an
  // in-place write would.
  if (existed && !io::writable(target)) return failure(WriteStatus::CannotCreate, systemReason(errno));

  int error = 0;
  if (existed && old.st_nlink > 1) {
    // Renaming would split the names: the other names would keep the old
    // content. The file itself is rewritten, all or nothing.
    bool oldKept = true;
    if (!writeInPlace(target, bytes, &error, &oldKept))
      return failure(WriteStatus::WriteFailed,
                     systemReason(error) + (oldKept ? " (元の内容のままです)" : " (元の内容に戻せませんでした)"));
    return {};
  }
  std::filesystem::path temp;
  const int fd = createTemporary(target, &temp, &error);
  if (fd < 0) return failure(WriteStatus::CannotCreate, systemReason(error));
  if (existed) keepOwnerAndMode(fd, old);
  bool ok = writeCheckedAndClose(fd, bytes, &error);
  if (ok) {
    WriterSection section;
    if (io::replace(temp, target) != 0) {
      error = errno;
      ok = false;
    } else {
      tellGone(temp);
    }
  }
  if (!ok) {
    removeFile(temp);
    tellGone(temp);
    return failure(WriteStatus::WriteFailed, systemReason(error));
  }
  syncFolder(target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path());
  return {};
}

OutputBatch::~OutputBatch() { discard(); }

void OutputBatch::setTemporaryHooks(std::function<void(const std::string&)> made,
                                    std::function<void(const std::string&)> gone) {
  made_ = std::move(made);
  gone_ = std::move(gone);
}

bool OutputBatch::fail(const std::filesystem::path& file, std::string reason) {
  if (failedFile_.empty()) {
    failedFile_ = file;
    reason_ = std::move(reason);
  }
  discard();
  return false;
}

bool OutputBatch::add(const std::filesystem::path& path, std::string_view bytes) {
  if (!failedFile_.empty()) return false;
  const std::filesystem::path target = replacedFile(path);
  if (target.filename().empty()) return fail(path, failureReason(EISDIR));
  if (std::string refused = refusedTargetReason(target); !refused.empty()) return fail(path, refused);
  io::Stat old {};
  const bool existed = io::stat(target, &old) == 0;
  if (existed && !io::writable(target)) return fail(path, failureReason(errno));
  Staged staged{target, {}};
  int error = 0;
  int fd = -1;
  {
    WriterSection held;
    fd = createTemporary(target, &staged.temporary, &error);
    if (fd >= 0) {
      if (made_) made_(utf8Path(staged.temporary));
      staged_.push_back(staged);
    }
  }
  if (fd < 0) return fail(path, failureReason(error));
  if (existed) keepOwnerAndMode(fd, old);
  if (!writeCheckedAndClose(fd, bytes, &error)) return fail(path, failureReason(error));
  return true;
}

bool OutputBatch::commit() {
  if (!failedFile_.empty()) return false;
  // Checked again: a target may have become a FIFO or a device meanwhile.
  for (const Staged& s : staged_)
    if (std::string refused = refusedTargetReason(s.target); !refused.empty()) return fail(s.target, refused);
  WriterSection held;
  while (!staged_.empty()) {
    const Staged s = staged_.front();
    if (io::replace(s.temporary, s.target) != 0) return fail(s.target, failureReason(errno));
    staged_.erase(staged_.begin());
    tellGone(s.temporary);
    if (gone_) gone_(utf8Path(s.temporary));
    syncFolder(s.target.parent_path().empty() ? std::filesystem::path(".") : s.target.parent_path());
  }
  return true;
}

void OutputBatch::discard() {
  for (const Staged& s : staged_) {
    removeFile(s.temporary);
    tellGone(s.temporary);
    if (gone_) gone_(utf8Path(s.temporary));
  }
  staged_.clear();
}

void setTemporaryListener(void (*made)(const char*), void (*gone)(const char*)) {
  gMade.store(made);
  gGone.store(gone);
}

WriterSection::WriterSection() {
  io::holdSignals(previous_);
  gSections.fetch_add(1);
  // The process is ending on an interrupt handled on another thread: this
  // writer starts nothing more (its signals stay held until the end).
  while (gStopping.load()) {
    gSections.fetch_sub(1);
    io::waitForever();
  }
}

WriterSection::~WriterSection() {
  gSections.fetch_sub(1);
  io::restoreSignals(previous_);
}

void announceTemporary(const std::filesystem::path& path) {
  WriterSection section;
  tellMade(path);
}

void withdrawTemporary(const std::filesystem::path& path) {
  WriterSection section;
  tellGone(path);
}

void stopWritersForInterrupt() {
  gStopping.store(true);
  // A bounded wait: a writer inside its section may need a lock (the
  // allocator's) that the interrupted thread holds, and would never leave
  // it. After two seconds the interrupt goes on: a temporary not yet told
  // may then stay, but the process still ends.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (gSections.load() > 0 && std::chrono::steady_clock::now() < deadline) {
  }
}

void setWriteFailureAfterBytesForTesting(long long bytes) { gFailAfterBytes = bytes; }

} // namespace tov
