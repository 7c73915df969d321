#pragma once
// "セットアップ": the install location (drive and folder).
#include <QDialog>

#include "dialogs/SetupModel.h"

class QLineEdit;

namespace tov {

class CSetupDialog : public QDialog {
  Q_OBJECT
public:
  // The model is opened already; windowsDrive serves "標準の設定".
  CSetupDialog(SetupModel& model, std::string windowsDrive, QWidget* parent = nullptr);

  void accept() override;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void folderLeft();
  void refresh();

  SetupModel& model_;
  std::string windowsDrive_;
  QLineEdit* drive_ = nullptr;
  QLineEdit* folder_ = nullptr;
};

// The command: on OK the location is stored, the marker written and the
// settings and fonts read again from the new place.
bool runSetupEditor(QWidget* parent);

} // namespace tov
