#pragma once
// The main window: the menus with every command of the program, the flat
// tool bar, the status bar with its idle text and lock indicators, and the
// routing of each command to the document, the view or the application.
#include <QMainWindow>
#include <QPointer>

#include <map>

class QAction;
class QLabel;
class QMenu;
class QSettings;
class QToolBar;

namespace tov {

class CBatchDialog;
class CTovDoc;
class CTovView;
class RecentFiles;

inline constexpr const char* kMainCaption = "現場透水試験 TovV5";
inline constexpr const char* kIdleStatusText = "PageUp(RollUp), PageDown(RollDown) または↑↓ｷｰで改ページ";

class CMainFrame : public QMainWindow {
  Q_OBJECT
public:
  CMainFrame(CTovDoc& document, RecentFiles* recent, QWidget* parent = nullptr);

  CTovView& view() { return *view_; }
  CTovDoc& document() { return document_; }
  // The action of a command ("action<number>"), or nullptr.
  QAction* commandAction(int id) const;
  QToolBar* toolBar() const { return toolBar_; }
  // Runs a command as if chosen from the menu (disabled commands do nothing).
  void onCommand(int id);
  // Enabled and checked states of every command, as the menus show them,
  // and the page number and zoom in the status bar.
  void updateCommandStates();
  // The status bar's "n / N" and zoom texts.
  QString pageStatus() const;
  QString zoomStatus() const;

  // Size, position, tool bar and zoom between runs. Without saved values
  // the window fills the height of the screen's free area, at a width that
  // shows the page at 100 % where the screen allows it.
  void saveWindowSettings(QSettings& settings) const;
  void restoreWindowSettings(QSettings& settings);

protected:
  void closeEvent(QCloseEvent* event) override;
  // Back in the window: the test's file may have changed on disk.
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  void createMenus();
  void createToolBar();
  void createStatusBar();
  void updateRecentFileActions();
  void updateCaption();
  void updateStatusLabels();
  void fitToScreen();
  QAction* makeAction(int id, const QString& text);

  CTovDoc& document_;
  RecentFiles* recent_;
  CTovView* view_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QLabel* idleLabel_ = nullptr;
  QLabel* pageLabel_ = nullptr;
  QLabel* zoomLabel_ = nullptr;
  QLabel* readOnlyLabel_ = nullptr;
  std::map<int, QAction*> actions_;
  QAction* recentPlaceholder_ = nullptr;
  // 一括処理 stays open beside the window (a test opened from its list
  // opens in the window).
  QPointer<CBatchDialog> batch_;
};

} // namespace tov
