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
    reportMessage(IDS_FILE_NOT_FOUND, helpFile.string());
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
    reportMessage(IDS_FILE_NOT_FOUND, file_.string());
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

} // namespace tov
