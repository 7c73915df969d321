#pragma once
// Reading and writing the program's text files: CP932 on disk, UTF-8 in
// memory, CR LF line ends. Writing goes to a temporary file in the same
// folder that is renamed over the target, so a failed write leaves the
// previous file as it was.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tov {

struct TextLines {
  std::vector<std::string> lines;  // UTF-8, line ends (CR LF, LF) removed
  bool hadInvalidBytes = false;    // some bytes were not CP932 (shown as 〓)
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
// Writes bytes as they are, through a temporary file and a rename.
WriteResult writeFileBytes(const std::filesystem::path& path, std::string_view bytes);

// Test hook: when set, writes fail after this many bytes as a full disk
// would (ENOSPC). A negative value turns the hook off.
void setWriteFailureAfterBytesForTesting(long long bytes);

} // namespace tov
