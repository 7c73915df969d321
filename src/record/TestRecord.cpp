#include "record/TestRecord.h"

#include <cmath>

#include "record/CFormat.h"

namespace tov {
namespace {

const std::string& emptyText() {
  static const std::string empty;
  return empty;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A derived value as "%g", without a negative zero.
std::string derivedText(double value) {
  std::string text = cformat("%g", value);
  if (text == "-0") text = "0";
  return text;
}

} // namespace

int classifyNumberText(std::string_view text) {
  for (char c : text) {
    if (isBlank(c)) continue;
    if ((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-') return 1;
    return 0;
  }
  return -1;
}

std::string splitFlowText(std::string_view text, int part) {
  if (!isNumberText(text)) return std::string();
  std::size_t e = text.find('E');
  switch (part) {
  case 0:
    if (e == std::string_view::npos || e == 0) return std::string(text);
    return std::string(text.substr(0, e));
  case 1:
    if (e == std::string_view::npos) return std::string();
    return std::string(text.substr(e));
  case 2:
    if (e == std::string_view::npos) return std::string();
    return std::string(text.substr(e + 1));
  default:
    return std::string();
  }
}

// ---------------------------------------------------------------- ReadingTable

const std::string& ReadingTable::cell(int row, int column) const {
  if (row < 1 || row > kRowCount || column < 1 || column > kColumnCount) return emptyText();
  return cells_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(column - 1)];
}

void ReadingTable::setCell(int row, int column, std::string text) {
  if (row < 1 || row > kRowCount || column < 1 || column > kColumnCount) return;
  cells_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(column - 1)] = std::move(text);
}

void ReadingTable::clear() {
  for (auto& row : cells_)
    for (auto& c : row) c.clear();
}

// ------------------------------------------------------------------ TestRecord

TestRecord::TestRecord() = default;

const std::string& TestRecord::field(int number) const {
  if (number < 1 || number > kFieldCount) return emptyText();
  return fields_[static_cast<std::size_t>(number - 1)];
}

void TestRecord::setField(int number, std::string text) {
  if (number < 1 || number > kFieldCount) return;
  fields_[static_cast<std::size_t>(number - 1)] = std::move(text);
}

double TestRecord::fieldValue(int number) const { return toDouble(field(number)); }

int TestRecord::fieldInt(int number) const { return toInt(field(number)); }

bool TestRecord::fieldIsNumber(int number) const { return isNumberText(field(number)); }

int TestRecord::countRows(int column) const {
  if (column < 1 || column > kColumnCount) return 0;
  int n = 0;
  while (n < kRowCount && isNumberText(cell(n + 1, column))) ++n;
  return n;
}

int TestRecord::lastRowWithText() const {
  for (int row = kRowCount; row >= 1; --row)
    for (int column = 1; column <= kColumnCount; ++column)
      if (!cell(row, column).empty()) return row;
  return 0;
}

void TestRecord::deriveReadingRow(int row) {
  if (row < 1 || row > kRowCount) return;
  if (!isNumberText(cell(row, C_time)) || !isNumberText(cell(row, C_pipeLevel))) {
    setCell(row, C_level, std::string());
    setCell(row, C_headDifference, std::string());
    return;
  }
  const double h = fieldValue(F_pipeTopHeight) - toDouble(cell(row, C_pipeLevel));
  const double s = std::fabs(fieldValue(F_equilibriumLevel) - h);
  setCell(row, C_level, derivedText(h));
  setCell(row, C_headDifference, derivedText(s));
}

void TestRecord::deriveAllRows() {
  const int n = countRows(C_time);
  for (int row = 1; row <= n; ++row) deriveReadingRow(row);
}

void TestRecord::clearRecord() {
  for (auto& f : fields_) f.clear();
  readings.clear();
}

void TestRecord::fillScaleDefaults(const HeadingDefaults& defaults) {
  auto unset = [this](int number) { return !fieldIsNumber(number); };
  auto fill = [&](int number, const char* text) {
    if (unset(number)) setField(number, text);
  };
  // Unset, or a value not at least `limit` (a text that reads as NaN counts
  // as below, so the axis always gets a usable value).
  auto below = [&](int number, double limit) { return unset(number) || !(fieldValue(number) >= limit); };

  // First graph, time axis.
  fill(F_graphATimeFrom, "0");
  if (unset(F_graphATimeTo)) {
    setField(F_graphATimeTo, "1000");
    fill(F_graphATimeStep, "500");
    fill(F_graphATimeGrid1, "500");
  }

  // First graph, value axis (log s for the unsteady method, Q for the steady one).
  if (fieldInt(F_formulaKind) == 4) {
    fill(F_graphAValueFrom, "0");
  } else {
    if (below(F_graphAValueFrom, 1e-7)) setField(F_graphAValueFrom, "0.1");
    if (below(F_graphAValueTo, 0.001)) setField(F_graphAValueTo, "10");
    fill(F_graphAValueGrid2, "4");
  }

  // Second graph, time axis.
  fill(F_graphBTimeFrom, "0");
  if (unset(F_graphBTimeTo)) {
    setField(F_graphBTimeTo, "10000");
    fill(F_graphBTimeStep, "5000");
    fill(F_graphBTimeGrid1, "5000");
  }

  // Second graph, level axis.
  fill(F_graphBLevelFrom, "-10");
  if (unset(F_graphBLevelTo)) {
    setField(F_graphBLevelTo, "10");
    fill(F_graphBLevelStep, "10");
    fill(F_graphBLevelGrid1, "10");
  }

  fill(F_grid2WhenGrid1Small, "1");

  // Preview graphs of the readings editors, and the four kept fields after them.
  fill(F_previewTimeFrom, "0");
  fill(F_previewTimeTo, "10000");
  fill(F_previewLevelBottom, "-20");
  fill(F_previewLevelTop, "20");
  fill(76, "0");
  fill(77, "10000");
  fill(78, "-20");
  fill(79, "20");

  // Titles and labels: only where nothing at all was entered.
  auto fillText = [this](int number, const std::string& text) {
    if (field(number).empty()) setField(number, text);
  };
  fillText(F_graphTitle, defaults.graphTitle);
  fillText(F_tableTitle, defaults.tableTitle);
  fillText(F_surveyNameLabel, defaults.surveyNameLabel);
  fillText(F_surveyLocationLabel, defaults.surveyLocationLabel);
  fillText(F_testIdNumberLabel, defaults.testIdNumberLabel);
  fillText(F_contractorName, defaults.contractorName);

  fill(F_showGeology, "0");
  fill(F_showNValue, "0");
}

TestRecord& theRecord() {
  static TestRecord record;
  return record;
}

} // namespace tov
