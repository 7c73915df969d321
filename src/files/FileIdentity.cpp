#include "files/FileIdentity.h"

#include <sys/stat.h>

#include "files/TextFile.h"

namespace tov {

std::uint64_t contentHash(std::string_view bytes) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ULL;
  }
  return h;
}

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const auto bytes = readFileBytes(path);
  if (!bytes) return std::nullopt;
  FileIdentity id;
  id.size = bytes->size();
  id.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  id.hash = contentHash(*bytes);
  return id;
}

bool changedOnDisk(const std::filesystem::path& path, const FileIdentity& remembered) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;
  if (static_cast<std::uint64_t>(st.st_size) != remembered.size) return true;
  const auto now = identityOf(path);
  // A new time with the same bytes (touched, or saved unchanged) is no change.
  return !now || now->size != remembered.size || now->hash != remembered.hash;
}

std::optional<FileKey> fileKeyOf(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileKey{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<std::filesystem::path> inputAtOutput(const std::filesystem::path& output,
                                                   const std::vector<std::filesystem::path>& inputs) {
  const auto key = fileKeyOf(output);
  if (!key) return std::nullopt;
  for (const auto& input : inputs)
    if (fileKeyOf(input) == key) return input;
  return std::nullopt;
}

} // namespace tov
