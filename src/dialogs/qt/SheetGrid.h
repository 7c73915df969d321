#pragma once
// The grid of the readings editors and the tester register, kept the way a
// spreadsheet is: the arrow keys, Home/End and Page Up/Down move the current
// cell and the selection with it (Shift, or dragging the mouse, selects a
// range; Delete, cut and paste act on the visible selection); a typed character opens the
// dialog's cell editor with that character, F2 and a double click open it on
// the cell's text; Delete empties the selected cells; Ctrl+C, Ctrl+X and
// Ctrl+V copy, cut and paste; the right-click menu offers 行挿入, 行削除,
// 切り取り, コピー, 貼り付け. The view only asks; the dialog's model acts.
#include <QTableView>

class QMenu;

namespace tov {

class SheetGridView : public QTableView {
  Q_OBJECT
public:
  explicit SheetGridView(QWidget* parent = nullptr);

  // The selected cells as a block (rows and columns from 0, inclusive): the
  // rectangle around them, or the current cell alone.
  QRect selectedBlock() const;
  // The rows (from 0) the selection touches, or the current row.
  QList<int> selectedRowList() const;
  // The right-click menu as it is shown (for the tests).
  QMenu* contextMenu() const { return menu_; }

signals:
  // initialText: the typed character that replaces the cell's text, or a
  // null string to edit the text the cell holds.
  void editRequested(const QModelIndex& index, const QString& initialText);
  void clearRequested();
  void copyRequested();
  void cutRequested();
  void pasteRequested();
  void insertRowRequested(int row);
  void deleteRowsRequested();
  // The current cell moved (row and column from 0).
  void currentCellChanged(int row, int column);

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  // The selection follows every move of the current cell (Ctrl+Home,
  // Ctrl+End, Ctrl+arrows and Ctrl+click included); only Shift extends it.
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event = nullptr) const override;

private:
  QMenu* menu_ = nullptr;
};

// The grids' look: single cells selected in ranges, no editing by the view
// itself, grid lines, numbered rows of one text line.
void setUpSheetGrid(SheetGridView& grid);

} // namespace tov
