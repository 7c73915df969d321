#pragma once
// The headings editor "見出し": the widgets over a HeadingsModel. Every
// event goes to a model operation; the dialog then shows what the model
// holds.
#include <QDialog>

#include <array>

#include "dialogs/HeadingsModel.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;

namespace tov {

class CHeadingsDialog : public QDialog {
  Q_OBJECT
public:
  explicit CHeadingsDialog(HeadingsModel& model, QWidget* parent = nullptr);

  HeadingsModel& model() { return model_; }
  // The widget that shows an item (a QLineEdit or a QComboBox).
  QWidget* field(HeadingItem item) const { return fields_[static_cast<std::size_t>(item)]; }

  void accept() override;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QLineEdit* makeEdit(HeadingItem item, int widthChars = 0);
  QComboBox* makeCombo(HeadingItem item, const std::vector<std::string>& choices);
  QWidget* buildIdentification();
  QWidget* buildGeometry();
  QWidget* buildTitles();
  QWidget* buildFormulaPanel();
  QWidget* resultRow(HeadingItem result, QPushButton*& up, const char* upName);
  void setUpTabOrder();
  // Runs the rule of a field that is being left (the depth, ho or hs).
  void fieldLeft(QObject* field);
  // Shows the model's state.
  void refresh();

  HeadingsModel& model_;
  std::array<QWidget*, kHeadingItemCount> fields_{};
  QComboBox* exponentPicker_ = nullptr;
  QComboBox* measured_ = nullptr;
  QCheckBox* showGeology_ = nullptr;
  QCheckBox* showNValue_ = nullptr;
  QCheckBox* relevantOnly_ = nullptr;
  QButtonGroup* formulas_ = nullptr;
  QPushButton* flowUp_ = nullptr;
  QPushButton* levelUp_ = nullptr;
  QPushButton* headDifferenceUp_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
};

// The headings command: the editor on the record's headings; on OK they go
// back into the record (the command's follow-up then derives h, s and k).
bool runHeadingsEditor(QWidget* parent, TestRecord& record);

} // namespace tov
