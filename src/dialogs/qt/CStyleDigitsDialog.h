#pragma once
// The settings dialog "様式/桁数": the widgets over a StyleDigitsModel.
#include <QDialog>

#include <array>

#include "dialogs/StyleDigitsModel.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QWidget;

namespace tov {

class CStyleDigitsDialog : public QDialog {
  Q_OBJECT
public:
  // The model is opened already; OK stores into target.
  CStyleDigitsDialog(StyleDigitsModel& model, DisplaySettings& target, QWidget* parent = nullptr);

  void accept() override;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QWidget* headingsGroup();
  QWidget* digitsGroup();
  QWidget* graphGroup();
  QWidget* sizesGroup();
  QWidget* tableGroup();
  QLineEdit* intEdit(StyleField field, const char* name, int digits = 4);
  QComboBox* textCombo(StyleField field, const char* name);
  QAbstractButton* checkBox(StyleOption option, const char* name, const char* label);
  QComboBox* optionList(StyleOption option, const char* name);
  // Shows the model's state.
  void refresh();

  StyleDigitsModel& model_;
  DisplaySettings& target_;
  std::array<QWidget*, kStyleFieldCount> fields_{};
  std::array<QWidget*, kStyleOptionCount> options_{};
  QButtonGroup* gradientLine_ = nullptr;
  QLineEdit* widthMirror_ = nullptr;
};

// The command "様式・桁数(&Y)": the dialog on the settings; on OK they are
// stored and Sys.ndx is written.
bool runStyleDigitsEditor(QWidget* parent, Settings& settings);

} // namespace tov
