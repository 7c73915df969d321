#pragma once
// The table of many tests for the report: one row per test (file, survey,
// place, No., date, depths, L, D, method, formula, a, k as recorded and k
// computed again), written as CSV (UTF-8 with a byte-order mark, or CP932)
// or as an Excel workbook (.xlsx).
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/Analysis.h"
#include "record/TestRecord.h"

namespace tov {

// One cell: its text as the CSV holds it, and how a workbook stores it.
struct TableCell {
  enum class Kind { Text, Number, Exponent };  // Exponent: a number shown as 2.15E-06
  std::string text;
  Kind kind = Kind::Text;
  double value = 0;
  bool operator==(const TableCell&) const = default;
};

struct SummaryTable {
  std::vector<std::string> header;
  std::vector<std::vector<TableCell>> rows;
};

// The formula's name by its number (0..4; any other number "不明").
const char* formulaDisplayName(int kind);

// A whole decimal number ("1.5", "-6", "1.50E-5") and nothing else, read
// without the locale; leading and trailing blanks are allowed.
std::optional<double> parseWholeNumber(std::string_view text);

// The columns of a row.
enum SummaryColumn : int {
  SC_file, SC_surveyName, SC_surveyLocation, SC_testIdNumber, SC_testDate, SC_depthFrom, SC_depthTo,
  SC_sectionLength, SC_boreDiameter, SC_testMethod, SC_formula, SC_gradient, SC_kRecorded, SC_kRecomputed,
  SC_r2, SC_suggestedRows, SC_suggestedK, SC_kLow, SC_kHigh, SC_warnings,
  // After the older columns: each type curve's k, its 95 % interval, Ss and
  // the residual (CBP, then KGS).
  SC_cbpK, SC_cbpKLow, SC_cbpKHigh, SC_cbpStorage, SC_cbpResidual,
  SC_kgsK, SC_kgsKLow, SC_kgsKHigh, SC_kgsStorage, SC_kgsResidual,
};

// The header of the table.
std::vector<std::string> summaryHeader();
// A test's row; fileName is the name shown in the first column, digits the
// k digits of the settings (for k computed again). The analysis gives R² of
// the chosen points' segment, the suggested segment's rows, its k and the
// 95 % interval of that k, and the checks' warnings; then the type curves'
// K, interval, Ss and residual (a curve not found: why, in its k column).
std::vector<TableCell> summaryRow(const TestRecord& record, const std::string& fileName, int digits,
                                  const AnalysisSettings& analysis = {});

// The table as CSV text (UTF-8, CR LF line ends, fields quoted where they
// hold a comma, a quote or a line break).
std::string csvText(const SummaryTable& table);

enum class CsvEncoding { Utf8WithBom, Cp932 };
enum class TableFormat { Csv, Xlsx };
// The format by the file's extension (.csv, .xlsx, case-insensitive).
std::optional<TableFormat> tableFormatOf(const std::filesystem::path& path);

// Writes the table; the file appears only when complete. "" on success,
// else the reason. In CP932 a character it cannot hold fails the write.
std::string writeCsv(const std::filesystem::path& path, const SummaryTable& table, CsvEncoding encoding);
// One sheet "一覧": the header row frozen, columns sized to their texts,
// numbers as numbers, k in exponent format. Every cell is one the
// spreadsheet opens: a number that is not finite is written as its text,
// bytes that are not UTF-8 as "\x82", a text beyond 32,767 characters cut;
// each says so in *notes (for standard error or a box).
std::string writeXlsx(const std::filesystem::path& path, const SummaryTable& table,
                      std::vector<std::string>* notes = nullptr);

} // namespace tov
