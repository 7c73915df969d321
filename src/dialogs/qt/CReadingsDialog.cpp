#include "dialogs/qt/CImportDialog.h"
#include "dialogs/qt/CReadingsDialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>
#include <utility>

#include "qt/QtSurface.h"
#include "dialogs/qt/DialogWidgets.h"
#include "dialogs/qt/EnterKeyFilter.h"
#include "record/Messages.h"

namespace tov {

namespace {

QString qs(const std::string& text) { return qtext(text); }
std::string text(const QString& s) { return utf8(s); }

struct EntryCaption {
  ReadingColumn kind;
  const char* caption;
  const char* unit;
};
const EntryCaption kEntryCaptions[] = {
    {ReadingColumn::Time, "経過時間", "t s"},
    {ReadingColumn::PipeLevel, "管口からの水位", "h' m"},
    {ReadingColumn::FlowMantissa, "流量", "Q m3/s"},
    {ReadingColumn::ClockTime, "測定時刻", "hh:mm"},
};

// Axis texts in the order of the edits: t from, t to, h' bottom, h' top.
std::string& axisText(PreviewAxes& axes, int i) {
  switch (i) {
  case 0: return axes.timeFrom;
  case 1: return axes.timeTo;
  case 2: return axes.levelBottom;
  default: return axes.levelTop;
  }
}

} // namespace

// ------------------------------------------------------------ grid adapter

ReadingsGridAdapter::ReadingsGridAdapter(const ReadingsModel& model, QObject* parent)
    : QAbstractTableModel(parent), model_(model) {}

int ReadingsGridAdapter::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ReadingsModel::kRows;
}

int ReadingsGridAdapter::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : model_.columnCount();
}

QVariant ReadingsGridAdapter::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole) return qs(model_.cell(index.row() + 1, index.column() + 1));
  if (role == Qt::TextAlignmentRole) return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  // A cell whose in-place edit failed its check is marked and says why.
  if (model_.cellMarked(index.row() + 1, index.column() + 1)) {
    if (role == Qt::BackgroundRole) return QColor(0xff, 0xc8, 0xc8);
    if (role == Qt::ToolTipRole)
      return qs(model_.cellProblem(index.column() + 1, model_.cell(index.row() + 1, index.column() + 1)));
  }
  return {};
}

QVariant ReadingsGridAdapter::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return QString::fromUtf8(model_.columnTitle(section + 1));
  return section + 1;
}

void ReadingsGridAdapter::reload() {
  emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

// ----------------------------------------------------------------- preview

ReadingsPreview::ReadingsPreview(const ReadingsModel& model, QWidget* parent) : QWidget(parent), model_(model) {
  setObjectName(QStringLiteral("preview"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(240, 180);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ReadingsPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  {
    QtSurface surface(painter);
    model_.drawPreview(surface, width(), height(), insetX_, insetY_);
    surface.flush();
  }
  painter.setClipping(false);
  painter.setPen(QColor(0xa0, 0xa0, 0xa0));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// ------------------------------------------------------------------ dialog

CReadingsDialog::CReadingsDialog(ReadingsModel& model, ReadingTable& target, QWidget* parent)
    : QDialog(parent), model_(model), target_(target) {
  const bool steady = model_.method() == ReadingsMethod::Steady;
  setObjectName(steady ? QStringLiteral("steadyReadingsDialog") : QStringLiteral("unsteadyReadingsDialog"));
  setWindowTitle(steady ? QStringLiteral("定常法 測定データ") : QStringLiteral("非定常法 測定データ"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);

  auto* panels = new QHBoxLayout;
  panels->addWidget(buildLeftPanel(), 0);
  panels->addWidget(buildRightPanel(), 1);

  std::tie(okButton_, cancelButton_) = okCancelButtons(*this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(panels, 1);
  layout->addLayout(buttons);

  setUpTabOrder();
  installEnterKeyFilter(*this);
  refresh();
}

QLineEdit* CReadingsDialog::makeEntry(ReadingColumn kind, const char* name) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::fromUtf8(name));
  // As wide as the layout gives: the grid above sets the panel's width.
  edit->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00000.00")) + 8);
  const int column = model_.columnOf(kind);
  entries_[column - 1] = edit;
  connect(edit, &QLineEdit::textEdited, this, [this, column](const QString& value) { model_.setEntry(column, text(value)); });
  edit->installEventFilter(this);
  // Enter moves on to the next field whatever the Enter-key setting.
  edit->setProperty(kOwnsEnterProperty, true);
  return edit;
}

QWidget* CReadingsDialog::buildLeftPanel() {
  leftPanel_ = new QWidget(this);
  leftPanel_->setObjectName(QStringLiteral("leftPanel"));
  leftPanel_->installEventFilter(this);
  leftPanel_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);

  adapter_ = new ReadingsGridAdapter(model_, this);
  grid_ = new SheetGridView(leftPanel_);
  grid_->setObjectName(QStringLiteral("grid"));
  grid_->setModel(adapter_);
  setUpSheetGrid(*grid_);
  grid_->horizontalHeader()->setStretchLastSection(false);
  int gridWidth = grid_->verticalHeader()->sizeHint().width() + grid_->verticalScrollBar()->sizeHint().width() + 4;
  for (int c = 1; c <= model_.columnCount(); ++c) {
    // Wide enough for the texts at this screen's font size.
    const int width = std::max(model_.columnWidth(c), grid_->fontMetrics().horizontalAdvance(QStringLiteral("0000000.00")));
    grid_->setColumnWidth(c - 1, width);
    gridWidth += width;
  }
  grid_->setFixedWidth(gridWidth);
  grid_->setMinimumHeight(grid_->verticalHeader()->defaultSectionSize() * 16);
  // The current cell's row goes into the entry fields (an empty row clears
  // them for a new reading).
  connect(grid_, &SheetGridView::currentCellChanged, this, [this](int row, int) {
    if (syncingGrid_ || editing_) return;
    if (row + 1 == model_.selectedRow() && model_.currentRow() == row + 1) return;
    if (!settleEntries()) return;
    model_.selectRow(row + 1);
    shownSelection_ = model_.selectedRow();  // the grid shows it already
    refresh();
  });
  connect(grid_, &QTableView::doubleClicked, this,
          [this](const QModelIndex& index) { openCellEditor(index.row() + 1, index.column() + 1); });
  connect(grid_, &SheetGridView::editRequested, this, [this](const QModelIndex& index, const QString& typed) {
    openCellEditor(index.row() + 1, index.column() + 1, typed);
  });
  connect(grid_, &SheetGridView::copyRequested, this, &CReadingsDialog::onCopy);
  connect(grid_, &SheetGridView::cutRequested, this, &CReadingsDialog::onCut);
  connect(grid_, &SheetGridView::pasteRequested, this, &CReadingsDialog::onPaste);
  connect(grid_, &SheetGridView::clearRequested, this, &CReadingsDialog::onClear);
  connect(grid_, &SheetGridView::insertRowRequested, this, [this](int row) {
    commitCellEditor();
    if (!settleEntries()) return;
    if (model_.insertRow(row + 1)) shownSelection_ = -1;
    refresh();
  });
  connect(grid_, &SheetGridView::deleteRowsRequested, this, [this] {
    commitCellEditor();
    if (!settleEntries()) return;
    std::vector<int> rows;
    for (int row : grid_->selectedRowList()) rows.push_back(row + 1);
    if (model_.deleteRows(rows)) shownSelection_ = -1;
    refresh();
  });
  // Scrolling the grid while a cell is edited ends the editing (the editor
  // would no longer stand over its cell).
  connect(grid_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
    if (editing_ && !openingEditor_) {
      commitCellEditor();
      grid_->setFocus();
    }
  });

  cellEditor_ = new QLineEdit(grid_->viewport());
  cellEditor_->setObjectName(QStringLiteral("cellEditor"));
  cellEditor_->setProperty(kOwnsEnterProperty, true);
  cellEditor_->setFrame(false);
  cellEditor_->setTextMargins(3, 0, 3, 0);
  // The pointer is hidden over the cell being typed into.
  cellEditor_->setCursor(Qt::BlankCursor);
  cellEditor_->hide();
  cellEditor_->installEventFilter(this);

  auto* entryGrid = new QGridLayout;
  entryGrid->setHorizontalSpacing(8);
  entryGrid->setVerticalSpacing(2);
  int layoutColumn = 0;
  for (const EntryCaption& caption : kEntryCaptions) {
    if (!model_.columnOf(caption.kind)) continue;
    auto* title = new QLabel(QString::fromUtf8(caption.caption), leftPanel_);
    auto* unit = new QLabel(QString::fromUtf8(caption.unit), leftPanel_);
    QFont small = unit->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    unit->setFont(small);
    unit->setStyleSheet(QStringLiteral("color: palette(mid);"));
    QWidget* field = nullptr;
    switch (caption.kind) {
    case ReadingColumn::Time: field = makeEntry(caption.kind, "entryTime"); break;
    case ReadingColumn::PipeLevel: field = makeEntry(caption.kind, "entryPipeLevel"); break;
    case ReadingColumn::ClockTime: field = makeEntry(caption.kind, "entryClockTime"); break;
    case ReadingColumn::FlowMantissa: {
      // Q as a mantissa and the exponent picker beside it.
      auto* row = new QWidget(leftPanel_);
      auto* rowLayout = new QHBoxLayout(row);
      rowLayout->setContentsMargins(0, 0, 0, 0);
      rowLayout->setSpacing(2);
      rowLayout->addWidget(makeEntry(caption.kind, "entryFlow"), 1);
      exponentPicker_ = new QComboBox(row);
      exponentPicker_->setObjectName(QStringLiteral("entryExponent"));
      for (const std::string& choice : ReadingsModel::exponentChoices()) exponentPicker_->addItem(qs(choice));
      const int exponentColumn = model_.columnOf(ReadingColumn::FlowExponent);
      entries_[exponentColumn - 1] = nullptr;
      connect(exponentPicker_, &QComboBox::activated, this, [this, exponentColumn] {
        model_.setEntry(exponentColumn, text(exponentPicker_->currentText()));
      });
      exponentPicker_->installEventFilter(this);
      exponentPicker_->setProperty(kOwnsEnterProperty, true);
      rowLayout->addWidget(exponentPicker_);
      field = row;
      break;
    }
    case ReadingColumn::FlowExponent: break;
    }
    entryGrid->addWidget(title, 0, layoutColumn);
    entryGrid->addWidget(unit, 1, layoutColumn);
    entryGrid->addWidget(field, 2, layoutColumn);
    entryGrid->setColumnStretch(layoutColumn, caption.kind == ReadingColumn::FlowMantissa ? 2 : 1);
    ++layoutColumn;
  }

  addButton_ = new QPushButton(QStringLiteral("追加"), leftPanel_);
  addButton_->setObjectName(QStringLiteral("addButton"));
  overwriteButton_ = new QPushButton(QStringLiteral("上書き"), leftPanel_);
  overwriteButton_->setObjectName(QStringLiteral("overwriteButton"));
  deleteButton_ = new QPushButton(QStringLiteral("行削除"), leftPanel_);
  deleteButton_->setObjectName(QStringLiteral("deleteButton"));
  autoIncrement_ = new QCheckBox(QStringLiteral("時間自動増分"), leftPanel_);
  autoIncrement_->setObjectName(QStringLiteral("autoIncrement"));
  connect(addButton_, &QPushButton::clicked, this, [this] {
    model_.addReading(true);
    refresh();
  });
  connect(overwriteButton_, &QPushButton::clicked, this, [this] {
    model_.overwriteReading(true);
    refresh();
  });
  connect(deleteButton_, &QPushButton::clicked, this, [this] {
    model_.deleteSelectedRow();
    refresh();
  });
  connect(autoIncrement_, &QCheckBox::toggled, this, [this](bool on) { model_.setAutoIncrement(on); });
  auto* actions = new QHBoxLayout;
  actions->addWidget(addButton_);
  actions->addWidget(overwriteButton_);
  actions->addWidget(deleteButton_);
  actions->addStretch(1);
  actions->addWidget(autoIncrement_);

  auto* entryBox = new QGroupBox(QStringLiteral("測定値の入力"), leftPanel_);
  entryBox->setObjectName(QStringLiteral("entryBox"));
  auto* entryLayout = new QVBoxLayout(entryBox);
  entryLayout->addLayout(entryGrid);
  entryLayout->addLayout(actions);

  auto* layout = new QVBoxLayout(leftPanel_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(grid_, 1, Qt::AlignLeft);
  layout->addWidget(entryBox);
  return leftPanel_;
}

QWidget* CReadingsDialog::buildRightPanel() {
  auto* panel = new QWidget(this);
  panel->setObjectName(QStringLiteral("rightPanel"));

  pipeTopLabel_ = new QLabel(QStringLiteral("管口高さ ="), panel);
  pipeTopLabel_->setObjectName(QStringLiteral("pipeTopLabel"));
  pipeTopHeight_ = new QLineEdit(panel);
  pipeTopHeight_->setObjectName(QStringLiteral("pipeTopHeight"));
  pipeTopHeight_->setReadOnly(true);
  pipeTopHeight_->setFocusPolicy(Qt::NoFocus);
  pipeTopHeight_->setMaximumWidth(pipeTopHeight_->fontMetrics().horizontalAdvance(QStringLiteral("000000.000")) + 16);
  auto* pipeRow = new QHBoxLayout;
  pipeRow->addWidget(pipeTopLabel_);
  pipeRow->addWidget(pipeTopHeight_);
  pipeRow->addWidget(new QLabel(QStringLiteral("m"), panel));
  pipeRow->addStretch(1);

  preview_ = new ReadingsPreview(model_, panel);
  const char* names[4] = {"previewTimeFrom", "previewTimeTo", "previewLevelBottom", "previewLevelTop"};
  const char* tips[4] = {"グラフ左端の t", "グラフ右端の t", "グラフ下端の h'", "グラフ上端の h'"};
  for (int i = 0; i < 4; ++i) {
    auto* edit = new QLineEdit(panel);
    edit->setObjectName(QString::fromUtf8(names[i]));
    edit->setToolTip(QString::fromUtf8(tips[i]));
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("-0000000")) + 12);
    connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& value) {
      PreviewAxes axes = model_.previewAxes();
      axisText(axes, i) = text(value);
      model_.setPreviewAxes(std::move(axes));
    });
    connect(edit, &QLineEdit::editingFinished, this, [this] {
      model_.checkPreviewAxes();
      refresh();
    });
    axisEdits_[i] = edit;
  }
  axisEdits_[1]->setAlignment(Qt::AlignRight);
  // The h' ends level with the middle of their fields, the t ends where
  // the fields' texts begin and end: each field beside its value.
  preview_->setInsets(6, axisEdits_[3]->sizeHint().height() / 2);

  auto* graph = new QGridLayout;
  graph->setSpacing(4);
  graph->addWidget(new QLabel(QStringLiteral("h' m"), panel), 0, 0, Qt::AlignRight);
  graph->addWidget(axisEdits_[3], 1, 0, Qt::AlignTop);
  graph->addWidget(axisEdits_[2], 3, 0, Qt::AlignBottom);
  graph->addWidget(preview_, 1, 1, 3, 3);
  graph->addWidget(axisEdits_[0], 4, 1, Qt::AlignLeft);
  graph->addWidget(new QLabel(QStringLiteral("t s"), panel), 4, 2, Qt::AlignCenter);
  graph->addWidget(axisEdits_[1], 4, 3, Qt::AlignRight);
  graph->setRowStretch(2, 1);
  graph->setColumnStretch(2, 1);

  drawButton_ = new QPushButton(QStringLiteral("グラフ描画"), panel);
  drawButton_->setObjectName(QStringLiteral("drawButton"));
  connect(drawButton_, &QPushButton::clicked, this, [this] {
    model_.checkPreviewAxes();
    refresh();
  });
  autoScaleButton_ = new QPushButton(QStringLiteral("自動目盛り"), panel);
  autoScaleButton_->setObjectName(QStringLiteral("autoScaleButton"));
  autoScaleButton_->setToolTip(QStringLiteral("測定データに合わせて目盛りを設定し、データが変わると合わせ直します"));
  connect(autoScaleButton_, &QPushButton::clicked, this, [this] {
    model_.fitPreviewAxes();
    refresh();
  });
  auto* drawRow = new QHBoxLayout;
  drawRow->addStretch(1);
  drawRow->addWidget(drawButton_);
  drawRow->addWidget(autoScaleButton_);

  auto* previewBox = new QGroupBox(QStringLiteral("グラフ"), panel);
  previewBox->setObjectName(QStringLiteral("previewBox"));
  auto* boxLayout = new QVBoxLayout(previewBox);
  boxLayout->addLayout(graph, 1);
  boxLayout->addLayout(drawRow);

  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(pipeRow);
  layout->addWidget(previewBox, 1);
  return panel;
}

void CReadingsDialog::setUpTabOrder() {
  QList<QWidget*> order;
  for (int c = 1; c <= model_.columnCount(); ++c) {
    if (model_.columnKind(c) == ReadingColumn::FlowExponent)
      order << exponentPicker_;
    else
      order << entries_[c - 1];
  }
  order << addButton_ << overwriteButton_ << deleteButton_ << autoIncrement_ << grid_ << axisEdits_[3]
        << axisEdits_[2] << axisEdits_[0] << axisEdits_[1] << drawButton_ << autoScaleButton_ << okButton_
        << cancelButton_;
  for (int i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void CReadingsDialog::refresh() {
  adapter_->reload();
  for (int c = 1; c <= model_.columnCount(); ++c) {
    if (model_.columnKind(c) == ReadingColumn::FlowExponent) {
      const QString wanted = qs(model_.entry(c));
      int index = exponentPicker_->findText(wanted);
      if (index < 0) {
        // A text typed into the grid that is not in the list is shown as it
        // is rather than dropped.
        exponentPicker_->addItem(wanted);
        index = exponentPicker_->count() - 1;
      }
      exponentPicker_->setCurrentIndex(index);
    } else {
      setTextIfChanged(entries_[c - 1], model_.entry(c));
    }
  }
  addButton_->setEnabled(model_.addEnabled());
  autoIncrement_->setChecked(model_.autoIncrement());
  pipeTopHeight_->setText(qs(model_.pipeTopHeight()));
  pipeTopLabel_->setVisible(model_.pipeTopKnown());
  model_.followReadings();
  PreviewAxes axes = model_.previewAxes();
  for (int i = 0; i < 4; ++i) setTextIfChanged(axisEdits_[i], axisText(axes, i));

  if (shownSelection_ != model_.selectedRow()) {
    shownSelection_ = model_.selectedRow();
    const bool wasSyncing = std::exchange(syncingGrid_, true);
    grid_->clearSelection();
    if (shownSelection_ > 0) {
      const int column = grid_->currentIndex().isValid() ? grid_->currentIndex().column() : 0;
      const QModelIndex index = adapter_->index(shownSelection_ - 1, column);
      grid_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
    syncingGrid_ = wasSyncing;
  }
  if (const int row = model_.takeRowToShow()) grid_->scrollTo(adapter_->index(row - 1, 0));
  switch (model_.takeFocusRequest()) {
  case FocusRequest::EntryTime:
    // Ready for the next reading: t with the automatic increment selected,
    // to be kept or typed over.
    entries_[0]->setFocus();
    entries_[0]->selectAll();
    break;
  case FocusRequest::EntryPipeLevel: entries_[model_.columnOf(ReadingColumn::PipeLevel) - 1]->setFocus(); break;
  case FocusRequest::Grid: grid_->setFocus(); break;
  case FocusRequest::Unchanged: break;
  }
  preview_->update();
}

bool CReadingsDialog::openCellEditor(int row, int column, const QString& typed) {
  if (editing_) commitCellEditor();
  else if (!settleEntries()) return false;
  if (!model_.openCellEditor(row, column)) return false;
  const QModelIndex index = adapter_->index(row - 1, column - 1);
  openingEditor_ = true;
  grid_->scrollTo(index);
  openingEditor_ = false;
  editing_ = true;
  editorCell_ = GridCell{row, column};
  refresh();
  {
    const QSignalBlocker block(grid_->selectionModel());
    grid_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    grid_->viewport()->update();
  }
  cellEditor_->setGeometry(grid_->visualRect(index));
  cellEditor_->setText(typed.isNull() ? qs(model_.editorText()) : typed);
  cellEditor_->show();
  cellEditor_->setFocus(Qt::OtherFocusReason);
  cellEditor_->end(false);
  return true;
}

void CReadingsDialog::commitCellEditor() {
  if (!editing_) return;
  editing_ = false;
  const std::string value = text(cellEditor_->text());
  model_.commitCell(editorCell_.row, editorCell_.column, value);
  cellEditor_->hide();
  cellEditor_->clear();
  refresh();
}

void CReadingsDialog::cancelCellEditor() {
  if (!editing_) return;
  editing_ = false;
  model_.cancelCellEditor();
  cellEditor_->hide();
  cellEditor_->clear();
  grid_->setFocus();
  refresh();
}

void CReadingsDialog::moveCellEditor(CellKey key) {
  commitCellEditor();
  if (const auto next = model_.cellAfter(key)) {
    openCellEditor(next->row, next->column);
  } else {
    refresh();
    grid_->setFocus();
  }
}

void CReadingsDialog::onCopy() {
  const QRect block = grid_->selectedBlock();
  if (block.isNull()) return;
  QGuiApplication::clipboard()->setText(
      qs(model_.copyBlock(block.top() + 1, block.left() + 1, block.bottom() + 1, block.right() + 1)));
}

void CReadingsDialog::onCut() {
  onCopy();
  onClear();
}

void CReadingsDialog::onClear() {
  commitCellEditor();
  if (!settleEntries()) return;
  std::vector<GridCell> cells;
  for (const QModelIndex& index : grid_->selectionModel()->selectedIndexes())
    cells.push_back(GridCell{index.row() + 1, index.column() + 1});
  if (cells.empty() && grid_->currentIndex().isValid())
    cells.push_back(GridCell{grid_->currentIndex().row() + 1, grid_->currentIndex().column() + 1});
  model_.clearCells(cells);
  refresh();
}

void CReadingsDialog::replaceReadings(const ReadingTable& table) {
  const TestRecord& working = model_.workingCopy();
  model_.openReadings(table, working.pipeTopHeight(), working.equilibriumLevel(), model_.previewAxes());
  model_.markModified();
  shownSelection_ = -1;
  refresh();
}

void CReadingsDialog::onPaste() {
  commitCellEditor();
  if (!settleEntries()) return;
  const QModelIndex current = grid_->currentIndex();
  const int row = current.isValid() ? current.row() + 1 : model_.lastFilledRow() + 1;
  const int column = current.isValid() ? current.column() + 1 : 1;
  if (model_.pasteBlock(row, column, text(QGuiApplication::clipboard()->text()))) {
    shownSelection_ = -1;
    refresh();
  }
}

void CReadingsDialog::entryEnter(QWidget* field) {
  QWidget* last = entries_[model_.columnCount() - 1];
  if (field != last) {
    // Enter moves on as Tab does, and the field it reaches is marked as
    // after Tab (the style marks a picker only after a move by the keys).
    setAttribute(Qt::WA_KeyboardFocusChange);
    focusNextChild();
    return;
  }
  // The last field: the reading goes in, as a correction of the current
  // row or as a new one (the messages of 追加 say what is missing).
  model_.enterReading();
  shownSelection_ = -1;
  refresh();
}

bool CReadingsDialog::settleEntries() {
  if (model_.settlePendingEntry()) return true;
  // The grid goes back to the row the fields belong to.
  shownSelection_ = -1;
  refresh();
  return false;
}

void CReadingsDialog::entryLostFocus(ReadingColumn kind) {
  model_.updateSelectedRowFromEntry(kind);
  refresh();
}

bool CReadingsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == cellEditor_ && editing_) {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter: moveCellEditor(CellKey::Enter); return true;
      case Qt::Key_Up: moveCellEditor(CellKey::Up); return true;
      case Qt::Key_Down: moveCellEditor(CellKey::Down); return true;
      case Qt::Key_Tab:
      case Qt::Key_Backtab: {
        commitCellEditor();
        QKeyEvent tab(QEvent::KeyPress, key->key(), key->modifiers());
        QCoreApplication::sendEvent(this, &tab);
        return true;
      }
      case Qt::Key_Escape:
        // Only this cell's edit is dropped; the dialog stays.
        cancelCellEditor();
        return true;
      default: break;
      }
    } else if (event->type() == QEvent::FocusOut &&
               static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
      commitCellEditor();
    }
    return false;
  }
  if (watched == leftPanel_ && event->type() == QEvent::Leave && editing_) {
    // The pointer left the grid's side of the dialog: editing ends there.
    commitCellEditor();
    grid_->setFocus();
    return false;
  }
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    auto* field = qobject_cast<QWidget*>(watched);
    const bool entry = watched == exponentPicker_ ||
                       std::find(std::begin(entries_), std::end(entries_), field) != std::end(entries_);
    if (entry && field && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
      if (watched == exponentPicker_ && exponentPicker_->view()->isVisible()) return false;
      entryEnter(field);
      return true;
    }
  }
  if (event->type() == QEvent::FocusOut && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
    if (watched == exponentPicker_) {
      entryLostFocus(ReadingColumn::FlowExponent);
    } else {
      for (int c = 1; c <= model_.columnCount(); ++c)
        if (watched == entries_[c - 1]) entryLostFocus(model_.columnKind(c));
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CReadingsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!firstShow_) return;
  firstShow_ = false;
  // The preview is drawn at once; its axis checks (and their message) come
  // once the dialog is on the screen.
  QTimer::singleShot(0, this, [this] {
    model_.checkPreviewAxes();
    refresh();
  });
}

void CReadingsDialog::accept() {
  // Enter in the cell editor moves between cells; OK waits until it closed.
  if (model_.inPlaceEditing()) return;
  // OK by the Enter key leaves the focus where it was: an entry field that
  // corrects the current row hands its text over first.
  QWidget* focused = focusWidget();
  if (focused == exponentPicker_) entryLostFocus(ReadingColumn::FlowExponent);
  for (int c = 1; c <= model_.columnCount(); ++c)
    if (focused && focused == entries_[c - 1]) entryLostFocus(model_.columnKind(c));
  // A reading typed into the entry fields but not added is not dropped
  // without a word.
  if (!model_.settlePendingEntry()) {
    refresh();
    return;
  }
  if (!model_.checkBeforeStore()) {
    refresh();
    return;
  }
  const std::string warning = model_.storeReadings(target_);
  if (!warning.empty()) messageSink().report(warning);
  QDialog::accept();
}

void CReadingsDialog::reject() {
  commitCellEditor();
  if (model_.confirmCancel()) QDialog::reject();
}

bool runReadingsEditor(QWidget* parent, TestRecord& record, ReadingsMethod method) {
  ReadingsModel model(method);
  model.openReadings(record.readings, record.pipeTopHeight(), record.equilibriumLevel(),
                     PreviewAxes{record.previewTimeFrom(), record.previewTimeTo(), record.previewLevelBottom(),
                                 record.previewLevelTop()});
  ReadingTable stored = record.readings;
  CReadingsDialog dialog(model, stored, parent);
  // A logger file dropped on the editor is imported into its grid.
  acceptLoggerDrops(dialog, [&](const std::filesystem::path& file) {
    TestRecord imported = record;
    imported.readings = model.workingCopy().readings;
    if (runImportEditor(&dialog, imported, file)) dialog.replaceReadings(imported.readings);
  });
  if (dialog.exec() != QDialog::Accepted) return false;
  record.readings = stored;
  const PreviewAxes& axes = model.previewAxesToStore();
  record.set_previewTimeFrom(axes.timeFrom);
  record.set_previewTimeTo(axes.timeTo);
  record.set_previewLevelBottom(axes.levelBottom);
  record.set_previewLevelTop(axes.levelTop);
  return true;
}

} // namespace tov
