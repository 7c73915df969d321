#pragma once
// The dialog "ページ書式": the widgets over a PageFormatModel.
#include <QDialog>

#include <array>

#include "dialogs/PageFormatModel.h"

class QCheckBox;
class QLineEdit;

namespace tov {

class CPageFormatDialog : public QDialog {
  Q_OBJECT
public:
  // The model is opened already.
  explicit CPageFormatDialog(PageFormatModel& model, QWidget* parent = nullptr);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QWidget* field(PageField field, const char* name);
  // Shows the model's state.
  void refresh();

  PageFormatModel& model_;
  std::array<QWidget*, kPageFieldCount> fields_{};
  std::array<QLineEdit*, 2> samples_{};
  QCheckBox* centred_ = nullptr;
};

// The command "ページ設定(&P)": the dialog on the test's page format; on OK
// the fields go back into the record (the footer warning after them).
bool runPageFormatEditor(QWidget* parent, TestRecord& record, int paperHeightMm, double footerFontPoints);

} // namespace tov
