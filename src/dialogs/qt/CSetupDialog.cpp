#include "dialogs/qt/CSetupDialog.h"

#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/qt/CancelQuestion.h"
#include "dialogs/qt/DialogWidgets.h"
#include "dialogs/qt/EnterKeyFilter.h"
#include "files/Settings.h"

namespace tov {

namespace {
QString qs(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }
} // namespace

CSetupDialog::CSetupDialog(SetupModel& model, std::string windowsDrive, QWidget* parent)
    : QDialog(parent), model_(model), windowsDrive_(std::move(windowsDrive)) {
  setObjectName(QStringLiteral("setupDialog"));
  setWindowTitle(QStringLiteral("セットアップ"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);

  auto* box = new QGroupBox(QStringLiteral("本システムのインストール場所"), this);
  drive_ = new QLineEdit(box);
  drive_->setObjectName(QStringLiteral("drive"));
  drive_->setMaxLength(SetupModel::kDriveChars);
  drive_->setFixedWidth(drive_->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 14);
  folder_ = new QLineEdit(box);
  folder_->setObjectName(QStringLiteral("folder"));
  folder_->setMaxLength(SetupModel::kFolderChars);
  folder_->setMinimumWidth(folder_->fontMetrics().horizontalAdvance(QString(SetupModel::kFolderChars, QLatin1Char('n'))));
  folder_->installEventFilter(this);
  connect(drive_, &QLineEdit::textEdited, this, [this](const QString& text) { model_.setDrive(text.toStdString()); });
  connect(folder_, &QLineEdit::textEdited, this, [this](const QString& text) { model_.setFolder(text.toStdString()); });
  auto* standard = new QPushButton(QStringLiteral("標準の設定"), box);
  standard->setObjectName(QStringLiteral("standardButton"));
  connect(standard, &QPushButton::clicked, this, [this] {
    model_.standardSettings(windowsDrive_);
    refresh();
  });

  auto* grid = new QGridLayout(box);
  grid->addWidget(new QLabel(QStringLiteral("ドライブ"), box), 0, 0);
  auto* driveRow = new QHBoxLayout;
  driveRow->addWidget(drive_);
  driveRow->addWidget(new QLabel(QStringLiteral(":"), box));
  driveRow->addStretch(1);
  grid->addLayout(driveRow, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("フォルダ"), box), 1, 0);
  grid->addWidget(folder_, 1, 1);
  auto* standardRow = new QHBoxLayout;
  standardRow->addStretch(1);
  standardRow->addWidget(standard);
  grid->addLayout(standardRow, 2, 0, 1, 2);
  grid->setColumnStretch(1, 1);

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
  refresh();
}

void CSetupDialog::refresh() {
  if (drive_->text() != qs(model_.drive())) drive_->setText(qs(model_.drive()));
  if (folder_->text() != qs(model_.folder())) folder_->setText(qs(model_.folder()));
}

void CSetupDialog::folderLeft() {
  model_.folderLeft();
  refresh();
}

bool CSetupDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == folder_ && event->type() == QEvent::FocusOut) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) folderLeft();
  }
  return QDialog::eventFilter(watched, event);
}

void CSetupDialog::accept() {
  // OK by the Enter key leaves the folder field as a click on OK does.
  if (focusWidget() == folder_) folderLeft();
  if (const auto failed = model_.checkSetup()) {
    refresh();
    QLineEdit* edit = *failed == SetupModel::DriveField ? drive_ : folder_;
    edit->setFocus();
    edit->selectAll();
    return;
  }
  refresh();
  QDialog::accept();
}

bool runSetupEditor(QWidget* parent) {
  Settings& settings = theSettings();
  SetupModel model;
  model.openSetup(settings.location);
  CSetupDialog dialog(model, settings.location.windowsDrive, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  model.storeSetup(settings);
  return true;
}

} // namespace tov
