#include "cli/ImportCommandLine.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "files/FileIdentity.h"
#include "files/Platform.h"
#include "files/Settings.h"
#include "cli/ImportReadingsCommand.h"
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
  // The new test never goes over the logger's file or the profile it reads
  // (by file identity: another spelling or a link is the same file).
  std::vector<std::filesystem::path> inputs;
  std::optional<std::filesystem::path> output;
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--import-readings" || args[i] == "--profile") inputs.push_back(pathFromUtf8(args[i + 1]));
    if (args[i] == "--output") output = pathFromUtf8(args[i + 1]);
  }
  if (output)
    if (const auto input = inputAtOutput(*output, inputs)) {
      const std::string text = messageText(IDS_OUTPUT_IS_INPUT, {utf8Path(*output), utf8Path(*input)});
      std::fprintf(stderr, "tov: %s\n", escapedControls(text, false).c_str());
      return 1;
    }
  return logger::runImportCommand(args, folder);
}

} // namespace tov
