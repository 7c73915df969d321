#include "dialogs/HelpViewer.h"

#include <system_error>

#include "files/TextFile.h"
#include "record/Messages.h"

namespace tov {

void HelpModel::openHelp(const std::filesystem::path& helpFile) {
  file_ = helpFile;
  lines_.clear();
  auto text = readTextLines(helpFile);
  if (!text) {
    reportMessage(IDS_FILE_NOT_FOUND, shownPath(helpFile));
    return;
  }
  lines_ = std::move(text->lines);
  if (lines_.size() > kMaxLines) {
    lines_.resize(kMaxLines);
    reportMessage(IDS_TOO_MUCH_DATA);
  }
}

bool HelpModel::openForPrinting(DocumentLauncher& launcher, const std::filesystem::path& copyFolder) const {
  // The file as it is now, not as it was when the dialog opened.
  auto text = readTextLines(file_);
  if (!text) {
    reportMessage(IDS_FILE_NOT_FOUND, shownPath(file_));
    return false;
  }
  std::string utf8;
  for (const std::string& line : text->lines) utf8 += line + "\n";
  std::error_code ec;
  std::filesystem::create_directories(copyFolder, ec);
  const std::filesystem::path copy = copyFolder / kCopyName;
  if (!writeFileBytes(copy, utf8).ok() || !launcher.openDocument(copy)) {
    reportMessage(IDS_CANNOT_RUN);
    return false;
  }
  return true;
}

std::size_t HelpModel::topicLine(const std::string& topic) const {
  if (topic.empty()) return 0;
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].rfind("■", 0) == 0 && lines_[i].find(topic) != std::string::npos) return i;
  return 0;
}

std::string helpTopicFor(const std::string& windowName) {
  static const struct { const char* name; const char* topic; } topics[] = {
      {"unsteadyReadingsDialog", "測定データの入力"},
      {"steadyReadingsDialog", "測定データの入力"},
      {"testerRegisterDialog", "表の操作とキー"},
      {"importDialog", "ロガーのファイル"},
      {"batchDialog", "一括処理"},
      {"unsteadyAnalysisDialog", "直線の当てはまり"},
      {"steadyAnalysisDialog", "直線の当てはまり"},
      {"keyBehaviourDialog", "Enter キー"},
      {"setupDialog", "設定ファイルの場所"},
      {"headingsDialog", "基本の流れ"},
  };
  for (const auto& t : topics)
    if (windowName == t.name) return t.topic;
  // The other dialogs are the menu's commands.
  const std::string dialog = "Dialog";
  const bool isDialog = windowName.size() > dialog.size() &&
                        windowName.compare(windowName.size() - dialog.size(), dialog.size(), dialog) == 0;
  return isDialog ? "メニュー" : std::string();
}

} // namespace tov
