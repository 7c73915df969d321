#pragma once
// "操作＆ヘルプ": the operating instructions line by line, and "開いて印刷",
// which opens them in the desktop's program for text.
#include <QDialog>

#include <filesystem>

#include "dialogs/HelpViewer.h"

class QListWidget;

namespace tov {

// Opens files with the desktop's default program for their type.
class DesktopLauncher : public DocumentLauncher {
public:
  bool openDocument(const std::filesystem::path& file) override;
};

class CHelpDialog : public QDialog {
  Q_OBJECT
public:
  // The model is opened already; "開いて印刷" writes its copy into
  // copyFolder and hands it to the launcher.
  CHelpDialog(HelpModel& model, DocumentLauncher& launcher, std::filesystem::path copyFolder,
              QWidget* parent = nullptr);
  // Shows the section of a topic at the top of the list, selected.
  void showTopic(const std::string& topic);

private:
  HelpModel& model_;
  DocumentLauncher& launcher_;
  std::filesystem::path copyFolder_;
};

// The launcher of the help command (nullptr: the desktop's); returns the
// one it replaces. Tests put their own in its place.
DocumentLauncher* setHelpLauncher(DocumentLauncher* launcher);
// Where the command puts the copy for the external program: a folder of
// this user's that the desktop clears at logout.
std::filesystem::path helpCopyFolder();

// The help command: the install folder's Help.txt, at a topic's section.
bool runHelpViewer(QWidget* parent, const std::string& topic = std::string());

// F1 anywhere in the program opens the help at the section of the dialog
// (or window) that is active. The filter is a child of `owner`.
void installHelpKey(QObject* owner);

} // namespace tov
