#pragma once
// The program's main job without a window: exporting a test's pages to PDF
// or PNG, and printing a summary of a test, from the command line.
namespace tov {

// True when the arguments hold an option of the export command line (any
// option the table of the command line gives to it: --export-pdf, --paper,
// --help, ...).
bool isCommandLineJob(int argc, char** argv);
// Runs it; the process exit code (0 on success). Needs no display.
int runCommandLineJob(int argc, char** argv);

} // namespace tov
