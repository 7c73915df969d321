#include "dialogs/qt/CHelpDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>

#include "dialogs/qt/EnterKeyFilter.h"
#include "files/Platform.h"
#include "files/Settings.h"

namespace tov {

namespace {

DocumentLauncher*& injectedLauncher() {
  static DocumentLauncher* launcher = nullptr;
  return launcher;
}

} // namespace

bool DesktopLauncher::openDocument(const std::filesystem::path& file) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(utf8Path(file))));
}

CHelpDialog::CHelpDialog(HelpModel& model, DocumentLauncher& launcher, std::filesystem::path copyFolder,
                         QWidget* parent)
    : QDialog(parent), model_(model), launcher_(launcher), copyFolder_(std::move(copyFolder)) {
  setObjectName(QStringLiteral("helpDialog"));
  setWindowTitle(QStringLiteral("操作＆ヘルプ"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);

  auto* text = new QListWidget(this);
  text->setObjectName(QStringLiteral("helpText"));
  text->setUniformItemSizes(true);
  text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text->setSelectionMode(QAbstractItemView::SingleSelection);
  for (const std::string& line : model_.lines()) text->addItem(QString::fromStdString(line));
  // Lines are shown whole; a long one scrolls sideways.
  text->setTextElideMode(Qt::ElideNone);
  text->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  const QFontMetrics metrics = text->fontMetrics();
  text->setMinimumSize(metrics.horizontalAdvance(QString(46, QChar(0x3042))) + 32, metrics.height() * 26);

  auto* print = new QPushButton(QStringLiteral("開いて印刷"), this);
  print->setObjectName(QStringLiteral("openToPrintButton"));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  connect(print, &QPushButton::clicked, this, [this] { model_.openForPrinting(launcher_, copyFolder_); });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(print);
  buttons->addStretch(1);
  buttons->addWidget(ok);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text, 1);
  layout->addLayout(buttons);
  installEnterKeyFilter(*this);
}

DocumentLauncher* setHelpLauncher(DocumentLauncher* launcher) {
  return std::exchange(injectedLauncher(), launcher);
}

std::filesystem::path helpCopyFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
  return pathFromUtf8(folder.toStdString()) / "tov";
}

bool runHelpViewer(QWidget* parent, const std::string& topic) {
  HelpModel model;
  model.openHelp(hostPath(theSettings().location.helpPath()));
  DesktopLauncher desktop;
  DocumentLauncher* launcher = injectedLauncher() ? injectedLauncher() : &desktop;
  CHelpDialog dialog(model, *launcher, helpCopyFolder(), parent);
  dialog.showTopic(topic);
  return dialog.exec() == QDialog::Accepted;
}

void CHelpDialog::showTopic(const std::string& topic) {
  auto* text = findChild<QListWidget*>(QStringLiteral("helpText"));
  const auto line = static_cast<int>(model_.topicLine(topic));
  if (!text || line >= text->count()) return;
  text->setCurrentRow(line);
  text->scrollToItem(text->item(line), QAbstractItemView::PositionAtTop);
}

namespace {

class HelpKeyFilter : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1 ||
        static_cast<QKeyEvent*>(event)->isAutoRepeat() || open_)
      return QObject::eventFilter(watched, event);
    // The key reaches the filter once per widget on its way; the window that
    // is active answers it.
    QWidget* window = QApplication::activeModalWidget();
    if (!window) window = QApplication::activeWindow();
    if (!window || window->objectName() == QStringLiteral("helpDialog")) return false;
    // A chooser without a section of its own (file, font, colour) opens the
    // section of the dialog it was opened from.
    std::string topic;
    for (QWidget* w = window; w && topic.empty(); w = w->parentWidget() ? w->parentWidget()->window() : nullptr)
      topic = helpTopicFor(w->objectName().toStdString());
    open_ = true;
    runHelpViewer(window, topic);
    open_ = false;
    return true;
  }

private:
  bool open_ = false;
};

} // namespace

void installHelpKey(QObject* owner) { qApp->installEventFilter(new HelpKeyFilter(owner)); }

} // namespace tov
