#pragma once
// The application object: starts the program (settings of the recent-file
// list, document, main window and view, the command line), installs the
// message boxes, and shows the About box.
#include <QIcon>
#include <QObject>
#include <QStringList>

#include <memory>

#include "app/TovApp.h"

class QWidget;

namespace tov {

class CMainFrame;
class CTovDoc;
class DialogFileChooser;
class MessageBoxSink;
class MessageSink;
class RecentFiles;

// The program icon (window, About box).
QIcon programIcon();
// The modal About box "ﾊﾞｰｼﾞｮﾝ情報".
void showAboutDialog(QWidget* parent);

class CTovApp : public QObject {
  Q_OBJECT
public:
  CTovApp();
  ~CTovApp() override;

  // Start-up; args without the program name. A file named there is opened
  // (a file that cannot be read leaves a new empty test). withMessageBoxes:
  // install the message-box sink (tests keep their own).
  bool InitInstance(const QStringList& args, bool withMessageBoxes = true);

  CMainFrame* mainFrame() const { return frame_.get(); }
  CTovDoc* document() const { return document_.get(); }
  RecentFiles* recentFiles() const { return recent_.get(); }

private:
  std::unique_ptr<MessageBoxSink> sink_;
  MessageSink* previousSink_ = nullptr;
  bool sinkInstalled_ = false;
  std::unique_ptr<RecentFiles> recent_;
  std::unique_ptr<DialogFileChooser> chooser_;
  std::unique_ptr<CTovDoc> document_;
  std::unique_ptr<CMainFrame> frame_;
};

} // namespace tov
