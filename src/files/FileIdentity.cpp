#include "files/FileIdentity.h"

#include "files/Platform.h"
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
  const auto facts = fileFacts(path);
  if (!facts || !facts->regular) return std::nullopt;
  const auto bytes = readFileBytes(path);
  if (!bytes) return std::nullopt;
  FileIdentity id;
  id.size = bytes->size();
  id.modifiedNs = facts->modifiedNs;
  id.hash = contentHash(*bytes);
  return id;
}

bool changedOnDisk(const std::filesystem::path& path, const FileIdentity& remembered) {
  const auto facts = fileFacts(path);
  if (!facts || !facts->regular) return true;
  if (facts->size != remembered.size) return true;
  const auto now = identityOf(path);
  // A new time with the same bytes (touched, or saved unchanged) is no change.
  return !now || now->size != remembered.size || now->hash != remembered.hash;
}

std::optional<FileKey> fileKeyOf(const std::filesystem::path& path) {
  const auto facts = fileFacts(path);
  if (!facts) return std::nullopt;
  return FileKey{facts->volume, facts->index};
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
