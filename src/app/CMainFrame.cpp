#include "dialogs/qt/CImportDialog.h"
#include "app/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include "dialogs/qt/CBatchDialog.h"
#include "dialogs/qt/CHelpDialog.h"
#include "app/CTovApp.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "qt/FileChooser.h"
#include "app/RecentFiles.h"
#include "app/ShellLogic.h"
#include "files/Platform.h"
#include "files/Settings.h"
#include "record/TestRecord.h"
#include "render/Page.h"

namespace tov {

namespace {

QString qs(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

// Tool bar pictures of the two page buttons.
QIcon graphPageIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x33, 0x33, 0x33), 2));
  p.drawLine(5, 4, 5, 27);
  p.drawLine(5, 27, 28, 27);
  p.setPen(QPen(QColor(0xc0, 0x20, 0x20), 2));
  p.drawLine(7, 8, 27, 22);
  p.setBrush(QColor(0x20, 0x50, 0xb0));
  p.setPen(Qt::NoPen);
  for (const QPoint& c : {QPoint(9, 10), QPoint(15, 13), QPoint(20, 18), QPoint(25, 20)}) p.drawEllipse(c, 2, 2);
  return QIcon(pixmap);
}

QIcon tablePageIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.fillRect(4, 5, 24, 22, Qt::white);
  p.fillRect(4, 5, 24, 5, QColor(0x9d, 0xb8, 0xdc));
  p.setPen(QPen(QColor(0x33, 0x33, 0x33), 1));
  p.drawRect(4, 5, 24, 22);
  for (int y : {10, 15, 20}) p.drawLine(4, y, 28, y);
  for (int x : {12, 20}) p.drawLine(x, 5, x, 27);
  return QIcon(pixmap);
}

QIcon printIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x44, 0x44, 0x44), 1.5));
  p.setBrush(Qt::white);
  p.drawRect(9, 3, 14, 10);
  p.setBrush(QColor(0x88, 0x8c, 0x94));
  p.drawRoundedRect(3, 12, 26, 11, 2, 2);
  p.setBrush(Qt::white);
  p.drawRect(9, 19, 14, 9);
  return QIcon(pixmap);
}

} // namespace

CMainFrame::CMainFrame(CTovDoc& document, RecentFiles* recent, QWidget* parent)
    : QMainWindow(parent), document_(document), recent_(recent) {
  setObjectName(QStringLiteral("mainFrame"));
  setWindowIcon(programIcon());
  view_ = new CTovView(document_, this);
  setCentralWidget(view_);
  createMenus();
  createToolBar();
  createStatusBar();
  setAcceptDrops(true);
  fitToScreen();

  connect(view_, &CTovView::pageChanged, this, &CMainFrame::updateCommandStates);
  connect(view_, &CTovView::zoomChanged, this, &CMainFrame::updateCommandStates);
  connect(&document_, &CTovDoc::updateAllViews, this, &CMainFrame::updateCommandStates);
  connect(&document_, &CTovDoc::pathChanged, this, &CMainFrame::updateCaption);
  connect(&document_, &CTovDoc::modifiedChanged, this, &CMainFrame::updateCaption);
  connect(&document_, &CTovDoc::historyChanged, this, &CMainFrame::updateCommandStates);
  if (recent_) connect(recent_, &RecentFiles::changed, this, &CMainFrame::updateRecentFileActions);
  updateRecentFileActions();
  updateCaption();
  updateCommandStates();
  installHelpKey(this);
}

QAction* CMainFrame::makeAction(int id, const QString& text) {
  auto* action = new QAction(text, this);
  action->setObjectName(QStringLiteral("action%1").arg(id));
  action->setData(id);
  connect(action, &QAction::triggered, this, [this, id] { onCommand(id); });
  actions_[id] = action;
  return action;
}

QAction* CMainFrame::commandAction(int id) const {
  const auto found = actions_.find(id);
  return found == actions_.end() ? nullptr : found->second;
}

void CMainFrame::createMenus() {
  for (const MenuSpec& layout : menuLayout()) {
    QMenu* menu = menuBar()->addMenu(qs(layout.title));
    menu->setObjectName(QStringLiteral("menu%1").arg(menuBar()->actions().size()));
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommandStates);
    for (const MenuItemSpec& entry : layout.items) {
      if (entry.id == 0) {
        menu->addSeparator();
      } else if (entry.id == kRecentFilesSlot) {
        recentPlaceholder_ = menu->addAction(QStringLiteral("最近使ったファイル"));
        recentPlaceholder_->setObjectName(QStringLiteral("recentFilesPlaceholder"));
        recentPlaceholder_->setEnabled(false);
        for (int i = 0; i < kRecentFileCount; ++i) {
          QAction* action = makeAction(ID_FILE_MRU_FILE1 + i, QString());
          action->setVisible(false);
          menu->addAction(action);
        }
      } else {
        QAction* action = makeAction(entry.id, qs(entry.text));
        if (!entry.shortcut.empty()) action->setShortcut(QKeySequence(qs(entry.shortcut)));
        // Ctrl+= too, where "+" is a shifted key.
        if (entry.id == ID_ZOOM_IN)
          action->setShortcuts({QKeySequence(qs(entry.shortcut)), QKeySequence(QStringLiteral("Ctrl+="))});
        action->setStatusTip(qs(entry.statusTip));
        action->setCheckable(entry.checkable);
        menu->addAction(action);
      }
    }
  }
}

void CMainFrame::createToolBar() {
  toolBar_ = new QToolBar(QStringLiteral("ツール バー"), this);
  toolBar_->setObjectName(QStringLiteral("toolBar"));
  toolBar_->setMovable(true);
  toolBar_->setFloatable(true);
  toolBar_->setIconSize(QSize(24, 24));
  addToolBar(Qt::TopToolBarArea, toolBar_);
  connect(toolBar_, &QToolBar::visibilityChanged, this, &CMainFrame::updateCommandStates);

  QStyle* st = style();
  struct Button {
    int id;
    QIcon icon;
    const char* tip;
  };
  const Button shared[] = {
      {ID_FILE_NEW, st->standardIcon(QStyle::SP_FileIcon), "新規作成"},
      {ID_FILE_OPEN, st->standardIcon(QStyle::SP_DialogOpenButton), "開く"},
      {ID_FILE_SAVE, st->standardIcon(QStyle::SP_DialogSaveButton), "上書き保存"},
      {0, {}, nullptr},
      {ID_FILE_PRINT, printIcon(), "印刷"},
      {ID_APP_ABOUT, st->standardIcon(QStyle::SP_MessageBoxInformation), "バージョン情報"},
      {0, {}, nullptr},
  };
  for (const Button& b : shared) {
    if (b.id == 0) {
      toolBar_->addSeparator();
      continue;
    }
    QAction* action = commandAction(b.id);
    action->setIcon(b.icon);
    action->setToolTip(QString::fromUtf8(b.tip));
    toolBar_->addAction(action);
  }
  QAction* graph = makeAction(ID_GRAPH_PAGE_TOOL, QStringLiteral("グラフ"));
  graph->setIcon(graphPageIcon());
  graph->setToolTip(QStringLiteral("グラフ"));
  graph->setStatusTip(QStringLiteral("グラフのページを表示します"));
  toolBar_->addAction(graph);
  QAction* table = makeAction(ID_TABLE_PAGE_TOOL, QStringLiteral("表"));
  table->setIcon(tablePageIcon());
  table->setToolTip(QStringLiteral("データ表"));
  table->setStatusTip(QStringLiteral("データ表のページを表示します"));
  toolBar_->addAction(table);
}

void CMainFrame::createStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("statusBar"));
  idleLabel_ = new QLabel(QString::fromUtf8(kIdleStatusText), bar);
  idleLabel_->setObjectName(QStringLiteral("idleText"));
  bar->addWidget(idleLabel_, 1);
  readOnlyLabel_ = new QLabel(QStringLiteral("読み取り専用"), bar);
  readOnlyLabel_->setObjectName(QStringLiteral("readOnlyIndicator"));
  readOnlyLabel_->setFrameShape(QFrame::StyledPanel);
  readOnlyLabel_->setStyleSheet(QStringLiteral("QLabel { color: #a00000; padding: 0 6px; }"));
  readOnlyLabel_->hide();
  bar->addPermanentWidget(readOnlyLabel_);
  // The page shown of the pages there are, and the zoom.
  pageLabel_ = new QLabel(bar);
  pageLabel_->setObjectName(QStringLiteral("pageIndicator"));
  pageLabel_->setAlignment(Qt::AlignCenter);
  pageLabel_->setMinimumWidth(pageLabel_->fontMetrics().horizontalAdvance(QStringLiteral("00 / 00")) + 12);
  bar->addPermanentWidget(pageLabel_);
  zoomLabel_ = new QLabel(bar);
  zoomLabel_->setObjectName(QStringLiteral("zoomIndicator"));
  zoomLabel_->setAlignment(Qt::AlignCenter);
  zoomLabel_->setMinimumWidth(zoomLabel_->fontMetrics().horizontalAdvance(QStringLiteral("400%")) + 12);
  bar->addPermanentWidget(zoomLabel_);
  // The lock indicators; the platform does not tell the lock states, so they
  // are shown as the inactive indicators of the bar.
  const char* indicators[][2] = {{"ｶﾅ", "indicatorKana"}, {"CAP", "indicatorCaps"},
                                 {"NUM", "indicatorNum"}, {"SCRL", "indicatorScroll"}};
  for (const auto& indicator : indicators) {
    auto* label = new QLabel(QString::fromUtf8(indicator[0]), bar);
    label->setObjectName(QString::fromUtf8(indicator[1]));
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
    label->setFrameShape(QFrame::StyledPanel);
    label->setEnabled(false);
    bar->addPermanentWidget(label);
  }
}

void CMainFrame::updateRecentFileActions() {
  const std::vector<std::string> files = recent_ ? recent_->files() : std::vector<std::string>{};
  for (int i = 0; i < kRecentFileCount; ++i) {
    QAction* action = commandAction(ID_FILE_MRU_FILE1 + i);
    if (i < static_cast<int>(files.size())) {
      QString path = QString::fromStdString(files[static_cast<std::size_t>(i)]);
      action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(path.replace(QLatin1Char('&'), QStringLiteral("&&"))));
      action->setStatusTip(QStringLiteral("このファイルを開きます"));
      action->setVisible(true);
    } else {
      action->setVisible(false);
    }
  }
  if (recentPlaceholder_) recentPlaceholder_->setVisible(files.empty());
}

void CMainFrame::updateCaption() {
  // "[*]" is where the window shows that the test has unsaved changes.
  QString caption = QString::fromUtf8(kMainCaption);
  if (!document_.pathName().empty()) caption += QStringLiteral(" - ") + QString::fromStdString(document_.title());
  // A test opened read-only (another program has it) says so where the
  // user looks: the title and the status bar.
  if (document_.isReadOnly()) caption += QStringLiteral(" (読み取り専用)");
  setWindowTitle(caption + QStringLiteral("[*]"));
  setWindowModified(document_.isModified());
}

QString CMainFrame::pageStatus() const { return pageLabel_->text(); }
QString CMainFrame::zoomStatus() const { return zoomLabel_->text(); }

void CMainFrame::updateStatusLabels() {
  const int pages = pageCount(document_.record());
  pageLabel_->setText(qs(pageStatusText(view_->state().currentPage, pages)));
  zoomLabel_->setText(QStringLiteral("%1%").arg(view_->zoomPercent()));
  if (readOnlyLabel_->isVisibleTo(statusBar()) != document_.isReadOnly()) {
    readOnlyLabel_->setVisible(document_.isReadOnly());
    updateCaption();
  }
}

void CMainFrame::fitToScreen() {
  const QScreen* shown = screen();
  if (!shown) {
    resize(900, 700);
    return;
  }
  // Room for the window frame the window manager adds.
  const QRect free = shown->availableGeometry().adjusted(0, 0, -16, -40);
  // Wide enough for an A4 page at 100 % with its desk and a scroll bar.
  const int pageWidth = static_cast<int>(210 / 25.4 * view_->screenDpi()) + 2 * CTovView::kSheetPadding + 24;
  const QSize wanted(std::min(free.width(), std::max(pageWidth, minimumSizeHint().width())), free.height());
  resize(wanted.boundedTo(free.size()));
  move(free.topLeft() + QPoint((free.width() - width()) / 2, 0));
}

void CMainFrame::saveWindowSettings(QSettings& settings) const {
  settings.setValue(QStringLiteral("Window/geometry"), saveGeometry());
  settings.setValue(QStringLiteral("Window/state"), saveState());
  view_->saveSettings(settings);
}

void CMainFrame::restoreWindowSettings(QSettings& settings) {
  // A geometry from another screen is brought back onto this one.
  if (!restoreGeometry(settings.value(QStringLiteral("Window/geometry")).toByteArray())) fitToScreen();
  restoreState(settings.value(QStringLiteral("Window/state")).toByteArray());
  view_->restoreSettings(settings);
  updateCommandStates();
}

void CMainFrame::updateCommandStates() {
  updateStatusLabels();
  const TestRecord& record = document_.record();
  for (const auto& [id, action] : actions_) {
    action->setEnabled(isCommandEnabled(id, record));
    if (id == ID_EDIT_UNDO) {
      action->setEnabled(document_.canUndo());
      action->setText(qs(undoMenuText(document_.undoText().toStdString())));
    } else if (id == ID_EDIT_REDO) {
      action->setEnabled(document_.canRedo());
      action->setText(qs(redoMenuText(document_.redoText().toStdString())));
    }
    if (!action->isCheckable()) continue;
    if (id == ID_VIEW_TOOLBAR)
      action->setChecked(toolBar_ && !toolBar_->isHidden());
    else if (id == ID_VIEW_STATUS_BAR)
      action->setChecked(!statusBar()->isHidden());
    else
      action->setChecked(isCommandChecked(id, view_->state()));
  }
}

void CMainFrame::onCommand(int id) {
  if (!isCommandEnabled(id, document_.record())) return;
  if (id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + kRecentFileCount) {
    const std::size_t index = static_cast<std::size_t>(id - ID_FILE_MRU_FILE1);
    if (recent_ && index < recent_->files().size() && document_.saveModified(this)) {
      const std::string path = recent_->files()[index];
      document_.openDocumentFile(pathFromUtf8(path));
    }
    updateCommandStates();
    return;
  }
  switch (id) {
  case ID_FILE_NEW:
    if (document_.saveModified(this)) document_.onNewDocument();
    break;
  case ID_FILE_OPEN:
    if (document_.saveModified(this)) document_.onFileOpen(this);
    break;
  case ID_FILE_SAVE: document_.onFileSave(this); break;
  case ID_FILE_SAVE_AS: document_.onFileSaveAs(this); break;
  case ID_EDIT_UNDO: document_.undo(); break;
  case ID_EDIT_REDO: document_.redo(); break;
  case ID_FILE_BATCH:
    if (!batch_) {
      batch_ = new CBatchDialog(this, theSettings(), [this](const std::filesystem::path& test) {
        const bool opened = document_.saveModified(this) && document_.openDocumentFile(test);
        if (opened) updateCommandStates();
        return opened;
      });
      batch_->setAttribute(Qt::WA_DeleteOnClose);
    }
    batch_->show();
    batch_->raise();
    batch_->activateWindow();
    break;
  case ID_APP_ABOUT: showAboutDialog(this); break;
  case ID_APP_EXIT: close(); break;
  case ID_VIEW_TOOLBAR: toolBar_->setVisible(toolBar_->isHidden()); break;
  case ID_VIEW_STATUS_BAR: statusBar()->setVisible(statusBar()->isHidden()); break;
  default: view_->onCommand(id); break;
  }
  updateCommandStates();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (document_.saveModified(this))
    event->accept();
  else
    event->ignore();
}

void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // Asked once the activation is over, not from inside it.
  if (event->type() == QEvent::ActivationChange && isActiveWindow())
    QTimer::singleShot(0, &document_, [this] {
      document_.checkChangedOnDisk();
      updateCommandStates();
    });
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    for (const QUrl& url : event->mimeData()->urls()) {
      if (url.isLocalFile()) {
        event->acceptProposedAction();
        return;
      }
    }
  }
}

void CMainFrame::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    event->acceptProposedAction();
    activateWindow();
    // A logger's export goes into the readings of the open test.
    if (isLoggerFile(toPath(url.toLocalFile()))) {
      view_->importReadingsFrom(toPath(url.toLocalFile()));
    } else if (document_.saveModified(this)) {
      document_.openDocumentFile(toPath(url.toLocalFile()));
    }
    updateCommandStates();
    return;
  }
}

} // namespace tov
