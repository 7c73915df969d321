#include "app/CTovApp.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "app/FileChooser.h"
#include "app/MessageBoxSink.h"
#include "app/RecentFiles.h"
#include "app/TovApp.h"
#include "dialogs/qt/Dialogs.h"
#include "record/TestRecord.h"

static void initTovResources() { Q_INIT_RESOURCE(tov); }

namespace tov {

QIcon programIcon() {
  initTovResources();
  static const QIcon icon(QStringLiteral(":/tov/tov.png"));
  return icon;
}

void showAboutDialog(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("aboutDialog"));
  dialog.setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
  dialog.setModal(true);
  auto* icon = new QLabel(&dialog);
  icon->setObjectName(QStringLiteral("aboutIcon"));
  icon->setPixmap(programIcon().pixmap(48, 48));
  auto* text = new QLabel(QString::fromUtf8(kVersionLine), &dialog);
  text->setObjectName(QStringLiteral("aboutText"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addSpacing(12);
  row->addWidget(text, 1);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(row);
  layout->addWidget(buttons);
  dialog.exec();
}

CTovApp::CTovApp() = default;

CTovApp::~CTovApp() {
  frame_.reset();
  document_.reset();
  if (sinkInstalled_) setMessageSink(previousSink_);
}

bool CTovApp::InitInstance(const QStringList& args, bool withMessageBoxes) {
  if (withMessageBoxes) {
    sink_ = std::make_unique<MessageBoxSink>();
    previousSink_ = setMessageSink(sink_.get());
    sinkInstalled_ = true;
  }
  // The recent-file list lives with the application's settings.
  QCoreApplication::setOrganizationName(QString::fromUtf8(kSettingsOrganisation));
  QCoreApplication::setApplicationName(QString::fromUtf8(kSettingsApplication));
  recent_ = std::make_unique<RecentFiles>();

  registerDialogs();
  chooser_ = std::make_unique<DialogFileChooser>();
  document_ = std::make_unique<CTovDoc>(theRecord(), *chooser_, recent_.get());
  frame_ = std::make_unique<CMainFrame>(*document_, recent_.get());

  QString file;
  for (const QString& arg : args) {
    if (!arg.startsWith(QLatin1Char('-'))) {
      file = arg;
      break;
    }
  }
  // A file that cannot be read has been reported; the program then starts
  // with a new test rather than not at all.
  if (file.isEmpty() || !document_->openDocumentFile(toPath(file))) document_->onNewDocument();
  frame_->view().OnInitialUpdate();

  frame_->show();
  frame_->view().setFocus();
  return true;
}

int runDesktopApplication(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setWindowIcon(programIcon());
  CTovApp app;
  if (!app.InitInstance(QApplication::arguments().mid(1))) return 1;
  return QApplication::exec();
}

} // namespace tov
