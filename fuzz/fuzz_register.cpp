// The tester register (M.mst): the names read are written back and read
// again as the same names (empty ones dropped, no line break inside one).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "FuzzSupport.h"
#include "files/TesterRegister.h"

using namespace tov;

namespace {

// A private folder for the rewritten register, removed at exit.
const std::filesystem::path& scratchFolder() {
  static const std::filesystem::path folder = [] {
    std::error_code ec;
    const std::filesystem::path shm("/dev/shm");
    const std::filesystem::path base = std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::temp_directory_path();
    std::filesystem::path f = base / ("tov-fuzz-register-" + std::to_string(::getpid()));
    std::filesystem::create_directories(f);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(scratchFolder(), ignored);
    });
    return f;
  }();
  return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile input;
  fuzz::silenceMessages();

  const auto names = readTesterRegister(input.write(data, size));
  if (!names) return 0;
  std::vector<std::string> expected;
  for (const auto& name : *names) {
    std::string kept;
    for (char c : name)
      if (c != '\r' && c != '\n') kept += c;
    if (!kept.empty()) expected.push_back(kept);
  }
  const std::filesystem::path file = scratchFolder() / "M.mst";
  if (!writeTesterRegister(file, *names)) {
    std::fprintf(stderr, "the names read cannot be written back\n");
    std::abort();
  }
  const auto again = readTesterRegister(file);
  if (!again || *again != expected) {
    std::fprintf(stderr, "the register reads back differently\n");
    std::abort();
  }
  return 0;
}
