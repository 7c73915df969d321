#pragma once
// The tester register editor "マスタファイル 試験者": the widgets over a
// TesterRegisterModel, with the in-place editor over the grid's cells.
#include <QAbstractTableModel>
#include <QDialog>
#include <QTableView>

#include "dialogs/TesterRegisterModel.h"
#include "dialogs/qt/SheetGrid.h"

class QLineEdit;
class QPushButton;

namespace tov {

// The grid's one column, read from the model.
class RegisterGridAdapter : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit RegisterGridAdapter(const TesterRegisterModel& model, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // The rows may have changed (also in number).
  void reload();

private:
  const TesterRegisterModel& model_;
  int rows_ = 0;  // as the view knows them
};

class CTesterRegisterDialog : public QDialog {
  Q_OBJECT
public:
  // The model is opened already.
  explicit CTesterRegisterDialog(TesterRegisterModel& model, QWidget* parent = nullptr);

  TesterRegisterModel& model() { return model_; }
  // Opens the in-place editor on a row (from 1), as a double click does, or
  // with a typed text in place of the name.
  bool openCellEditor(int row, const QString& typed = QString());

  void accept() override;
  void reject() override;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  void commitCellEditor();
  void cancelCellEditor();
  void moveCellEditor(RegisterKey key);
  std::vector<int> selectedRows() const;
  void onCopy();
  void onPaste();
  void onClear();
  // A button's operation on the register, after the editor has committed.
  template <class Result>
  void onButton(Result (TesterRegisterModel::*operation)());
  // Shows the model's state.
  void refresh();

  TesterRegisterModel& model_;
  RegisterGridAdapter* adapter_ = nullptr;
  SheetGridView* grid_ = nullptr;
  QLineEdit* cellEditor_ = nullptr;
  QPushButton* importButton_ = nullptr;
  bool openingEditor_ = false;
};

// The register command: the editor on the install folder's M.mst, which it
// writes on OK.
bool runTesterRegisterEditor(QWidget* parent);

} // namespace tov
