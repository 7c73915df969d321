#pragma once
// The main window: the menus with every command of the program, the flat
// tool bar, the status bar with its idle text and lock indicators, and the
// routing of each command to the document, the view or the application.
#include <QMainWindow>

#include <map>

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace tov {

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
  // Enabled and checked states of every command, as the menus show them.
  void updateCommandStates();

protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  void createMenus();
  void createToolBar();
  void createStatusBar();
  void updateRecentFileActions();
  void updateCaption();
  QAction* makeAction(int id, const QString& text);

  CTovDoc& document_;
  RecentFiles* recent_;
  CTovView* view_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QLabel* idleLabel_ = nullptr;
  std::map<int, QAction*> actions_;
  QAction* recentPlaceholder_ = nullptr;
};

} // namespace tov
