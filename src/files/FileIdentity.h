#pragma once
// What a document remembers of its file when it opens or saves it, so that
// a change made by someone else is noticed before it is overwritten.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tov {

struct FileIdentity {
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch
  std::uint64_t hash = 0;       // of the bytes
  bool operator==(const FileIdentity&) const = default;
};

// The hash the identity keeps (64-bit FNV-1a).
std::uint64_t contentHash(std::string_view bytes);

// The identity of a regular file, or nothing when it cannot be read. Its
// hash covers no more than a test file is read (kMaxTestFileBytes), so a
// huge file costs no more than a test.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);

// True when the file is no longer what was remembered: changed, replaced or
// removed. A different size is a change at once; otherwise the bytes are
// hashed, so a same-size rewrite within one clock tick is caught and a file
// merely touched (a new time, the same bytes) is no change. A file longer
// than the hashed bytes is changed also when its time is another.
bool changedOnDisk(const std::filesystem::path& path, const FileIdentity& remembered);

// The file a path names as the system knows it: its device and inode, so
// that hard links and other spellings of one file have one key (a symbolic
// link is followed). Nothing when there is no such file.
struct FileKey {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileKey&) const = default;
};
std::optional<FileKey> fileKeyOf(const std::filesystem::path& path);

// The rule every command keeps before it writes anything: every file it
// reads is an input, and no output may be an input (the same file by
// identity: another spelling, a symbolic or a hard link) nor another output
// (the same file, or the same name once made; on Windows in any case).
struct OutputClash {
  std::filesystem::path output;
  std::filesystem::path other;  // the input, or the other output
  bool otherIsOutput = false;
};
std::optional<OutputClash> findOutputClash(const std::vector<std::filesystem::path>& inputs,
                                           const std::vector<std::filesystem::path>& outputs);
// What the user is told of a clash (nothing was written).
std::string outputClashText(const OutputClash& clash);

} // namespace tov
