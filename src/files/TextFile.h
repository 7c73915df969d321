#pragma once
// Reading and writing the program's text files: CP932 on disk, UTF-8 in
// memory, CR LF line ends. Writing goes to a temporary file in the same
// folder that is renamed over the target, so a failed write leaves the
// previous file as it was.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tov {

struct TextLines {
  std::vector<std::string> lines;  // UTF-8, line ends (CR LF, LF) removed
  bool hadInvalidBytes = false;    // some bytes were not CP932 (shown as 〓)
  bool lastLineEnded = true;       // the last line had its line end (a file cut short has not)
};

// Whole lines, never truncated. Nothing when the file cannot be opened or
// is not a regular file (a directory, a FIFO, a device): such a file is
// refused before it is opened, so reading never waits for a writer.
std::optional<TextLines> readTextLines(const std::filesystem::path& path);
// The raw bytes of a regular file, or nothing.
std::optional<std::string> readFileBytes(const std::filesystem::path& path);
// The first maxBytes bytes of a regular file (fewer when it is shorter), or
// nothing.
std::optional<std::string> readFileHead(const std::filesystem::path& path, std::size_t maxBytes);

enum class WriteStatus { Ok, CannotEncode, CannotCreate, WriteFailed };
struct WriteResult {
  WriteStatus status = WriteStatus::Ok;
  std::string detail;  // the offending character, or the system's reason
  bool ok() const { return status == WriteStatus::Ok; }
};

// Writes each line followed by CR LF (a line that already ends with CR LF
// gets no second one), converted to CP932.
WriteResult writeTextLines(const std::filesystem::path& path, const std::vector<std::string>& lines);
// Writes bytes as they are, through a temporary file and a rename. The
// file keeps its mode and, where the user may set it, its owner and group.
// A file with more than one name (a hard link) is written through, so every
// name keeps showing the new content. A target that exists but is not a
// regular file (a folder, a FIFO, a device) is refused and left as it is.
WriteResult writeFileBytes(const std::filesystem::path& path, std::string_view bytes);

// The reason of a system error in the user's words ("ディスクの空きが足りません").
std::string failureReason(int error);
// Why a file cannot be written at the path: a target that exists but is
// not a regular file; "" when it is one or does not exist yet.
std::string refusedTargetReason(const std::filesystem::path& path);

// Several output files written all or nothing (the pages of an export).
// Each file goes to a temporary beside its target, is checked (every byte
// written, the size on disk what was written, synced and closed) and is
// renamed over its target only by commit(), once all were written. A batch
// that is not committed removes its temporaries.
class OutputBatch {
public:
  OutputBatch() = default;
  ~OutputBatch();
  OutputBatch(const OutputBatch&) = delete;
  OutputBatch& operator=(const OutputBatch&) = delete;

  // Called with each temporary's path as soon as it exists (an interrupt
  // handler removes it), and when it is renamed or removed.
  void setTemporaryHooks(std::function<void(const std::string&)> made, std::function<void(const std::string&)> gone);
  // Writes one file's bytes to its temporary. False, with failedFile() and
  // reason() set, when it could not; the batch then stays failed.
  bool add(const std::filesystem::path& target, std::string_view bytes);
  // Renames every temporary over its target; false as add.
  bool commit();
  // Removes every temporary not renamed yet.
  void discard();

  const std::filesystem::path& failedFile() const { return failedFile_; }
  const std::string& reason() const { return reason_; }

private:
  struct Staged {
    std::filesystem::path target, temporary;
  };
  bool fail(const std::filesystem::path& file, std::string reason);
  std::vector<Staged> staged_;
  std::function<void(const std::string&)> made_, gone_;
  std::filesystem::path failedFile_;
  std::string reason_;
};

// Every temporary of every writer is told to a listener the application
// sets once (the list an interrupt handler removes), and untold when it is
// renamed or removed. The listener is called with every signal held.
void setTemporaryListener(void (*made)(const char* path), void (*gone)(const char* path));

// A stretch in which a writer makes a temporary and tells the listener, or
// renames a batch into place: the calling thread's signals are held, and
// an interrupt handled on another thread waits for it (see
// stopWritersForInterrupt). A temporary a library makes under a name of
// ours is made inside one, after announceTemporary.
class WriterSection {
public:
  WriterSection();
  ~WriterSection();
  WriterSection(const WriterSection&) = delete;
  WriterSection& operator=(const WriterSection&) = delete;

private:
  unsigned long long previous_[16];  // the signal mask (sigset_t) before
};
void announceTemporary(const std::filesystem::path& path);
void withdrawTemporary(const std::filesystem::path& path);

// For an interrupt handler, async-signal-safe: keeps writers from starting
// a new section and waits until none is in one (two seconds at most), so
// that every temporary that exists is told and no batch is half renamed.
void stopWritersForInterrupt();

// Test hook: when set, writes fail after this many bytes as a full disk
// would (ENOSPC). A negative value turns the hook off.
void setWriteFailureAfterBytesForTesting(long long bytes);

} // namespace tov
