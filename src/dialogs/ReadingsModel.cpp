#include "dialogs/ReadingsModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <tuple>
#include <utility>

#include "analysis/AutoScales.h"
#include "dialogs/FieldCheck.h"
#include "record/CFormat.h"
#include "record/Messages.h"

namespace tov {

namespace {

bool isBlankText(std::string_view text) { return classifyNumberText(text) < 0; }

// Control characters (a pasted tab or line end, a bell) never reach a cell.
std::string withoutControls(std::string text) {
  std::erase_if(text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
  return text;
}

// A clock time as the field books write it: hours, ":" or ".", two digits
// of minutes below 60; blanks around it allowed.
bool isClockText(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  const std::size_t mark = text.find_first_of(":.");
  if (mark == std::string_view::npos || mark == 0 || mark > 2 || text.size() != mark + 3) return false;
  auto digits = [](std::string_view part) {
    return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  return digits(text.substr(0, mark)) && digits(text.substr(mark + 1)) && text[mark + 1] < '6';
}

// The reading-table column a grid column is stored in (the two parts of Q
// are stored together).
int tableColumnOf(ReadingColumn kind) {
  switch (kind) {
  case ReadingColumn::Time: return C_time;
  case ReadingColumn::PipeLevel: return C_pipeLevel;
  case ReadingColumn::ClockTime: return C_clockTime;
  case ReadingColumn::FlowMantissa:
  case ReadingColumn::FlowExponent: return C_flow;
  }
  return 0;
}

// One pasted line as cells: tab-separated when it holds a tab, else
// comma-separated; a cell in double quotes may hold the separator ("" is a
// quote); blanks around a cell are dropped. At most maxCells + 1 cells are
// split off (enough to tell that a line has too many).
std::vector<std::string> splitPastedLine(std::string_view line, std::size_t maxCells) {
  const char separator = line.find('\t') != std::string_view::npos ? '\t' : ',';
  std::vector<std::string> cells;
  std::size_t i = 0;
  while (cells.size() <= maxCells) {
    while (i < line.size() && line[i] == ' ') ++i;
    std::string cell;
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            cell += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        cell += line[i++];
      }
      while (i < line.size() && line[i] != separator) ++i;
    } else {
      const std::size_t end = std::min(line.find(separator, i), line.size());
      cell.assign(line.substr(i, end - i));
      while (!cell.empty() && cell.back() == ' ') cell.pop_back();
      i = end;
    }
    cells.push_back(std::move(cell));
    if (i >= line.size()) break;
    ++i;  // the separator
  }
  return cells;
}

} // namespace

ReadingsModel::ReadingsModel(ReadingsMethod method) : method_(method) {
  if (method == ReadingsMethod::Steady)
    columns_ = {ReadingColumn::Time, ReadingColumn::PipeLevel, ReadingColumn::FlowMantissa,
                ReadingColumn::FlowExponent, ReadingColumn::ClockTime};
  else
    columns_ = {ReadingColumn::Time, ReadingColumn::PipeLevel, ReadingColumn::ClockTime};
  const int exponent = columnOf(ReadingColumn::FlowExponent);
  if (exponent) entries_[static_cast<std::size_t>(exponent - 1)] = exponentChoices()[0];
}

ReadingColumn ReadingsModel::columnKind(int column) const {
  if (column < 1 || column > columnCount()) return ReadingColumn::Time;
  return columns_[static_cast<std::size_t>(column - 1)];
}

int ReadingsModel::columnOf(ReadingColumn kind) const {
  for (int c = 1; c <= columnCount(); ++c)
    if (columnKind(c) == kind) return c;
  return 0;
}

const char* ReadingsModel::columnTitle(int column) const {
  switch (columnKind(column)) {
  case ReadingColumn::Time: return "t";
  case ReadingColumn::PipeLevel: return "h'";
  case ReadingColumn::FlowMantissa: return "Q";
  case ReadingColumn::FlowExponent: return "指数";
  case ReadingColumn::ClockTime: return "時刻";
  }
  return "";
}

int ReadingsModel::columnWidth(int column) const {
  if (method_ == ReadingsMethod::Unsteady) return 80;
  switch (columnKind(column)) {
  case ReadingColumn::Time:
  case ReadingColumn::PipeLevel: return 62;
  case ReadingColumn::FlowMantissa:
  case ReadingColumn::FlowExponent: return 54;
  case ReadingColumn::ClockTime: return 70;
  }
  return 62;
}

const std::vector<std::string>& ReadingsModel::exponentChoices() {
  static const std::vector<std::string> choices{"x1",  "E-1", "E-2", "E-3", "E-4",
                                                "E-5", "E-6", "E-7", "E-8", ""};
  return choices;
}

// ------------------------------------------------------------------ state

const std::string& ReadingsModel::cell(int row, int column) const {
  static const std::string empty;
  if (row < 1 || row > kRows || column < 1 || column > columnCount()) return empty;
  return grid_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(column - 1)];
}

const std::string& ReadingsModel::entry(int column) const {
  static const std::string empty;
  if (column < 1 || column > columnCount()) return empty;
  return entries_[static_cast<std::size_t>(column - 1)];
}

void ReadingsModel::setEntry(int column, std::string text) {
  if (column < 1 || column > columnCount()) return;
  entries_[static_cast<std::size_t>(column - 1)] = std::move(text);
}

void ReadingsModel::clearEntries() {
  autoTime_.clear();
  // The exponent picker keeps its choice: it is a list, not a text field.
  for (int c = 1; c <= columnCount(); ++c)
    if (columnKind(c) != ReadingColumn::FlowExponent) setEntry(c, std::string());
}

int ReadingsModel::lastFilledRow() const {
  for (int row = kRows; row >= 1; --row)
    for (const std::string& text : grid_[static_cast<std::size_t>(row - 1)])
      if (!text.empty()) return row;
  return 0;
}

FocusRequest ReadingsModel::takeFocusRequest() { return std::exchange(focus_, FocusRequest::Unchanged); }

int ReadingsModel::takeRowToShow() { return std::exchange(rowToShow_, 0); }

std::string ReadingsModel::joinedFlow(int row) const {
  const int mantissa = columnOf(ReadingColumn::FlowMantissa);
  const int exponent = columnOf(ReadingColumn::FlowExponent);
  if (!mantissa || !exponent) return std::string();
  const std::string& e = cell(row, exponent);
  return cell(row, mantissa) + (e.find('E') != std::string::npos ? e : std::string());
}

void ReadingsModel::setGridCell(int row, int column, std::string text) {
  if (row < 1 || row > kRows || column < 1 || column > columnCount()) return;
  const ReadingColumn kind = columnKind(column);
  grid_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(column - 1)] = withoutControls(std::move(text));
  marked_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(column - 1)] = false;
  if (kind == ReadingColumn::FlowMantissa || kind == ReadingColumn::FlowExponent)
    working_.setCell(row, C_flow, joinedFlow(row));
  else
    working_.setCell(row, tableColumnOf(kind), cell(row, column));
}

void ReadingsModel::writeEntriesInto(int row) {
  for (int c = 1; c <= columnCount(); ++c) setGridCell(row, c, entry(c));
}

void ReadingsModel::loadEntriesFrom(int row) {
  for (int c = 1; c <= columnCount(); ++c) setEntry(c, cell(row, c));
}

bool ReadingsModel::rowIsEmpty(int row) const {
  for (int c = 1; c <= columnCount(); ++c)
    if (!cell(row, c).empty()) return false;
  return true;
}

double ReadingsModel::timeOf(int row) const { return toDouble(cell(row, 1)); }

int ReadingsModel::rowWithEntryTime(int n) const {
  const double t = toDouble(entry(1));
  for (int row = 1; row <= n; ++row) {
    if (!isNumberText(cell(row, 1))) break;
    if (std::fabs(timeOf(row) - t) < kSameTime) return row;
  }
  return 0;
}

void ReadingsModel::setPickerFromRow(int row) {
  const int exponent = columnOf(ReadingColumn::FlowExponent);
  if (!exponent) return;
  const auto& choices = exponentChoices();
  setEntry(exponent, choices[0]);
  const std::string& text = cell(row, exponent);
  if (!text.empty() && std::find(choices.begin() + 1, choices.end(), text) != choices.end()) setEntry(exponent, text);
}

// --------------------------------------------------------------- operations

void ReadingsModel::openReadings(const ReadingTable& table, std::string pipeTopHeight, std::string equilibriumLevel,
                                 PreviewAxes axes) {
  grid_ = {};
  marked_ = {};
  working_ = TestRecord{};
  working_.set_pipeTopHeight(std::move(pipeTopHeight));
  working_.set_equilibriumLevel(std::move(equilibriumLevel));
  axes_ = std::move(axes);
  openedAxes_ = axes_;
  axesSet_ = false;
  // A new test's pairs follow the readings.
  auto untouched = [](const std::string& from, const std::string& to, double a, double b) {
    return (from.empty() && to.empty()) || (isNumberText(from) && isNumberText(to) && toDouble(from) == a && toDouble(to) == b);
  };
  automatic_[0] = untouched(axes_.timeFrom, axes_.timeTo, 0, 10000);
  automatic_[1] = untouched(axes_.levelBottom, axes_.levelTop, -20, 20);
  // The preview can be drawn at once; the checks with their message come
  // when it is first shown.
  applyPreviewAxes(false);
  int loaded = 0;
  for (int row = 1; row <= kRows; ++row) {
    // A row is shown when it holds anything: a t that is not a number, or
    // a blank t beside other readings, is shown too, so that it can be
    // corrected rather than dropped.
    bool holdsText = false;
    for (int c = 1; c <= kColumnCount; ++c) holdsText = holdsText || !table.cell(row, c).empty();
    if (!holdsText) continue;
    // The row's cells as they are (h and s too, derived again below only
    // where t and h' are numbers; Q stays with its row in the unsteady grid).
    for (int c = 1; c <= kColumnCount; ++c) working_.setCell(row, c, table.cell(row, c));
    for (int c = 1; c <= columnCount(); ++c) {
      const ReadingColumn kind = columnKind(c);
      const std::string& flow = table.cell(row, C_flow);
      std::string text;
      if (kind == ReadingColumn::FlowMantissa)
        text = isNumberText(flow) ? splitFlowText(flow, 0) : flow;  // a Q that is no number stays whole
      else if (kind == ReadingColumn::FlowExponent)
        text = isNumberText(flow) ? splitFlowText(flow, 1) : std::string();
      else
        text = table.cell(row, tableColumnOf(kind));
      setGridCell(row, c, std::move(text));
    }
    // Q split into the grid's two columns and joined again may be spelt
    // differently ("1.5E-005"); the same number keeps the stored text.
    const std::string& stored = table.cell(row, C_flow);
    if (method_ == ReadingsMethod::Steady && working_.cell(row, C_flow) != stored && isNumberText(stored) &&
        toDouble(working_.cell(row, C_flow)) == toDouble(stored))
      working_.setCell(row, C_flow, stored);
    if (isNumberText(table.cell(row, C_time))) deriveRow(row);
    loaded = row;
  }
  entries_ = {};
  setPickerFromRow(loaded);
  autoIncrement_ = true;
  modified_ = false;
  inPlace_ = false;
  currentColumn_ = 1;
  pipeTopKnown_ = isNumberText(working_.pipeTopHeight());
  // The row after the data is shown selected, where the next reading goes;
  // no row is current, so the entries go in with 追加.
  currentRow_ = 0;
  selectedRow_ = loaded < kRows ? loaded + 1 : 0;
  focus_ = FocusRequest::EntryTime;
  rowToShow_ = 0;
}

bool ReadingsModel::validateEntry(bool showMessages) const {
  bool allEmpty = true;
  for (int c = 1; c <= columnCount(); ++c) allEmpty = allEmpty && entry(c).empty();
  if (allEmpty || !isNumberText(entry(1))) {
    if (showMessages) reportMessage(IDS_NO_DATA_OR_BAD);
    return false;
  }
  const double t = toDouble(entry(1));
  if (!(t >= kMinTime && t <= kMaxTime)) {
    if (showMessages) reportMessage(IDS_BAD_NUMBER);
    return false;
  }
  return true;
}

bool ReadingsModel::addReading(bool showMessages) {
  modified_ = true;
  if (!validateEntry(showMessages)) return false;
  const int n = lastFilledRow();
  bool added = false;
  if (n >= kRows) {
    if (showMessages) reportMessage(IDS_MAX_ROWS);
  } else if (rowWithEntryTime(n)) {
    if (showMessages) reportMessage(IDS_SAME_VALUE_EXISTS, "t ");
  } else {
    writeEntriesInto(n + 1);
    rowToShow_ = n + 1;
    currentRow_ = n + 1;
    added = true;
  }
  if (added) {
    clearEntries();
    autoTime_ = nextElapsedTime(currentRow_ + 1);
    setEntry(1, autoTime_);
    setPickerFromRow(n + 1);
    deriveRow(n + 1);
    redrawPreview();
  }
  selectedRow_ = 0;
  // The next reading starts at t, with the automatic increment (if any)
  // there to be kept or typed over.
  focus_ = FocusRequest::EntryTime;
  currentRow_ = 0;
  return added;
}

std::string ReadingsModel::nextElapsedTime(int row) const {
  if (!autoIncrement_ || row < 3 || row > kRows + 1) return std::string();
  const double next = 2.0 * timeOf(row - 1) - timeOf(row - 2);
  if (!(next > 0.01) || !std::isfinite(next)) return std::string();
  // One decimal, whatever the t it repeats: "30.0" after 10 and 20.
  return cformat("%.1f", next);
}

bool ReadingsModel::overwriteReading(bool showMessages) {
  inPlace_ = false;
  if (!validateEntry(showMessages)) return false;
  const int current = currentRow_;
  int target = 0;
  if (current != 0 && (current < 1 || current > kRows)) {
    if (showMessages) reportMessage(IDS_OVERWRITE_OUT_OF_RANGE);
  } else if (lastFilledRow() == 0) {
    if (showMessages) reportMessage(IDS_CANNOT_OVERWRITE);
  } else if (!(target = rowWithEntryTime(lastFilledRow()))) {
    if (showMessages) reportMessage(IDS_NO_SAME_VALUE, "t ");
  } else {
    // The row with the same t is overwritten, whichever row is selected.
    writeEntriesInto(target);
    rowToShow_ = target;
    modified_ = true;
    clearEntries();
    deriveRow(target);
  }
  focus_ = FocusRequest::Grid;
  redrawPreview();
  selectedRow_ = 0;
  currentRow_ = 0;
  return target != 0;
}

bool ReadingsModel::deleteSelectedRow() {
  bool deleted = false;
  if (selectedRow_ >= 1 && selectedRow_ <= kRows) {
    moveRows(selectedRow_ + 1, selectedRow_);
    clearEntries();
    redrawPreview();
    modified_ = true;
    deleted = true;
  }
  currentRow_ = 0;
  selectedRow_ = 0;
  focus_ = FocusRequest::EntryTime;
  return deleted;
}

void ReadingsModel::selectRow(int row) {
  if (row < 1 || row > kRows) return;
  selectedRow_ = row;
  if (rowIsEmpty(row)) {
    // An empty row is where a new reading goes: nothing to correct there,
    // and 追加 stays available.
    currentRow_ = 0;
    clearEntries();
  } else {
    currentRow_ = row;
    loadEntriesFrom(row);
  }
  redrawPreview();
}

void ReadingsModel::updateSelectedRowFromEntry(ReadingColumn left) {
  if (currentRow_ < 1 || currentRow_ > kRows || currentColumn_ < 1 || currentColumn_ > columnCount()) return;
  if (validateEntry(false)) {
    const bool sameTime = std::fabs(timeOf(currentRow_) - toDouble(entry(1))) < kSameTime;
    if (!isNumberText(cell(currentRow_, 1)) || sameTime) {
      // A correction typed into the entry fields counts as a change, so
      // that Cancel does not drop it without a question. Only the cells it
      // changes are written (a marked cell stays marked).
      for (int c = 1; c <= columnCount(); ++c) {
        if (cell(currentRow_, c) == entry(c)) continue;
        modified_ = true;
        setGridCell(currentRow_, c, entry(c));
      }
    }
  }
  if (left == ReadingColumn::PipeLevel) {
    deriveRow(currentRow_);
    redrawPreview();
  }
}

bool ReadingsModel::openCellEditor(int row, int column) {
  if (row < 1 || row > kRows || column < 1 || column > columnCount()) return false;
  currentRow_ = row;
  currentColumn_ = column;
  selectedRow_ = 0;
  inPlace_ = true;
  // The fields show the current row (an empty one: a new reading).
  if (rowIsEmpty(row))
    clearEntries();
  else
    loadEntriesFrom(row);
  editorText_ = cell(row, column);
  if (editorText_.empty()) {
    const ReadingColumn kind = columnKind(column);
    if (kind == ReadingColumn::Time)
      editorText_ = nextElapsedTime(row);
    else if (kind == ReadingColumn::FlowExponent && row > 1)
      editorText_ = cell(row - 1, column);
  }
  return true;
}

void ReadingsModel::commitCell(int row, int column, std::string text) {
  inPlace_ = false;
  editorText_.clear();
  if (row < 1 || row > kRows || column < 1 || column > columnCount()) return;
  text = withoutControls(std::move(text));
  if (text != cell(row, column)) modified_ = true;
  const bool failing = !cellProblem(column, text).empty();
  setGridCell(row, column, std::move(text));
  marked_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(column - 1)] = failing;
  loadEntriesFrom(row);
  currentRow_ = row;
  selectedRow_ = row;
  focus_ = FocusRequest::Grid;
}

std::optional<GridCell> ReadingsModel::cellAfter(CellKey key) {
  const int row = currentRow_;
  const int column = currentColumn_;
  if (row < 1 || row > kRows) return std::nullopt;
  // h and s follow the row that was left; the preview follows the move.
  deriveRow(row);
  redrawPreview();
  switch (key) {
  case CellKey::Enter:
    if (column < columnCount()) return GridCell{row, column + 1};
    clearEntries();
    if (row >= kRows) return std::nullopt;
    return GridCell{row + 1, 1};
  case CellKey::Up:
    if (row <= 1) return std::nullopt;
    return GridCell{row - 1, column};
  case CellKey::Down:
    if (row >= kRows) return std::nullopt;
    return GridCell{row + 1, column};
  }
  return std::nullopt;
}

bool ReadingsModel::pasteBlock(int row, int column, std::string_view text) {
  // Lines, without the line end of the last one.
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
    if (lines.size() > static_cast<std::size_t>(kRows)) break;  // too many already
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.empty()) return false;

  std::vector<std::vector<std::string>> cells;
  std::size_t width = 0;
  const auto columnLimit = static_cast<std::size_t>(columnCount());
  for (std::string_view line : lines) {
    cells.push_back(splitPastedLine(line, columnLimit));
    width = std::max(width, cells.back().size());
  }
  const int height = static_cast<int>(cells.size());
  if (row < 1 || row > kRows || row + height - 1 > kRows) {
    messageSink().report(messageText(IDS_PASTE_PAST_LAST_ROW, {cformat("%d", row), cformat("%d", height)}));
    return false;
  }
  if (column < 1 || column > columnCount() || column + static_cast<int>(width) - 1 > columnCount()) {
    messageSink().report(
        messageText(IDS_PASTE_PAST_LAST_COLUMN, {cformat("%d", column), cformat("%d", static_cast<int>(width))}));
    return false;
  }
  // Every cell is checked before any is written.
  std::vector<GridCell> failing;
  for (int r = 0; r < height && failing.size() < 3; ++r) {
    auto& line = cells[static_cast<std::size_t>(r)];
    for (std::size_t c = 0; c < line.size() && failing.size() < 3; ++c) {
      line[c] = withoutControls(std::move(line[c]));
      const int at = column + static_cast<int>(c);
      if (!cellProblem(at, line[c]).empty()) failing.push_back(GridCell{row + r, at});
    }
  }
  if (!failing.empty()) {
    // The message names the cells with what was pasted there.
    std::string lines;
    for (const GridCell& bad : failing) {
      const std::string& text =
          cells[static_cast<std::size_t>(bad.row - row)][static_cast<std::size_t>(bad.column - column)];
      lines += messageText(IDS_CELL_PROBLEM, {cformat("%d", bad.row), columnTitle(bad.column),
                                              cellProblem(bad.column, text)}) + "\n";
    }
    messageSink().report(messageText(IDS_PASTE_BAD_CELLS, lines));
    return false;
  }
  for (int r = 0; r < height; ++r) {
    const auto& line = cells[static_cast<std::size_t>(r)];
    for (std::size_t c = 0; c < line.size(); ++c) setGridCell(row + r, column + static_cast<int>(c), line[c]);
    deriveRow(row + r);
  }
  modified_ = true;
  inPlace_ = false;
  currentRow_ = 0;
  selectedRow_ = 0;
  clearEntries();  // they showed a row the paste may have replaced
  rowToShow_ = row;
  redrawPreview();
  return true;
}

std::string ReadingsModel::copyRows(std::vector<int> rows) const {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::string text;
  for (int row : rows) {
    if (row < 1 || row > kRows) continue;
    for (int c = 1; c <= columnCount(); ++c) {
      if (c > 1) text += '\t';
      text += cell(row, c);
    }
    text += '\n';
  }
  return text;
}

bool ReadingsModel::checkBeforeStore() const {
  const int n = lastFilledRow();
  std::vector<GridCell> marked;
  for (int row = 1; row <= n; ++row) {
    if (classifyNumberText(cell(row, 1)) == 0 && !cellMarked(row, 1)) {
      reportMessage(IDS_TIME_NOT_A_NUMBER, cformat("%d", row));
      return false;
    }
    for (int c = 1; c <= columnCount(); ++c)
      if (cellMarked(row, c) && marked.size() < 3) marked.push_back(GridCell{row, c});
  }
  if (marked.empty()) return true;
  messageSink().report(messageText(IDS_BAD_CELLS_ON_OK, problemLines(marked)));
  return false;
}

std::string ReadingsModel::problemLines(const std::vector<GridCell>& cells) const {
  std::string lines;
  for (const GridCell& c : cells)
    lines += messageText(IDS_CELL_PROBLEM, {cformat("%d", c.row), columnTitle(c.column), cellProblem(c.column, cell(c.row, c.column))}) + "\n";
  return lines;
}

void ReadingsModel::cancelCellEditor() {
  inPlace_ = false;
  editorText_.clear();
  focus_ = FocusRequest::Grid;
}

std::string ReadingsModel::cellProblem(int column, std::string_view text) const {
  if (isBlankText(text)) return std::string();
  const ReadingColumn kind = columnKind(column);
  switch (kind) {
  case ReadingColumn::Time:
  case ReadingColumn::PipeLevel:
  case ReadingColumn::FlowMantissa: {
    // The whole text a number (not only its start, as the files' rule has it).
    const auto parsed = parseNumberField(text);
    if (!parsed) return messageText(IDS_CELL_NOT_A_NUMBER);
    const double value = *parsed;
    const bool inRange = kind == ReadingColumn::Time       ? value >= kMinTime && value <= kMaxTime
                         : kind == ReadingColumn::PipeLevel ? value >= kMinLevel && value <= kMaxLevel
                                                            : std::isfinite(value);
    return inRange ? std::string() : messageText(IDS_CELL_OUT_OF_RANGE);
  }
  case ReadingColumn::FlowExponent: {
    const auto& choices = exponentChoices();
    return std::find(choices.begin(), choices.end(), text) != choices.end() ? std::string()
                                                                            : messageText(IDS_CELL_BAD_EXPONENT);
  }
  case ReadingColumn::ClockTime: return isClockText(text) ? std::string() : messageText(IDS_CELL_BAD_CLOCK);
  }
  return std::string();
}

bool ReadingsModel::cellMarked(int row, int column) const {
  if (row < 1 || row > kRows || column < 1 || column > columnCount()) return false;
  return marked_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(column - 1)];
}

std::string ReadingsModel::copyBlock(int top, int left, int bottom, int right) const {
  std::string text;
  for (int row = std::max(top, 1); row <= std::min(bottom, kRows); ++row) {
    for (int c = std::max(left, 1); c <= std::min(right, columnCount()); ++c) {
      if (c > std::max(left, 1)) text += '\t';
      text += cell(row, c);
    }
    text += '\n';
  }
  return text;
}

void ReadingsModel::clearCells(const std::vector<GridCell>& cells) {
  std::vector<int> rows;
  for (const GridCell& c : cells) {
    if (c.row < 1 || c.row > kRows || c.column < 1 || c.column > columnCount()) continue;
    if (!cell(c.row, c.column).empty()) modified_ = true;
    setGridCell(c.row, c.column, std::string());
    rows.push_back(c.row);
  }
  for (int row : rows) deriveRow(row);
  currentRow_ = 0;
  clearEntries();
  redrawPreview();
}

void ReadingsModel::moveRows(int from, int to) {
  // Rows from..120 go to to..; rows left behind (or pushed past 120) are
  // emptied.
  auto at = [](int row) { return static_cast<std::size_t>(row - 1); };
  if (from > to) {
    for (int row = to; row <= kRows; ++row) {
      const int source = row + (from - to);
      grid_[at(row)] = source <= kRows ? grid_[at(source)] : decltype(grid_)::value_type{};
      marked_[at(row)] = source <= kRows ? marked_[at(source)] : decltype(marked_)::value_type{};
      for (int c = 1; c <= kColumnCount; ++c) working_.setCell(row, c, source <= kRows ? working_.cell(source, c) : std::string());
    }
  } else if (from < to) {
    for (int row = kRows; row >= from; --row) {
      const int source = row - (to - from);
      const bool keep = source >= from;
      grid_[at(row)] = keep ? grid_[at(source)] : decltype(grid_)::value_type{};
      marked_[at(row)] = keep ? marked_[at(source)] : decltype(marked_)::value_type{};
      for (int c = 1; c <= kColumnCount; ++c) working_.setCell(row, c, keep ? working_.cell(source, c) : std::string());
    }
  }
}

bool ReadingsModel::insertRow(int row) {
  if (row < 1 || row > kRows) return false;
  if (!rowIsEmpty(kRows)) {
    reportMessage(IDS_INSERT_ROW_LAST_FILLED);
    return false;
  }
  moveRows(row, row + 1);
  modified_ = true;
  currentRow_ = 0;
  selectedRow_ = row;
  clearEntries();
  redrawPreview();
  return true;
}

bool ReadingsModel::rowHoldsText(int row) const {
  if (!rowIsEmpty(row)) return true;
  for (int c = 1; c <= kColumnCount; ++c)
    if (!working_.cell(row, c).empty()) return true;
  return false;
}

bool ReadingsModel::deleteRows(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end(), std::greater<>());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  bool deleted = false;
  for (int row : rows) {
    if (row < 1 || row > kRows) continue;
    moveRows(row + 1, row);
    deleted = true;
  }
  if (deleted) modified_ = true;
  currentRow_ = 0;
  selectedRow_ = 0;
  clearEntries();
  redrawPreview();
  return deleted;
}

bool ReadingsModel::correctsCurrentRow() const {
  if (currentRow_ < 1 || currentRow_ > kRows || !validateEntry(false)) return false;
  return !isNumberText(cell(currentRow_, 1)) || std::fabs(timeOf(currentRow_) - toDouble(entry(1))) < kSameTime;
}

bool ReadingsModel::enterReading() {
  if (currentRow_ != 0 && correctsCurrentRow()) {
    updateSelectedRowFromEntry(ReadingColumn::PipeLevel);
    focus_ = FocusRequest::EntryTime;
    return true;
  }
  bool any = false;
  for (int c = 1; c <= columnCount(); ++c)
    any = any || (columnKind(c) != ReadingColumn::FlowExponent && !isBlankText(entry(c)));
  if (!any) {
    focus_ = FocusRequest::EntryTime;
    return false;
  }
  return addReading(true);
}

bool ReadingsModel::settlePendingEntry() {
  if (!entryPending()) return true;
  switch (messageSink().askYesNoCancel(messageText(IDS_ADD_PENDING_READING))) {
  case Answer::Yes: return addReading(true);
  case Answer::No: return true;
  case Answer::Cancel: break;
  }
  return false;
}

bool ReadingsModel::entryPending() const {
  if (!addEnabled()) {
    if (correctsCurrentRow()) return false;
    bool typed = false, differs = false;
    for (int c = 1; c <= columnCount(); ++c) {
      if (columnKind(c) == ReadingColumn::FlowExponent) continue;
      typed = typed || !isBlankText(entry(c));
      differs = differs || entry(c) != cell(currentRow_, c);
    }
    return typed && differs;
  }
  for (int c = 2; c <= columnCount(); ++c)
    if (columnKind(c) != ReadingColumn::FlowExponent && !isBlankText(entry(c))) return true;
  return !isBlankText(entry(1)) && entry(1) != autoTime_;
}

std::string ReadingsModel::storeReadings(ReadingTable& table) const {
  // Rows with a blank t but other readings stay where they are, as they
  // are; the rows with a t fill the other rows in ascending order of t.
  std::vector<int> rows;
  std::array<bool, kRows + 1> kept{};
  for (int row = 1; row <= kRows; ++row) {
    if (!isBlankText(cell(row, 1))) rows.push_back(row);
    else if (rowHoldsText(row)) kept[static_cast<std::size_t>(row)] = true;
  }
  std::stable_sort(rows.begin(), rows.end(), [this](int a, int b) { return timeOf(a) < timeOf(b); });
  std::vector<int> places;
  for (int row = 1; row <= kRows; ++row)
    if (!kept[static_cast<std::size_t>(row)]) places.push_back(row);

  const int level = columnOf(ReadingColumn::PipeLevel);
  const int clock = columnOf(ReadingColumn::ClockTime);
  const bool steady = method_ == ReadingsMethod::Steady;
  bool missing = false;
  int duplicates = 0;
  std::string duplicateLines;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const int from = rows[k];
    const int to = places[k];
    table.setCell(to, C_time, cell(from, 1));
    table.setCell(to, C_pipeLevel, cell(from, level));
    table.setCell(to, C_clockTime, cell(from, clock));
    table.setCell(to, C_level, working_.cell(from, C_level));
    table.setCell(to, C_headDifference, working_.cell(from, C_headDifference));
    table.setCell(to, C_flow, working_.cell(from, C_flow));
    if (steady ? isBlankText(cell(from, level)) && isBlankText(joinedFlow(from)) : isBlankText(cell(from, level)))
      missing = true;

    if (duplicates < 7 && timeOf(from) > 0) {
      for (std::size_t later = k + 1; later < rows.size(); ++later) {
        if (!(std::fabs(timeOf(rows[later]) - timeOf(from)) < 0.000001)) continue;
        ++duplicates;
        if (duplicates <= 6 && duplicateLines.size() < 300)
          duplicateLines += cformat(" %s s ", cell(rows[later], 1).c_str()) + "\n";
      }
    }
  }
  for (std::size_t k = rows.size(); k < places.size(); ++k)
    for (int c = 1; c <= kColumnCount; ++c) table.setCell(places[k], c, std::string());
  for (int row = 1; row <= kRows; ++row) {
    if (!kept[static_cast<std::size_t>(row)]) continue;
    for (int c = 1; c <= kColumnCount; ++c) table.setCell(row, c, working_.cell(row, c));
  }

  std::string warning;
  if (missing) warning += messageText(steady ? IDS_MISSING_LEVEL_OR_FLOW : IDS_MISSING_LEVEL) + "\n";
  if (duplicates > 0) warning += messageText(IDS_SAME_ELAPSED_TIME) + "\n" + duplicateLines;
  return warning;
}

bool ReadingsModel::confirmCancel() const {
  // A reading typed into the fields (with a usable t) and not added counts
  // as a change too.
  if ((modified_ && lastFilledRow() > 0) || (entryPending() && validateEntry(false))) return messageSink().askYesNo(messageText(IDS_DISCARD_CHANGES));
  return true;
}

void ReadingsModel::checkPreviewAxes() { applyPreviewAxes(true); }

void ReadingsModel::followReadings() {
  fitAutomaticAxes();
  applyPreviewAxes(false);
}

void ReadingsModel::fitPreviewAxes() {
  automatic_[0] = automatic_[1] = true;
  axesSet_ = true;
  applyPreviewAxes(true);
}

void ReadingsModel::setPreviewAxes(PreviewAxes axes) {
  if (axes.timeFrom != axes_.timeFrom || axes.timeTo != axes_.timeTo) automatic_[0] = false, axesSet_ = true;
  if (axes.levelBottom != axes_.levelBottom || axes.levelTop != axes_.levelTop) automatic_[1] = false, axesSet_ = true;
  axes_ = std::move(axes);
}

namespace {

// Round ends around [low, high]: about five steps of 1, 2 or 5 x 10^n, a
// flat range in the middle.
std::pair<std::string, std::string> roundEnds(double low, double high) {
  double span = high - low;
  const bool flat = !(span > 0);
  if (flat) span = std::max(std::fabs(high), 1.0) * 0.2;
  const double step = roundStepAtLeast(span / 5.0);
  double from = std::floor(low / step + 1e-9) * step, to = std::ceil(high / step - 1e-9) * step;
  if (flat) from -= step, to += step;
  auto text = [](double v) { return cformat("%.6g", std::fabs(v) < 1e-12 ? 0.0 : v); };
  return {text(from), text(to)};
}

} // namespace

void ReadingsModel::fitAutomaticAxes() {
  if (!automatic_[0] && !automatic_[1]) return;
  double tLow = 0, tHigh = -INFINITY, low = INFINITY, high = -INFINITY;
  for (int row = 1; row <= kRows; ++row) {
    const std::string& t = working_.cell(row, C_time);
    const std::string& level = working_.cell(row, C_pipeLevel);
    if (!isNumberText(t) || !isNumberText(level)) continue;
    tLow = std::min(tLow, toDouble(t));
    tHigh = std::max(tHigh, toDouble(t));
    for (const std::string* v : {&level, &working_.cell(row, C_level)}) {
      if (v != &level && !pipeTopKnown_) continue;
      if (!isNumberText(*v)) continue;
      low = std::min(low, toDouble(*v));
      high = std::max(high, toDouble(*v));
    }
  }
  if (!(tHigh >= tLow)) return;  // no readings: the axes stay
  if (automatic_[0]) {
    // From 0 (or the earliest t), the last t inside the right end.
    std::tie(axes_.timeFrom, axes_.timeTo) = roundEnds(tLow, std::max(tHigh, tLow + 0.1));
  }
  if (automatic_[1] && std::isfinite(low) && std::isfinite(high))
    std::tie(axes_.levelBottom, axes_.levelTop) = roundEnds(low, high);
}

void ReadingsModel::applyPreviewAxes(bool check) {
  double from = toDouble(axes_.timeFrom), to = toDouble(axes_.timeTo);
  if (!std::isfinite(from) || !std::isfinite(to) || from < kMinTime || to - from < 0.1) {
    from = 0;
    to = 10000;
    if (check) {
      axes_.timeFrom = "0";
      axes_.timeTo = "10000";
      automatic_[0] = true;
    }
  }
  double bottom = toDouble(axes_.levelBottom), top = toDouble(axes_.levelTop);
  if (!std::isfinite(bottom) || !std::isfinite(top) || top - bottom < 0.1) {
    bottom = -20;
    top = 20;
    if (check) {
      axes_.levelBottom = "-20";
      axes_.levelTop = "20";
      automatic_[1] = true;
      reportMessage(IDS_BAD_SCALE);
    }
  }
  if (check && (automatic_[0] || automatic_[1])) {
    fitAutomaticAxes();
    from = toDouble(axes_.timeFrom), to = toDouble(axes_.timeTo);
    bottom = toDouble(axes_.levelBottom), top = toDouble(axes_.levelTop);
  }
  range_ = PreviewRange{from, to, bottom, top};
}

} // namespace tov
