// The command-line jobs: exporting a test's pages to PDF or PNG and printing
// a summary, without a window and without a display.
#include "cli/Exporter.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/CommandLineOptions.h"
#include "cli/ExportJob.h"
#include "cli/WindowStart.h"
#include "files/Platform.h"
#include "record/Messages.h"

namespace tov {

namespace {

// Messages of a job go to standard error as UTF-8 text; nobody is there to
// answer a question, so the answer is No.
class StderrMessageSink : public MessageSink {
public:
  void report(const std::string& text) override {
    std::fputs(("tov: " + escapedControls(text) + "\n").c_str(), stderr);
  }
  bool askYesNo(const std::string& text) override {
    report(text);
    return false;
  }
};

// Qt's own notices (about the runtime folder of the offscreen platform and
// the like) are not the job's output; critical messages still show.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fputs(("tov: " + text.toStdString() + "\n").c_str(), stderr);
}

} // namespace

bool isCommandLineJob(int argc, char** argv) {
  // Any option of these commands (those that only qualify an export, such
  // as --paper, too) makes the run one, so that a missing export option is
  // reported rather than a window opened.
  for (int i = 1; i < argc; ++i)
    if (const OptionDoc* option = argv[i] ? findOption(argv[i]) : nullptr; option && option->command == CommandKind::Export)
      return true;
  return false;
}

int runCommandLineJob(int argc, char** argv) {
  const std::vector<std::string> args = commandArguments(argc, argv);
  std::string error;
  const auto job = parseCommandLine(args, &error);
  if (!job) return reportUsageError(error);
  if (job->kind == JobKind::Help || job->kind == JobKind::Version) return runJob(*job);

  // Fonts and painting need a GUI application, but never a display. On
  // Windows the offscreen platform would know no installed font (it reads a
  // folder beside Qt): the minimal one with the system's font database, the
  // window's, instead.
#ifdef _WIN32
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "minimal:enable_fonts");
#else
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
  if (!std::getenv("TOV_QT_MESSAGES")) qInstallMessageHandler(quietQtMessages);
  QGuiApplication app(argc, argv);
  StderrMessageSink sink;
  ScopedMessageSink scoped(sink);
  return runJob(*job);
}

} // namespace tov
