#include "dialogs/qt/SheetGrid.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include "dialogs/qt/DialogWidgets.h"

namespace tov {

SheetGridView::SheetGridView(QWidget* parent) : QTableView(parent) {
  // Typing Japanese into a cell starts with the input method's events.
  setAttribute(Qt::WA_InputMethodEnabled, true);
  menu_ = new QMenu(this);
  menu_->setObjectName(QStringLiteral("gridMenu"));
  auto add = [this](const char* text, const char* name, const QKeySequence& keys, auto slot) {
    QAction* action = menu_->addAction(QString::fromUtf8(text));
    action->setObjectName(QString::fromUtf8(name));
    action->setShortcut(keys);
    action->setShortcutVisibleInContextMenu(true);
    connect(action, &QAction::triggered, this, slot);
  };
  add("行挿入(&I)", "insertRowAction", QKeySequence(), [this] {
    emit insertRowRequested(currentIndex().isValid() ? currentIndex().row() : 0);
  });
  add("行削除(&D)", "deleteRowAction", QKeySequence(), [this] { emit deleteRowsRequested(); });
  menu_->addSeparator();
  add("切り取り(&T)", "cutAction", QKeySequence::Cut, [this] { emit cutRequested(); });
  add("コピー(&C)", "copyAction", QKeySequence::Copy, [this] { emit copyRequested(); });
  add("貼り付け(&P)", "pasteAction", QKeySequence::Paste, [this] { emit pasteRequested(); });
}

QRect SheetGridView::selectedBlock() const {
  QRect block;
  for (const QModelIndex& index : selectionModel()->selectedIndexes())
    block = block.united(QRect(index.column(), index.row(), 1, 1));
  if (block.isNull() && currentIndex().isValid()) block = QRect(currentIndex().column(), currentIndex().row(), 1, 1);
  return block;
}

QList<int> SheetGridView::selectedRowList() const {
  QList<int> rows;
  for (const QModelIndex& index : selectionModel()->selectedIndexes())
    if (!rows.contains(index.row())) rows << index.row();
  if (rows.isEmpty() && currentIndex().isValid()) rows << currentIndex().row();
  std::sort(rows.begin(), rows.end());
  return rows;
}

void SheetGridView::keyPressEvent(QKeyEvent* event) {
  const QModelIndex current = currentIndex();
  // What Delete, cut and paste change is brought into sight first.
  const bool changes = event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Paste) ||
                       ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) &&
                        event->modifiers() == Qt::NoModifier);
  if (changes && current.isValid()) scrollTo(current);
  if (event->matches(QKeySequence::Copy)) return emit copyRequested();
  if (event->matches(QKeySequence::Cut)) return emit cutRequested();
  if (event->matches(QKeySequence::Paste)) return emit pasteRequested();
  switch (event->key()) {
  case Qt::Key_Delete:
  case Qt::Key_Backspace:
    if (event->modifiers() == Qt::NoModifier) return emit clearRequested();
    break;
  case Qt::Key_F2:
    if (current.isValid()) return emit editRequested(current, QString());
    break;
  case Qt::Key_Return:
  case Qt::Key_Enter:
  case Qt::Key_Tab:
  case Qt::Key_Backtab:
  case Qt::Key_Escape:
    // The dialog's keys (Enter, moving on, Cancel).
    event->ignore();
    return;
  default: break;
  }
  const QString text = event->text();
  const bool typed = !text.isEmpty() && text.at(0).isPrint() &&
                     !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  if (typed && current.isValid()) return emit editRequested(current, text);
  QTableView::keyPressEvent(event);
}

void SheetGridView::inputMethodEvent(QInputMethodEvent* event) {
  const QModelIndex current = currentIndex();
  if (!current.isValid() || (event->commitString().isEmpty() && event->preeditString().isEmpty())) {
    QTableView::inputMethodEvent(event);
    return;
  }
  // The editor opens empty and takes the composition over.
  emit editRequested(current, QStringLiteral(""));
  QWidget* editor = QApplication::focusWidget();
  if (editor && editor != this) QApplication::sendEvent(editor, event);
}

void SheetGridView::contextMenuEvent(QContextMenuEvent* event) {
  // The event comes through the viewport, in its coordinates.
  const QModelIndex at = indexAt(event->pos());
  // A click outside the selection moves the current cell there first.
  if (at.isValid() && !selectionModel()->isSelected(at))
    selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect);
  menu_->popup(event->globalPos());
}

void SheetGridView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (current.isValid()) emit currentCellChanged(current.row(), current.column());
}

QItemSelectionModel::SelectionFlags SheetGridView::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
  const QItemSelectionModel::SelectionFlags flags = QTableView::selectionCommand(index, event);
  if (!event) return flags;
  Qt::KeyboardModifiers modifiers = Qt::NoModifier;
  switch (event->type()) {
  case QEvent::KeyPress: modifiers = static_cast<const QKeyEvent*>(event)->modifiers(); break;
  case QEvent::MouseButtonPress:
  case QEvent::MouseButtonDblClick: modifiers = static_cast<const QMouseEvent*>(event)->modifiers(); break;
  default: return flags;
  }
  // Ctrl would keep the old selection where the current cell left it, out
  // of sight, for Delete and cut to empty.
  if (!(modifiers & Qt::ControlModifier) || (modifiers & Qt::ShiftModifier)) return flags;
  return QItemSelectionModel::ClearAndSelect;
}

void setUpSheetGrid(SheetGridView& grid) {
  setUpGrid(grid);
  grid.setSelectionBehavior(QAbstractItemView::SelectItems);
  grid.setSelectionMode(QAbstractItemView::ExtendedSelection);
  grid.setTabKeyNavigation(false);
}

} // namespace tov
