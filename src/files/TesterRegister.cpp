#include "files/TesterRegister.h"

#include "files/TextFile.h"
#include "record/Messages.h"

namespace tov {

std::optional<std::vector<std::string>> readTesterRegister(const std::filesystem::path& path,
                                                           std::size_t maxNames) {
  auto text = readTextLines(path);
  if (!text) return std::nullopt;
  std::vector<std::string> names = std::move(text->lines);
  if (maxNames > 0 && names.size() > maxNames) names.resize(maxNames);
  return names;
}

bool writeTesterRegister(const std::filesystem::path& path, const std::vector<std::string>& names) {
  std::vector<std::string> lines;
  lines.reserve(names.size());
  for (const auto& name : names) {
    // One name per line: a line break inside a name would split it in two.
    std::string line;
    for (char c : name)
      if (c != '\r' && c != '\n') line += c;
    if (!line.empty()) lines.push_back(std::move(line));
  }
  const WriteResult result = writeTextLines(path, lines);
  if (result.status == WriteStatus::CannotEncode) reportMessage(IDS_CANNOT_ENCODE, result.detail);
  return result.ok();
}

} // namespace tov
