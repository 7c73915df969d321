#include "cli/ImportCommandLine.h"

#include <string>
#include <vector>

#include "files/Settings.h"
#include "cli/ImportReadingsCommand.h"
#include "record/Messages.h"

namespace tov {

int runImportCommandLine(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  // Named profiles live in the install folder; finding it reads nothing else.
  std::filesystem::path folder;
  for (std::size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--profile") {
      TestRecord scratch;
      Settings settings(scratch);
      settings.loadSettings(false);
      folder = settings.installFolderPath();
    }
  return logger::runImportCommand(args, folder);
}

} // namespace tov
