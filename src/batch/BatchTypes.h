#pragma once
// What a batch run made of each test, and of the whole run: the plain data
// the batch command hands back and the batch window lists.
#include <filesystem>
#include <string>
#include <vector>

#include "batch/SummaryTable.h"

namespace tov {

// What became of one test.
struct BatchTestResult {
  int index = 0;                  // in BatchOptions::tests
  std::filesystem::path file;
  bool ok = false;
  std::string reason;             // why it failed (the messages of reading or writing)
  std::string warnings;           // what reading it said, and the checks
  std::string readNotes;          // what reading it said alone (a file cut short or beyond a test)
  std::vector<TableCell> row;     // its row of the summary table (ok only)
  int pages = 0;
  std::vector<std::filesystem::path> written;  // its own output files
};

struct BatchResult {
  std::vector<BatchTestResult> tests;  // in the order of the tests (those done before a cancel)
  std::vector<std::string> failures;   // the combined PDF or the table could not be written
  std::vector<std::string> notes;      // what writing the table changed to make every cell valid
  bool cancelled = false;
  int failedTests() const;
  bool allDone() const { return failures.empty() && !cancelled && failedTests() == 0; }
};

} // namespace tov
