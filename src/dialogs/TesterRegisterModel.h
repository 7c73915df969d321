#pragma once
// The tester register editor "マスタファイル 試験者" without its widgets:
// the names of M.mst as a one-column grid of rows that the engineer edits
// in place, moves, deletes and extends with the previous version's
// register, written back on OK.
//
// The grid has at least 80 rows (empty rows are placeholders and are never
// written) and one empty row after the names of a longer register, so a
// register of any length is shown, kept and saved whole.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tov {

// The keys that move the in-place editor on after it has committed.
enum class RegisterKey { Enter, Up, Down };

class TesterRegisterModel {
public:
  static constexpr int kMinRows = 80;

  // The previous version's register for an install folder in Windows form:
  // every "v5" of the folder becomes "v4" ("C:\Rundalk\Tov5" gives
  // "C:\Rundalk\Tov4\M.mst").
  static std::string previousRegisterFile(const std::string& installFolder);

  // Opening: the names of the file (a missing file is reported and gives an
  // empty register), empty rows up to the grid's length, the row after the
  // last name selected; the import is available when the previous register
  // can be read.
  void openRegister(const std::filesystem::path& file, const std::filesystem::path& previousFile);

  const std::filesystem::path& registerFile() const { return file_; }
  int rowCount() const { return static_cast<int>(rows_.size()); }
  // Rows from 1; "" outside the grid.
  const std::string& name(int row) const;
  int selectedRow() const { return selected_; }
  void selectRow(int row);
  bool importAvailable() const { return importAvailable_; }
  bool isModified() const { return modified_; }

  // The in-place editor: opening it on a row counts as a change.
  bool openCellEditor(int row);
  bool inPlaceEditing() const { return editing_; }
  int editorRow() const { return editorRow_; }
  // Its text goes into the row and editing ends.
  void commitCell(std::string text);
  // Where the editor opens next after a commit by the key; nothing when
  // editing stops there (Enter and Down after the last row, Up at row 1).
  std::optional<int> rowAfter(RegisterKey key, int row) const;

  // Escape in the editor: the row keeps its name.
  void cancelCellEditor() { editing_ = false; }

  // The grid's sheet operations (rows from 1). Delete and 切り取り empty
  // the rows; 行挿入 puts an empty row at `row`; 行削除 removes the rows.
  void clearRows(const std::vector<int>& rows);
  void insertRow(int row);
  void deleteRows(std::vector<int> rows);
  // The names of the rows, a line each.
  std::string copyRows(const std::vector<int>& rows) const;
  // Pastes lines as names from `row` on (the first cell of a tab-separated
  // line; control characters dropped), adding rows as needed. A name the
  // file's code page cannot hold refuses the paste (with a message naming
  // its row) and changes nothing.
  bool pasteNames(int row, std::string_view text);

  // ↑ / ↓ / 削除 on the selected row. False when nothing moved.
  bool moveUp();
  bool moveDown();
  bool deleteSelectedRow();
  // "Ver.4 追加": the names of the previous register that the grid does not
  // hold, each at its line's position (or at the end); reports how many.
  int importPrevious();

  // OK: writes the names in grid order (duplicates too, reported after the
  // save). False, with a message, when the file could not be written; the
  // names then stay in the dialog.
  bool storeRegister() const;
  // Cancel: asks when something was changed.
  bool confirmCancel() const;
  // The row the grid is to scroll to; reading it clears it.
  int takeRowToShow();

private:
  int lastNameRow() const;
  void padRows();

  std::filesystem::path file_;
  std::filesystem::path previousFile_;
  std::vector<std::string> rows_;
  int selected_ = 0;
  bool importAvailable_ = false;
  bool modified_ = false;
  bool editing_ = false;
  int editorRow_ = 0;
  int rowToShow_ = 0;
};

} // namespace tov
