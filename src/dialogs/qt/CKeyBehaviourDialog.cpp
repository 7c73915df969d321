#include "dialogs/qt/CKeyBehaviourDialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialogs/SetupModel.h"
#include "dialogs/qt/CancelQuestion.h"
#include "dialogs/qt/DialogWidgets.h"
#include "dialogs/qt/EnterKeyFilter.h"
#include "files/Settings.h"

namespace tov {

CKeyBehaviourDialog::CKeyBehaviourDialog(int enterKeyMode, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("keyBehaviourDialog"));
  setWindowTitle(QStringLiteral("キーの動作"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);

  auto* box = new QGroupBox(QStringLiteral("Enterキー (Returnキー)"), this);
  auto* grid = new QGridLayout(box);
  grid->setHorizontalSpacing(16);
  grid->addWidget(new QLabel(QStringLiteral("データ入力画面での動作"), box), 0, 0, 1, 2);
  modes_ = new QButtonGroup(this);
  for (int mode = 0; mode < 3; ++mode) {
    auto* radio = new QRadioButton(QString::fromUtf8(kKeyBehaviourChoices[mode].button), box);
    radio->setObjectName(QStringLiteral("enterKeyMode%1").arg(mode));
    modes_->addButton(radio, mode);
    grid->addWidget(radio, mode + 1, 0);
    grid->addWidget(new QLabel(QString::fromUtf8(kKeyBehaviourChoices[mode].description), box), mode + 1, 1);
  }
  auto* note = new QLabel(QStringLiteral("漢字変換やドロップダウン選択等では常にWindowsの\n標準動作になります"), box);
  note->setForegroundRole(QPalette::PlaceholderText);
  grid->addWidget(note, 4, 0, 1, 2);
  grid->setRowMinimumHeight(4, note->sizeHint().height() + 8);
  modes_->button(keyBehaviourButton(enterKeyMode))->setChecked(true);

  const auto [ok, cancel] = okCancelButtons(*this);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addStretch(1);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(box, 1);
  layout->addLayout(buttons);
  installEnterKeyFilter(*this);
  installCancelQuestion(*this);
}

int CKeyBehaviourDialog::enterKeyMode() const { return modes_->checkedId(); }

bool runKeyBehaviourEditor(QWidget* parent) {
  Settings& settings = theSettings();
  CKeyBehaviourDialog dialog(settings.display.enterKeyMode, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  settings.display.enterKeyMode = dialog.enterKeyMode();
  settings.saveSettings();
  return true;
}

} // namespace tov
