#pragma once
// The program's main job without a window: exporting a test's pages to PDF
// or PNG, and printing a summary of a test, from the command line.
namespace tov {

// True when the arguments ask for a command-line job (--export-pdf,
// --export-png, --summary, --help, --version).
bool isCommandLineJob(int argc, char** argv);
// Runs it; the process exit code (0 on success). Needs no display.
int runCommandLineJob(int argc, char** argv);

} // namespace tov
