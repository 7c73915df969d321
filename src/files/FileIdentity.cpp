#include "files/FileIdentity.h"

#include <algorithm>
#include <map>

#include "files/Platform.h"
#include "files/TextFile.h"
#include "files/TvdFile.h"
#include "record/Messages.h"

namespace tov {

namespace {

// As much as a test file is read: a larger file is hashed no further.
constexpr std::size_t kHashedBytes = kMaxTestFileBytes;

} // namespace

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
  const auto bytes = readFileHead(path, kHashedBytes + 1);
  if (!bytes) return std::nullopt;
  FileIdentity id;
  const bool whole = bytes->size() <= kHashedBytes;
  id.size = whole ? bytes->size() : std::max<std::uint64_t>(facts->size, bytes->size());
  id.modifiedNs = facts->modifiedNs;
  id.hash = contentHash(std::string_view(*bytes).substr(0, kHashedBytes));
  return id;
}

bool changedOnDisk(const std::filesystem::path& path, const FileIdentity& remembered) {
  const auto facts = fileFacts(path);
  if (!facts || !facts->regular) return true;
  if (facts->size != remembered.size) return true;
  // Beyond the hashed bytes only the time tells a rewrite of the same size.
  if (facts->size > kHashedBytes && facts->modifiedNs != remembered.modifiedNs) return true;
  const auto now = identityOf(path);
  // A new time with the same bytes (touched, or saved unchanged) is no change.
  return !now || now->size != remembered.size || now->hash != remembered.hash;
}

std::optional<FileKey> fileKeyOf(const std::filesystem::path& path) {
  const auto facts = fileFacts(path);
  if (!facts) return std::nullopt;
  return FileKey{facts->volume, facts->index};
}

namespace {

// The name a path will have once made: absolute, its links resolved as far
// as they exist, "." and ".." gone; folded to one case where the system's
// names are.
std::string comparableName(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(path, ec);
  if (ec) full = path;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(full, ec);
  if (ec) resolved = full;
  std::string name = utf8Path(resolved.lexically_normal());
  while (name.size() > 1 && (name.back() == '/' || name.back() == '\\')) name.pop_back();
#ifdef _WIN32
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
#endif
  return name;
}

} // namespace

std::optional<OutputClash> findOutputClash(const std::vector<std::filesystem::path>& inputs,
                                           const std::vector<std::filesystem::path>& outputs) {
  std::vector<std::optional<FileKey>> inputKeys;
  inputKeys.reserve(inputs.size());
  for (const auto& input : inputs) inputKeys.push_back(fileKeyOf(input));
  std::map<std::string, std::size_t> names;
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> keys;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const std::filesystem::path& output = outputs[i];
    const auto key = fileKeyOf(output);
    if (key) {
      for (std::size_t k = 0; k < inputs.size(); ++k)
        if (inputKeys[k] == key) return OutputClash{output, inputs[k], false};
      const auto [at, fresh] = keys.emplace(std::pair{key->device, key->inode}, i);
      if (!fresh) return OutputClash{output, outputs[at->second], true};
    }
    const auto [at, fresh] = names.emplace(comparableName(output), i);
    if (!fresh) return OutputClash{output, outputs[at->second], true};
  }
  return std::nullopt;
}

std::string outputClashText(const OutputClash& clash) {
  const std::string output = shownPath(clash.output), other = shownPath(clash.other);
  if (!clash.otherIsOutput) return messageText(IDS_OUTPUT_IS_INPUT, {output, other});
  return output == other ? messageText(IDS_OUTPUT_NAMED_TWICE, output)
                         : messageText(IDS_OUTPUT_IS_OUTPUT, {output, other});
}

} // namespace tov
