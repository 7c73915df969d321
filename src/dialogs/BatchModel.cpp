#include "dialogs/BatchModel.h"

#include <algorithm>
#include <cctype>

#include "files/Platform.h"
#include "record/Messages.h"

namespace fs = std::filesystem;

namespace tov {

namespace {

std::string cellText(const BatchTestResult& r, int column) {
  const auto at = static_cast<std::size_t>(column);
  return at < r.row.size() ? r.row[at].text : std::string();
}

bool endsWithPdf(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return tail == ".pdf";
}

} // namespace

void BatchModel::setTests(std::vector<fs::path> tests) {
  tests_ = std::move(tests);
  results_.clear();
}

BatchButtons BatchModel::buttons(bool working) const {
  const bool haveTests = std::any_of(results_.begin(), results_.end(), [](const auto& r) { return r.ok; });
  return {working, !working, !working && haveTests};
}

BatchRowText BatchModel::rowText(const BatchTestResult& r) {
  BatchRowText t;
  t.number = cellText(r, SC_testIdNumber);
  t.method = cellText(r, SC_testMethod);
  t.k = cellText(r, SC_kRecorded);
  t.warnings = r.ok ? r.warnings : "読めません: " + r.reason;
  t.unreadable = !r.ok;
  return t;
}

std::string BatchModel::workingText(bool listing) { return listing ? "読み込み中..." : "書き出し中..."; }

std::string BatchModel::writeFailureText(const BatchTestResult& r) {
  if (r.ok || r.index < 0) return {};
  return utf8Path(r.file.filename()) + ": " + r.reason;
}

std::string BatchModel::finish(const BatchResult& result, bool listing) {
  const int failed = result.failedTests();
  const std::size_t done = result.tests.size();
  std::string text;
  if (result.cancelled) text = "中止しました (" + std::to_string(done) + " 件済み)";
  else if (listing) text = std::to_string(done - static_cast<std::size_t>(failed)) + " 件の試験を読みました";
  else text = std::to_string(done - static_cast<std::size_t>(failed)) + " 件の試験を書き出しました";
  if (failed > 0) text += " / 読めない試験 " + std::to_string(failed) + " 件";
  if (listing) results_ = result.tests;
  return text;
}

std::vector<fs::path> BatchModel::exportTests() const {
  std::vector<fs::path> tests;
  for (const auto& r : results_)
    if (r.ok) tests.push_back(r.file);
  return tests;
}

fs::path BatchModel::combinedPdfFile(const fs::path& chosen) {
  if (endsWithPdf(utf8Path(chosen))) return chosen;
  fs::path file = chosen;
  file += ".pdf";
  return file;
}

BatchTableTarget BatchModel::tableTarget(BatchTableFilter filter, const fs::path& chosen) {
  BatchTableTarget target{chosen, filter == BatchTableFilter::CsvShiftJis ? CsvEncoding::Cp932 : CsvEncoding::Utf8WithBom};
  if (!tableFormatOf(chosen)) target.file += filter == BatchTableFilter::Xlsx ? ".xlsx" : ".csv";
  return target;
}

SummaryTable BatchModel::summaryTable() const {
  SummaryTable table;
  table.header = summaryHeader();
  for (const auto& r : results_)
    if (r.ok) table.rows.push_back(r.row);
  return table;
}

std::string BatchModel::writeTable(const fs::path& output, CsvEncoding encoding, std::string& status) const {
  const SummaryTable table = summaryTable();
  std::vector<std::string> notes;
  const std::string error =
      tableFormatOf(output) == TableFormat::Xlsx ? writeXlsx(output, table, &notes) : writeCsv(output, table, encoding);
  if (!error.empty()) return utf8Path(output) + ": " + error;
  // What was changed to make every cell one the spreadsheet opens, in one box.
  if (!notes.empty()) {
    std::string text;
    for (const std::string& note : notes) text += (text.empty() ? "" : "\n") + note;
    messageSink().report(text);
  }
  status = "一覧表 (" + std::to_string(table.rows.size()) + " 件) を書き出しました: " + utf8Path(output);
  return {};
}

std::optional<fs::path> BatchModel::testToOpen(int row, bool working) const {
  if (row < 0 || static_cast<std::size_t>(row) >= tests_.size() || working) return std::nullopt;
  return tests_[static_cast<std::size_t>(row)];
}

} // namespace tov
