#include "dialogs/qt/CTesterRegisterDialog.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "dialogs/qt/DialogWidgets.h"
#include "dialogs/qt/EnterKeyFilter.h"
#include "files/Platform.h"
#include "files/Settings.h"

namespace tov {

namespace {

QString qs(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

constexpr int kColumnWidth = 200;

} // namespace

RegisterGridAdapter::RegisterGridAdapter(const TesterRegisterModel& model, QObject* parent)
    : QAbstractTableModel(parent), model_(model), rows_(model.rowCount()) {}

int RegisterGridAdapter::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int RegisterGridAdapter::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QVariant RegisterGridAdapter::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  return qs(model_.name(index.row() + 1));
}

QVariant RegisterGridAdapter::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return QStringLiteral("技術者(試験者)");
  return section + 1;
}

void RegisterGridAdapter::reload() {
  // Rows come with an import; otherwise only texts change (a reset would
  // lose the scroll position).
  if (rows_ != model_.rowCount()) {
    beginResetModel();
    rows_ = model_.rowCount();
    endResetModel();
  } else if (rows_ > 0) {
    emit dataChanged(index(0, 0), index(rows_ - 1, 0), {Qt::DisplayRole});
  }
}

CTesterRegisterDialog::CTesterRegisterDialog(TesterRegisterModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setObjectName(QStringLiteral("testerRegisterDialog"));
  setWindowTitle(QStringLiteral("マスタファイル 試験者"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);

  auto* pathLabel = new QLabel(QStringLiteral("マスタファイル"), this);
  auto* path = new QLineEdit(QString::fromStdString(utf8Path(model_.registerFile())), this);
  path->setObjectName(QStringLiteral("registerPath"));
  path->setReadOnly(true);
  path->setFocusPolicy(Qt::NoFocus);
  path->setCursorPosition(0);
  path->setMinimumWidth(std::min(path->fontMetrics().horizontalAdvance(path->text()) + 16, 520));
  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(pathLabel);
  pathRow->addWidget(path, 1);

  adapter_ = new RegisterGridAdapter(model_, this);
  grid_ = new SheetGridView(this);
  grid_->setObjectName(QStringLiteral("grid"));
  grid_->setModel(adapter_);
  setUpSheetGrid(*grid_);
  grid_->horizontalHeader()->setStretchLastSection(true);
  const int columnWidth = std::max(kColumnWidth, grid_->fontMetrics().horizontalAdvance(QString(14, QChar(0x6F22))));
  grid_->setColumnWidth(0, columnWidth);
  grid_->setMinimumWidth(columnWidth + grid_->verticalHeader()->sizeHint().width() +
                         grid_->verticalScrollBar()->sizeHint().width() + 4);
  grid_->setMinimumHeight(grid_->verticalHeader()->defaultSectionSize() * 16);
  grid_->installEventFilter(this);
  connect(grid_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { openCellEditor(index.row() + 1); });
  connect(grid_, &SheetGridView::currentCellChanged, this, [this](int row, int) { model_.selectRow(row + 1); });
  connect(grid_, &SheetGridView::editRequested, this,
          [this](const QModelIndex& index, const QString& typed) { openCellEditor(index.row() + 1, typed); });
  connect(grid_, &SheetGridView::copyRequested, this, &CTesterRegisterDialog::onCopy);
  connect(grid_, &SheetGridView::cutRequested, this, [this] {
    onCopy();
    onClear();
  });
  connect(grid_, &SheetGridView::pasteRequested, this, &CTesterRegisterDialog::onPaste);
  connect(grid_, &SheetGridView::clearRequested, this, &CTesterRegisterDialog::onClear);
  connect(grid_, &SheetGridView::insertRowRequested, this, [this](int row) {
    commitCellEditor();
    model_.insertRow(row + 1);
    refresh();
  });
  connect(grid_, &SheetGridView::deleteRowsRequested, this, [this] {
    commitCellEditor();
    model_.deleteRows(selectedRows());
    refresh();
  });
  // Scrolling while a name is typed ends the editing (the editor would no
  // longer stand over its cell).
  connect(grid_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
    if (model_.inPlaceEditing() && !openingEditor_) commitCellEditor();
  });

  cellEditor_ = new QLineEdit(grid_->viewport());
  cellEditor_->setObjectName(QStringLiteral("cellEditor"));
  cellEditor_->setProperty(kOwnsEnterProperty, true);
  cellEditor_->setFrame(false);
  cellEditor_->setTextMargins(2, 0, 2, 0);
  cellEditor_->setCursor(Qt::BlankCursor);
  cellEditor_->hide();
  cellEditor_->installEventFilter(this);

  const auto [ok, cancel] = okCancelButtons(*this);
  auto* up = new QPushButton(QStringLiteral("↑"), this);
  up->setObjectName(QStringLiteral("upButton"));
  auto* down = new QPushButton(QStringLiteral("↓"), this);
  down->setObjectName(QStringLiteral("downButton"));
  auto* remove = new QPushButton(QStringLiteral("削除"), this);
  remove->setObjectName(QStringLiteral("deleteButton"));
  importButton_ = new QPushButton(QStringLiteral("Ver.4 追加"), this);
  importButton_->setObjectName(QStringLiteral("importButton"));
  connect(up, &QPushButton::clicked, this, [this] { onButton(&TesterRegisterModel::moveUp); });
  connect(down, &QPushButton::clicked, this, [this] { onButton(&TesterRegisterModel::moveDown); });
  connect(remove, &QPushButton::clicked, this, [this] { onButton(&TesterRegisterModel::deleteSelectedRow); });
  connect(importButton_, &QPushButton::clicked, this, [this] { onButton(&TesterRegisterModel::importPrevious); });

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addSpacing(18);
  buttons->addWidget(up);
  buttons->addWidget(down);
  buttons->addWidget(remove);
  buttons->addSpacing(18);
  buttons->addWidget(importButton_);
  buttons->addStretch(1);

  auto* body = new QHBoxLayout;
  body->addWidget(grid_, 1);
  body->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(pathRow);
  layout->addLayout(body, 1);

  installEnterKeyFilter(*this);
  refresh();
  grid_->setFocus();
}

template <class Result>
void CTesterRegisterDialog::onButton(Result (TesterRegisterModel::*operation)()) {
  commitCellEditor();
  (model_.*operation)();
  refresh();
}

void CTesterRegisterDialog::refresh() {
  adapter_->reload();
  importButton_->setEnabled(model_.importAvailable());
  const int selected = model_.selectedRow();
  if (selected > 0) {
    const QModelIndex index = adapter_->index(selected - 1, 0);
    const QSignalBlocker block(grid_->selectionModel());
    if (grid_->currentIndex() != index) grid_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  }
  // The grid scrolls once it has its size on the screen.
  if (grid_->isVisible())
    if (const int row = model_.takeRowToShow()) grid_->scrollTo(adapter_->index(row - 1, 0));
}

void CTesterRegisterDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  refresh();
}

bool CTesterRegisterDialog::openCellEditor(int row, const QString& typed) {
  commitCellEditor();
  if (!model_.openCellEditor(row)) return false;
  const QModelIndex index = adapter_->index(row - 1, 0);
  openingEditor_ = true;
  grid_->scrollTo(index);
  openingEditor_ = false;
  {
    const QSignalBlocker block(grid_->selectionModel());
    grid_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  }
  // Over the cell, but not under the scroll bar.
  QRect rect = grid_->visualRect(index);
  rect.setRight(std::min(rect.right(), grid_->viewport()->width() - 1));
  cellEditor_->setGeometry(rect);
  cellEditor_->setText(typed.isNull() ? qs(model_.name(row)) : typed);
  cellEditor_->show();
  cellEditor_->setFocus(Qt::OtherFocusReason);
  cellEditor_->end(false);
  return true;
}

void CTesterRegisterDialog::commitCellEditor() {
  if (!model_.inPlaceEditing()) return;
  model_.commitCell(cellEditor_->text().toStdString());
  cellEditor_->hide();
  cellEditor_->clear();
  refresh();
}

void CTesterRegisterDialog::cancelCellEditor() {
  if (!model_.inPlaceEditing()) return;
  model_.cancelCellEditor();
  cellEditor_->hide();
  cellEditor_->clear();
  grid_->setFocus();
  refresh();
}

std::vector<int> CTesterRegisterDialog::selectedRows() const {
  std::vector<int> rows;
  for (int row : grid_->selectedRowList()) rows.push_back(row + 1);
  return rows;
}

void CTesterRegisterDialog::onCopy() {
  commitCellEditor();
  QGuiApplication::clipboard()->setText(qs(model_.copyRows(selectedRows())));
}

void CTesterRegisterDialog::onClear() {
  commitCellEditor();
  model_.clearRows(selectedRows());
  refresh();
}

void CTesterRegisterDialog::onPaste() {
  commitCellEditor();
  const QModelIndex current = grid_->currentIndex();
  if (current.isValid() && model_.pasteNames(current.row() + 1, QGuiApplication::clipboard()->text().toStdString()))
    refresh();
}

void CTesterRegisterDialog::moveCellEditor(RegisterKey key) {
  const int row = model_.editorRow();
  commitCellEditor();
  if (const auto next = model_.rowAfter(key, row)) {
    openCellEditor(*next);
  } else {
    grid_->setFocus();
  }
}

bool CTesterRegisterDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == cellEditor_ && model_.inPlaceEditing()) {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter: moveCellEditor(RegisterKey::Enter); return true;
      case Qt::Key_Up: moveCellEditor(RegisterKey::Up); return true;
      case Qt::Key_Down: moveCellEditor(RegisterKey::Down); return true;
      case Qt::Key_Tab:
      case Qt::Key_Backtab: {
        commitCellEditor();
        grid_->setFocus();
        QKeyEvent tab(QEvent::KeyPress, key->key(), key->modifiers());
        QCoreApplication::sendEvent(this, &tab);
        return true;
      }
      case Qt::Key_Escape:
        // Only this name's edit is dropped; the dialog stays.
        cancelCellEditor();
        return true;
      default: break;
      }
    } else if (event->type() == QEvent::FocusOut &&
               static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
               static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason) {
      commitCellEditor();
    }
    return false;
  }
  if (watched == grid_ && event->type() == QEvent::Leave && model_.inPlaceEditing()) {
    // The pointer left the grid: editing ends there.
    commitCellEditor();
    grid_->setFocus();
  }
  return QDialog::eventFilter(watched, event);
}

void CTesterRegisterDialog::accept() {
  // OK while a name is typed only ends the typing.
  if (model_.inPlaceEditing()) {
    commitCellEditor();
    grid_->setFocus();
    return;
  }
  if (!model_.storeRegister()) return;
  QDialog::accept();
}

void CTesterRegisterDialog::reject() {
  commitCellEditor();
  if (model_.confirmCancel()) QDialog::reject();
}

bool runTesterRegisterEditor(QWidget* parent) {
  const Settings& settings = theSettings();
  TesterRegisterModel model;
  model.openRegister(hostPath(settings.location.testerRegisterFile()),
                     hostPath(TesterRegisterModel::previousRegisterFile(settings.location.installFolder())));
  CTesterRegisterDialog dialog(model, parent);
  return dialog.exec() == QDialog::Accepted;
}

} // namespace tov
