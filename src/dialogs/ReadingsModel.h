#pragma once
// The readings editors without their widgets: a grid of 120 rows in which
// the engineer adds, overwrites, deletes and corrects readings, the entry
// fields below it, the in-place cell editor, paste and copy, the preview
// of h' (and h) against t, and the store into the reading table on OK.
//
// The unsteady editor has three columns (t, h', 時刻); the steady editor is
// the same model with five (t, h', the mantissa of Q, its exponent "指数",
// 時刻). Rows and columns are numbered from 1. The widget half forwards
// every event to an operation below and then shows the state it reads back.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/TestRecord.h"

namespace tov {

class Surface;

enum class ReadingsMethod { Unsteady, Steady };

// What a grid column holds.
enum class ReadingColumn { Time, PipeLevel, FlowMantissa, FlowExponent, ClockTime };

// Where the dialog puts the focus after an operation.
enum class FocusRequest { Unchanged, EntryTime, EntryPipeLevel, Grid };

// The keys that move the in-place editor on after it has committed.
enum class CellKey { Enter, Up, Down };

struct GridCell {
  int row = 0;
  int column = 0;
  bool operator==(const GridCell&) const = default;
};

// The preview's axis texts: t at the left and right edges, h' at the bottom
// and top edges.
struct PreviewAxes {
  std::string timeFrom, timeTo, levelBottom, levelTop;
  bool operator==(const PreviewAxes&) const = default;
};

// The preview's axes as numbers, after the checks.
struct PreviewRange {
  double timeFrom = 0, timeTo = 10000, levelBottom = -20, levelTop = 20;
};

class ReadingsModel {
public:
  static constexpr int kRows = kRowCount;
  static constexpr int kMaxColumns = 5;
  // Two elapsed times are the same reading when they differ by less.
  static constexpr double kSameTime = 0.0001;
  static constexpr double kMinTime = -1000.0;
  static constexpr double kMaxTime = 1000000.0;
  // h' in metres.
  static constexpr double kMinLevel = -10000.0;
  static constexpr double kMaxLevel = 10000.0;

  explicit ReadingsModel(ReadingsMethod method);

  ReadingsMethod method() const { return method_; }
  int columnCount() const { return static_cast<int>(columns_.size()); }
  ReadingColumn columnKind(int column) const;
  // The column of a kind (0 when the grid has none).
  int columnOf(ReadingColumn kind) const;
  // Title and width in pixels of a grid column.
  const char* columnTitle(int column) const;
  int columnWidth(int column) const;
  // The exponent picker's entries: "x1" (no exponent), "E-1" .. "E-8", "".
  static const std::vector<std::string>& exponentChoices();

  // Fills the grid from the reading table (every row that holds text, each
  // in its own row) and resets the dialog's state.
  void openReadings(const ReadingTable& table, std::string pipeTopHeight, std::string equilibriumLevel,
                    PreviewAxes axes);

  // The entry fields' t: all entries empty or t not a number (903), t out
  // of -1000 .. 1000000 (4006). Messages only when asked for.
  bool validateEntry(bool showMessages) const;
  // 追加: the entries become the row after the last filled row.
  bool addReading(bool showMessages);
  // The automatic time increment for the row about to be filled: the last
  // interval repeated, with as many decimals as the finer of the two t it
  // repeats ("2100" after "1900" and "2000"), only from row 3 on, only when
  // the check box is on and the result is above 0.01; otherwise "".
  std::string nextElapsedTime(int row) const;
  // 上書き: the entries replace the row whose t equals the entry t.
  bool overwriteReading(bool showMessages);
  // 行削除: removes the selected row; the rows below move up.
  bool deleteSelectedRow();
  // A click on a row (0: on no row): it is selected; a row with readings
  // also becomes current and its texts go into the entry fields (追加 is
  // then unavailable); an empty row clears the entries for a new reading.
  void selectRow(int row);
  // An entry field lost the focus: the entries are written into the
  // current row when they are valid and keep its t.
  void updateSelectedRowFromEntry(ReadingColumn left);

  // Opens the in-place editor on a cell; false when it cannot open there.
  // editorText() is then what the editor starts with.
  bool openCellEditor(int row, int column);
  const std::string& editorText() const { return editorText_; }
  // The in-place editor's text goes into the cell, unchecked.
  void commitCell(int row, int column, std::string text);
  // Where the in-place editor opens next after a commit by the key; nothing
  // when editing stops there.
  std::optional<GridCell> cellAfter(CellKey key);

  // Escape in the in-place editor: the cell keeps the text it had.
  void cancelCellEditor();

  // What keeps a text out of a cell, as 追加 judges its entries: t and h'
  // numbers within range, Q's mantissa a number, the exponent one of the
  // picker's, the clock time h:mm (or h.mm); a blank cell is always fine.
  // "" when the text may stand there.
  std::string cellProblem(int column, std::string_view text) const;
  // A cell whose in-place edit failed its check: it keeps the text, is
  // shown marked and stops OK until it is corrected.
  bool cellMarked(int row, int column) const;

  // Pastes a block of tab- or comma-separated rows with its first cell at
  // (row, column). A block that would run past row 120 or past the last
  // column, or with a cell failing its check (named in the message with the
  // next failing ones), is refused and changes nothing. Control characters
  // are dropped from the cells.
  bool pasteBlock(int row, int column, std::string_view text);
  // The rows (in grid order) as tab-separated lines.
  std::string copyRows(std::vector<int> rows) const;
  // The cells of a block (rows and columns from 1, inclusive) as
  // tab-separated lines.
  std::string copyBlock(int top, int left, int bottom, int right) const;
  // Delete and 切り取り: the cells are emptied.
  void clearCells(const std::vector<GridCell>& cells);
  // 行挿入: an empty row at `row`, the rows below moving down. Refused, with
  // a message, when the last row holds a reading.
  bool insertRow(int row);
  // 行削除 of the rows of a selection; the rows below move up.
  bool deleteRows(std::vector<int> rows);

  // The entry fields hold a reading that has not gone into the grid: on the
  // empty row one that 追加 has not added (the t the automatic increment
  // filled in alone is no reading); on a row with readings, texts that
  // differ from the row's and that the row does not take as a correction
  // (their t is another reading's).
  bool entryPending() const;
  // Enter in the last entry field: the fields go into the current row when
  // they correct it (they keep its t), otherwise they are added as 追加
  // adds them (after the last reading, with its messages). False when
  // nothing went in.
  bool enterReading();
  // Before the entry fields are replaced (another row, a grid command, OK):
  // a pending reading is asked about (IDS_ADD_PENDING_READING). Yes adds it,
  // No drops it; false (stop what was about to happen) on Cancel or when
  // the reading cannot be added.
  bool settlePendingEntry();

  // Before the store on OK: false (with a message naming the row) when a
  // row's t is neither blank nor a number, or a cell is marked.
  bool checkBeforeStore() const;
  // The store on OK: a row with a blank t but other text stays in its row as
  // it is; the rows with a t, in ascending order of t (equal t in grid
  // order), fill the other rows from row 1; the rows after them emptied. Returns the warning text ("" without warnings).
  std::string storeReadings(ReadingTable& table) const;
  // Cancel: asks when the grid was changed and holds readings, or when the
  // entry fields hold a reading not added.
  bool confirmCancel() const;

  // The preview's axis checks (an unusable t range becomes 0 .. 10000
  // silently, an unusable h' range -20 .. 20 with message 4008), done
  // whenever the preview is redrawn ("グラフ描画" too).
  //
  // An axis pair still as a new test has it (t 0 .. 10000, h' -20 .. 20,
  // or blank), or reset to that, is automatic: at each redraw, and as
  // readings come and go (followReadings), it is fitted to the readings
  // (t from 0 past the last t, h' and h within round ends). A pair typed
  // into stays as typed; fitPreviewAxes makes both automatic again.
  void checkPreviewAxes();
  void followReadings();
  void fitPreviewAxes();
  // Draws the preview into an area of width x height pixels; the axis ends
  // lie insetX pixels in from the left and right edges (at least 2 on the
  // left) and insetY from the top and bottom, where the dialog shows them.
  void drawPreview(Surface& surface, int width, int height, int insetX = 0, int insetY = 0) const;
  const PreviewAxes& previewAxes() const { return axes_; }
  // A pair whose texts change here is typed: no longer automatic.
  void setPreviewAxes(PreviewAxes axes);
  const PreviewRange& previewRange() const { return range_; }
  // The axes OK stores: as opened unless the readings or the axes were
  // changed here (a fit on the screen alone changes nothing).
  const PreviewAxes& previewAxesToStore() const { return modified_ || axesSet_ ? axes_ : openedAxes_; }

  // The state the dialog shows.
  const std::string& cell(int row, int column) const;
  const std::string& entry(int column) const;
  void setEntry(int column, std::string text);
  void clearEntries();
  int lastFilledRow() const;
  int currentRow() const { return currentRow_; }
  int currentColumn() const { return currentColumn_; }
  int selectedRow() const { return selectedRow_; }
  bool inPlaceEditing() const { return inPlace_; }
  bool isModified() const { return modified_; }
  // Readings replaced from outside (a logger file dropped on the editor).
  void markModified() { modified_ = true; }
  bool addEnabled() const { return currentRow_ == 0; }
  bool pipeTopKnown() const { return pipeTopKnown_; }
  bool autoIncrement() const { return autoIncrement_; }
  void setAutoIncrement(bool on) { autoIncrement_ = on; }
  const std::string& pipeTopHeight() const { return working_.pipeTopHeight(); }
  // The working copy of the readings (h and s derived as the grid changes).
  const TestRecord& workingCopy() const { return working_; }
  // What the dialog is to do next; reading it clears it.
  FocusRequest takeFocusRequest();
  int takeRowToShow();

private:
  void setGridCell(int row, int column, std::string text);
  void moveRows(int from, int to);  // row `from` .. 120 moved to start at `to`
  std::string problemLines(const std::vector<GridCell>& cells) const;
  void writeEntriesInto(int row);
  void loadEntriesFrom(int row);
  void deriveRow(int row) { working_.deriveReadingRow(row); }
  void redrawPreview() { checkPreviewAxes(); }
  // The range from the axis texts; with check, unusable texts are reset
  // (and a reset h' range reported).
  void applyPreviewAxes(bool check);
  // The automatic pairs from the readings.
  void fitAutomaticAxes();
  std::string joinedFlow(int row) const;
  double timeOf(int row) const;
  bool rowIsEmpty(int row) const;
  // The row holds text in the grid or in the cells the grid does not show.
  bool rowHoldsText(int row) const;
  // First row 1..n (stopping at a t that is not a number) whose t is the
  // entry t; 0 when none.
  int rowWithEntryTime(int n) const;
  void setPickerFromRow(int row);
  // The entry fields are a correction of the current row: valid, and with
  // its t (or the row's t is no number).
  bool correctsCurrentRow() const;

  ReadingsMethod method_;
  std::vector<ReadingColumn> columns_;
  std::array<std::array<std::string, kMaxColumns>, kRows> grid_{};
  std::array<std::array<bool, kMaxColumns>, kRows> marked_{};
  std::array<std::string, kMaxColumns> entries_{};
  TestRecord working_;
  PreviewAxes axes_;
  PreviewAxes openedAxes_;
  PreviewRange range_;
  // The t pair and the h' pair follow the readings.
  bool automatic_[2] = {};
  bool axesSet_ = false;
  std::string editorText_;
  std::string autoTime_;  // the t the automatic increment filled in
  int currentRow_ = 0;
  int currentColumn_ = 1;
  int selectedRow_ = 0;
  bool inPlace_ = false;
  bool modified_ = false;
  bool pipeTopKnown_ = false;
  bool autoIncrement_ = true;
  FocusRequest focus_ = FocusRequest::Unchanged;
  int rowToShow_ = 0;
};

} // namespace tov
