#pragma once
// The readings editors "非定常法 測定データ" and "定常法 測定データ": the
// widgets over a ReadingsModel. Every event goes to a model operation;
// the dialog then shows what the model holds.
#include <QAbstractTableModel>
#include <QDialog>
#include <QTableView>
#include <QWidget>

#include "dialogs/ReadingsModel.h"
#include "dialogs/qt/SheetGrid.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tov {

// The grid's texts, read from the model.
class ReadingsGridAdapter : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit ReadingsGridAdapter(const ReadingsModel& model, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Every cell may have changed.
  void reload();

private:
  const ReadingsModel& model_;
};

// The preview area, drawn by the model on the QPainter surface.
class ReadingsPreview : public QWidget {
  Q_OBJECT
public:
  explicit ReadingsPreview(const ReadingsModel& model, QWidget* parent = nullptr);
  QSize sizeHint() const override { return {340, 260}; }
  // Where the axis ends lie, in from the edges: under the middle of the
  // axis fields beside the preview.
  void setInsets(int x, int y) { insetX_ = x, insetY_ = y; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  const ReadingsModel& model_;
  int insetX_ = 0, insetY_ = 0;
};

class CReadingsDialog : public QDialog {
  Q_OBJECT
public:
  // The model is opened already; OK stores into target.
  CReadingsDialog(ReadingsModel& model, ReadingTable& target, QWidget* parent = nullptr);

  ReadingsModel& model() { return model_; }
  // Opens the in-place editor on a cell (rows and columns from 1), as a
  // double click does, or with a typed text in place of the cell's; false
  // when it cannot open there.
  bool openCellEditor(int row, int column, const QString& typed = QString());
  bool cellEditorOpen() const { return editing_; }
  // The grid filled anew from a reading table (a logger file's import).
  void replaceReadings(const ReadingTable& table);

  void accept() override;
  void reject() override;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  QWidget* buildLeftPanel();
  QWidget* buildRightPanel();
  QLineEdit* makeEntry(ReadingColumn kind, const char* name);
  void setUpTabOrder();
  // Shows the model's state; with the grid's selection when it changed.
  void refresh();
  void commitCellEditor();
  // Escape: the cell keeps its text.
  void cancelCellEditor();
  void moveCellEditor(CellKey key);
  void onCopy();
  void onCut();
  void onPaste();
  void onClear();
  // Enter in an entry field: on to the next field; in the last one the
  // reading goes in, whichever row is current.
  void entryEnter(QWidget* field);
  void entryLostFocus(ReadingColumn kind);
  // A reading typed into the entry fields and not added is asked about
  // before they are replaced; false: what was about to happen stops.
  bool settleEntries();

  ReadingsModel& model_;
  ReadingTable& target_;
  ReadingsGridAdapter* adapter_ = nullptr;
  SheetGridView* grid_ = nullptr;
  QLineEdit* cellEditor_ = nullptr;
  QWidget* leftPanel_ = nullptr;
  QLineEdit* entries_[ReadingsModel::kMaxColumns] = {};
  QComboBox* exponentPicker_ = nullptr;
  QPushButton* addButton_ = nullptr;
  QPushButton* overwriteButton_ = nullptr;
  QPushButton* deleteButton_ = nullptr;
  QCheckBox* autoIncrement_ = nullptr;
  QLabel* pipeTopLabel_ = nullptr;
  QLineEdit* pipeTopHeight_ = nullptr;
  ReadingsPreview* preview_ = nullptr;
  QLineEdit* axisEdits_[4] = {};
  QPushButton* drawButton_ = nullptr;
  QPushButton* autoScaleButton_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  bool editing_ = false;
  bool openingEditor_ = false;
  bool syncingGrid_ = false;  // the grid's current cell is set from the model
  GridCell editorCell_;
  int shownSelection_ = -1;
  bool firstShow_ = true;
};

// The readings command: the editor on a copy of the record's readings; on
// OK the readings and the preview's axis texts go back into the record.
bool runReadingsEditor(QWidget* parent, TestRecord& record, ReadingsMethod method);

} // namespace tov
