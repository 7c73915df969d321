#pragma once
// tov --import-readings: a logger's export into a new test file, without a
// window (the engine is import/LoggerImport).
namespace tov {
int runImportCommandLine(int argc, char** argv);
} // namespace tov
