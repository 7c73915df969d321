#pragma once
// "キーの動作": what the Enter key does in the data-entry dialogs.
#include <QDialog>

class QButtonGroup;

namespace tov {

class CKeyBehaviourDialog : public QDialog {
  Q_OBJECT
public:
  // Opens with the button of the mode selected.
  explicit CKeyBehaviourDialog(int enterKeyMode, QWidget* parent = nullptr);
  // The mode of the selected button.
  int enterKeyMode() const;

private:
  QButtonGroup* modes_ = nullptr;
};

// The command: on OK the choice goes into the settings, which are saved.
bool runKeyBehaviourEditor(QWidget* parent);

} // namespace tov
