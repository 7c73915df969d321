// The program's entry: the command-line exporter when export options are
// given, otherwise the desktop application.
#include "cli/Exporter.h"
#include "app/TovApp.h"
#include "cli/ImportCommandLine.h"
#include "cli/ImportReadingsCommand.h"
#include "files/Platform.h"

int main(int argc, char** argv) {
  tov::useUtf8Console();  // the jobs' lines and messages are UTF-8
  if (tov::logger::isImportCommand(argc, argv)) return tov::runImportCommandLine(argc, argv);
  if (tov::isCommandLineJob(argc, argv)) return tov::runCommandLineJob(argc, argv);
  return tov::runDesktopApplication(argc, argv);
}
