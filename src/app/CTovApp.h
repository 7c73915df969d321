#pragma once
// The application object: starts the program (settings of the recent-file
// list, document, main window and view, the command line), installs the
// message boxes, and shows the About box.
#include <QIcon>
#include <QObject>

#include <functional>
#include <string>
#include <QStringList>

#include <memory>

#include "app/TovApp.h"

class QCoreApplication;
class QTranslator;
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
// Qt's own texts (standard dialogs and buttons) in Japanese, whatever the
// user's locale: Qt's Japanese translations installed on the application.
// The translator (owned by the application), or nullptr when they are not
// installed on this system.
QTranslator* installJapaneseTranslations(QCoreApplication& application);
// The locale the window sets for a locale variable holding `current` (""
// to keep it): a Japanese locale that exists is kept; otherwise
// ja_JP.UTF-8 where it exists, else C.UTF-8.
std::string systemLocaleFor(const std::string& current, const std::function<bool(const std::string&)>& exists);

class CTovApp : public QObject {
  Q_OBJECT
public:
  CTovApp();
  ~CTovApp() override;

  // Start-up; args: the test file to open, if any (a file that cannot be
  // read leaves a new empty test). withMessageBoxes: install the
  // message-box sink (tests keep their own). The window's size, position
  // and zoom come from the last run.
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
