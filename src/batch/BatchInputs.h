#pragma once
// The tests a batch works on: files as given, and the ".tvd" files of
// folders (sorted by name; subfolders too when asked).
#include <filesystem>
#include <string>
#include <vector>

namespace tov {

struct BatchInputs {
  std::vector<std::filesystem::path> tests;  // in the order given, each folder's sorted by name
  std::vector<std::string> problems;         // "NAME: reason" for inputs that cannot be used
};

// A test's file name: the extension ".tvd" in any case.
bool isTestFileName(const std::filesystem::path& path);

BatchInputs collectTests(const std::vector<std::filesystem::path>& inputs, bool recursive);

// Output names for the tests: the file name without its extension, made
// unique ("a", "a (2)") when two folders hold tests of the same name.
std::vector<std::string> uniqueOutputNames(const std::vector<std::filesystem::path>& tests);

} // namespace tov
