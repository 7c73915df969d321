#include "app/CTovApp.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>
#include <QVBoxLayout>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <locale.h>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "qt/FileChooser.h"
#include "qt/MessageBoxSink.h"
#include "qt/WidgetFont.h"
#include "qt/WidgetMap.h"
#include "app/RecentFiles.h"
#include "app/SettingsLocation.h"
#include "app/TovApp.h"
#include "cli/WindowStart.h"
#include "files/Platform.h"
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

QTranslator* installJapaneseTranslations(QCoreApplication& application) {
  auto* translator = new QTranslator(&application);
  if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return nullptr;
  }
  QCoreApplication::installTranslator(translator);
  return translator;
}

CTovApp::CTovApp() = default;

CTovApp::~CTovApp() {
  if (frame_) {
    QSettings settings(windowSettingsFormat(), QSettings::UserScope, QString::fromUtf8(kSettingsOrganisation),
                       QString::fromUtf8(kSettingsApplication));
    frame_->saveWindowSettings(settings);
  }
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
  takeOverOldSettings();
  QCoreApplication::setOrganizationName(QString::fromUtf8(kSettingsOrganisation));
  QCoreApplication::setApplicationName(QString::fromUtf8(kSettingsApplication));
  recent_ = std::make_unique<RecentFiles>();

  chooser_ = std::make_unique<DialogFileChooser>();
  document_ = std::make_unique<CTovDoc>(theRecord(), *chooser_, recent_.get());
  frame_ = std::make_unique<CMainFrame>(*document_, recent_.get());

  // The command line has been checked: at most the one test file.
  const QString file = args.isEmpty() ? QString() : args.constFirst();
  // A file that cannot be read has been reported; the program then starts
  // with a new test rather than not at all.
  if (file.isEmpty() || !document_->openDocumentFile(toPath(file))) document_->onNewDocument();
  frame_->view().OnInitialUpdate();
  QSettings settings(windowSettingsFormat(), QSettings::UserScope, QString::fromUtf8(kSettingsOrganisation),
                     QString::fromUtf8(kSettingsApplication));
  frame_->restoreWindowSettings(settings);

  frame_->show();
  frame_->view().setFocus();
  // A test that was not saved before the program ended is offered back.
  if (withMessageBoxes) document_->offerRecovery();
  return true;
}

namespace {

QtMessageHandler qtMessagesBefore = nullptr;

// While the application connects to the display: a display that cannot be
// reached ends the program with one line instead of Qt's abort, and Qt's
// platform notices leading up to it are not shown.
void startUpMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    std::fputs(kNoDisplayLine, stderr);
    std::fflush(stderr);
    std::_Exit(1);
  }
  if (context.category && std::strncmp(context.category, "qt.qpa", 6) == 0) return;
  if (qtMessagesBefore) qtMessagesBefore(type, context, text);
}

} // namespace

// Qt's standard dialogs (the file dialog's dates, its texts) follow the
// system locale: it is Japanese whatever the desktop's language. Numbers in
// files and on pages never go through it.
std::string systemLocaleFor(const std::string& current, const std::function<bool(const std::string&)>& exists) {
  if (current.starts_with("ja") && exists(current)) return {};
  // A locale that is not installed would leave the C library and Qt in the
  // plain C locale with a warning; C.UTF-8 is always there. The program's
  // texts and Qt's dialogs are Japanese by the program's own translations.
  return exists("ja_JP.UTF-8") ? "ja_JP.UTF-8" : "C.UTF-8";
}

static void useJapaneseSystemLocale() {
#ifdef _WIN32
  // Qt takes the user's locale from the system there, not from these
  // variables; the program's texts and Qt's dialogs are Japanese by the
  // program's own translations either way.
#else
  auto exists = [](const std::string& name) {
    const locale_t locale = newlocale(LC_ALL_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    if (locale) freelocale(locale);
    return locale != static_cast<locale_t>(nullptr);
  };
  for (const char* name : {"LC_ALL", "LC_TIME", "LC_MESSAGES", "LANG"}) {
    if (std::strcmp(name, "LC_ALL") == 0 && qEnvironmentVariableIsEmpty(name)) continue;
    const std::string wanted = systemLocaleFor(qgetenv(name).toStdString(), exists);
    if (!wanted.empty()) qputenv(name, QByteArray::fromStdString(wanted));
  }
#endif
}

int runDesktopApplication(int argc, char** argv) {
  // The arguments are checked before anything needs a display.
  const std::vector<std::string> args = commandArguments(argc, argv);
  std::string error;
  const auto file = parseWindowArguments(args, &error);
  if (!file) return reportUsageError(error);
  if (!displayNamed()) {
    std::fputs(kNoDisplayLine, stderr);
    return 1;
  }

  // Qt's dialogs (file, print, page setup) rather than the desktop's, so
  // that they speak Japanese with the rest of the program.
  QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  useJapaneseSystemLocale();
  int qtArgc = 1;  // the arguments are the program's, not Qt's
  qtMessagesBefore = qInstallMessageHandler(startUpMessages);
  QApplication application(qtArgc, argv);
  qInstallMessageHandler(qtMessagesBefore);
  QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  // A decimal point that reads as a point in every field, grid and label.
  QApplication::setFont(readableWidgetFont(QApplication::font()));
  installJapaneseTranslations(application);
  QApplication::setWindowIcon(programIcon());
  // Where the widgets are, for a script that drives the window (off unless asked).
  installWidgetMapIfAsked(application);
  CTovApp app;
  QStringList files;
  if (!file->empty()) files << QString::fromStdString(*file);
  if (!app.InitInstance(files)) return 1;
  return QApplication::exec();
}

} // namespace tov
