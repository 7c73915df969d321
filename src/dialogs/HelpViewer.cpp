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
  const std::string heading = "■ " + topic;
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].rfind(heading, 0) == 0) return i;
  return 0;
}

std::string helpTopicFor(const std::string& windowName) {
  // Each dialog's section starts with its title.
  static const struct { const char* name; const char* topic; } topics[] = {
      {"headingsDialog", "見出し"},
      {"unsteadyReadingsDialog", "非定常法 測定データ"},
      {"steadyReadingsDialog", "定常法"},
      {"importDialog", "測定データの取り込み"},
      {"unsteadyAnalysisDialog", "解析/目盛り"},
      {"steadyAnalysisDialog", "定常法"},
      {"pageFormatDialog", "ページ書式"},
      {"styleDigitsDialog", "様式/桁数"},
      {"linesMarginsDialog", "線種/マージン/社名"},
      {"testerRegisterDialog", "マスタファイル 試験者"},
      {"fontsDialog", "フォント"},
      {"keyBehaviourDialog", "キーの動作"},
      {"setupDialog", "セットアップ"},
      {"batchDialog", "一括処理"},
      {"aboutDialog", "このプログラムについて"},
      {"printDialog", "印刷"},
      {"printPreviewDialog", "印刷"},
      {"pageSetupDialog", "印刷"},
  };
  for (const auto& t : topics)
    if (windowName == t.name) return t.topic;
  return {};
}

} // namespace tov
