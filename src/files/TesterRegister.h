#pragma once
// The register of testers (M.mst in the install folder): one name per line.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tov {

// The names in file order (line ends removed), or nothing when the file
// cannot be opened. maxNames limits how many are read (0: all).
std::optional<std::vector<std::string>> readTesterRegister(const std::filesystem::path& path,
                                                           std::size_t maxNames = 0);
// Writes the names, each followed by CR LF, skipping empty ones. False when
// the file cannot be written (or a name cannot be held in CP932).
bool writeTesterRegister(const std::filesystem::path& path, const std::vector<std::string>& names);

} // namespace tov
