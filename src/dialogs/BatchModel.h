#pragma once
// The rules of the batch window (一括処理): the tests chosen and what reading
// them gave, which buttons may be pressed, the list's texts, the status line,
// which tests an export takes, the summary table and its file, and which test
// a double click opens. The window keeps only its widgets, the file choosers
// and the worker thread.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "batch/BatchTypes.h"
#include "batch/SummaryTable.h"

namespace tov {

// What may be pressed: 中止 while working; the choosers when not; the
// outputs when not working and at least one test was read.
struct BatchButtons {
  bool cancel = false;
  bool choose = false;
  bool outputs = false;
};

// A test's row in the list (its file name is shown when chosen).
struct BatchRowText {
  std::string number;
  std::string method;
  std::string k;
  std::string warnings;  // also its tool tip
  bool unreadable = false;
};

// The kinds of the table's save chooser, in its order.
enum class BatchTableFilter { Xlsx, CsvUtf8, CsvShiftJis };

struct BatchTableTarget {
  std::filesystem::path file;
  CsvEncoding encoding = CsvEncoding::Utf8WithBom;
};

class BatchModel {
public:
  // The tests found; what was read of earlier ones is dropped.
  void setTests(std::vector<std::filesystem::path> tests);
  const std::vector<std::filesystem::path>& tests() const { return tests_; }
  const std::vector<BatchTestResult>& results() const { return results_; }

  BatchButtons buttons(bool working) const;
  static BatchRowText rowText(const BatchTestResult& result);
  // While reading (listing) or writing.
  static std::string workingText(bool listing);
  // A test that could not be written ("" for one that was).
  static std::string writeFailureText(const BatchTestResult& result);
  // A run ended: what reading it gave is kept (listing), and the status line.
  std::string finish(const BatchResult& result, bool listing);

  // The tests an export writes: those read.
  std::vector<std::filesystem::path> exportTests() const;
  // The combined PDF's file: ".pdf" added when the name lacks it.
  static std::filesystem::path combinedPdfFile(const std::filesystem::path& chosen);
  // The table's file and encoding from the chooser's kind and name: the
  // kind's extension is added when the name has neither .csv nor .xlsx.
  static BatchTableTarget tableTarget(BatchTableFilter filter, const std::filesystem::path& chosen);
  // The summary table of the tests read.
  SummaryTable summaryTable() const;
  // Writes the table (.xlsx or .csv by the name): "" and the status line in
  // `status`, else the message to report.
  std::string writeTable(const std::filesystem::path& output, CsvEncoding encoding, std::string& status) const;

  // The test a double click on a row opens (none while working).
  std::optional<std::filesystem::path> testToOpen(int row, bool working) const;

private:
  std::vector<std::filesystem::path> tests_;
  std::vector<BatchTestResult> results_;
};

} // namespace tov
