#pragma once
// tov --import-readings: its options read and the import run with them (the
// engine is import/LoggerImport). Qt-free.
#include <filesystem>
#include <string>
#include <vector>

namespace tov::logger {

// True when the arguments ask for --import-readings.
bool isImportCommand(int argc, char** argv);
// Runs it; the exit code. installFolder finds named profiles (may be empty).
int runImportCommand(const std::vector<std::string>& args, const std::filesystem::path& installFolder);

} // namespace tov::logger
