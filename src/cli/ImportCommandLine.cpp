#include "cli/ImportCommandLine.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "files/FileIdentity.h"
#include "files/Platform.h"
#include "files/Settings.h"
#include "cli/ImportReadingsCommand.h"
#include "cli/InterruptCleanup.h"
#include "files/Platform.h"
#include "import/LoggerImport.h"
#include "record/Messages.h"

namespace tov {

int runImportCommandLine(int argc, char** argv) {
  const std::vector<std::string> args = commandArguments(argc, argv);
  // Named profiles live in the install folder; finding it reads nothing else.
  std::filesystem::path folder;
  for (std::size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--profile") {
      TestRecord scratch;
      Settings settings(scratch);
      settings.loadSettings(false);
      folder = settings.installFolderPath();
    }
  // The new test never goes over a file the import reads: the logger's
  // file, the profile (as named or as found in the install folder), the
  // template (--into) or the barometer's file (--baro); by file identity,
  // so another spelling or a link is the same file.
  std::vector<std::filesystem::path> inputs;
  std::vector<std::filesystem::path> outputs;
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--import-readings" || option == "--profile" || option == "--into" || option == "--baro")
      inputs.push_back(pathFromUtf8(args[i + 1]));
    if (option == "--profile") inputs.push_back(logger::profileFolder(folder) / pathFromUtf8(args[i + 1] + ".txt"));
    if (option == "--output") outputs.push_back(pathFromUtf8(args[i + 1]));
  }
  if (const auto clash = findOutputClash(inputs, outputs)) {
    std::fprintf(stderr, "tov: %s\n", escapedControls(outputClashText(*clash), false).c_str());
    return 1;
  }
  // An interrupt (a logout's SIGTERM) while the test is written leaves no
  // temporary beside it.
  InterruptCleanup guard;
  return logger::runImportCommand(args, folder);
}

} // namespace tov
