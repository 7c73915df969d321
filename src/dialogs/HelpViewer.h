#pragma once
// The help viewer "操作＆ヘルプ" without its widgets: the operating
// instructions of Help.txt line by line, and "開いて印刷", which hands a
// UTF-8 copy of the file to the desktop's program for text (Help.txt itself
// is CP932, which that program would not read correctly).
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace tov {

// Opens a file in the program the desktop has for it.
class DocumentLauncher {
public:
  virtual ~DocumentLauncher() = default;
  // False when no program could be started.
  virtual bool openDocument(const std::filesystem::path& file) = 0;
};

class HelpModel {
public:
  // More lines than a help text can sensibly have are not shown.
  static constexpr std::size_t kMaxLines = 100000;
  // The name of the copy handed to the launcher.
  static constexpr const char* kCopyName = "Help.txt";

  // Reads the help file: a missing file is reported and shows nothing; a
  // file of more than kMaxLines lines is shown up to there, with a message.
  void openHelp(const std::filesystem::path& helpFile);
  const std::vector<std::string>& lines() const { return lines_; }

  // "開いて印刷": writes the help text as UTF-8 into copyFolder (created when
  // missing; a copy from before is replaced) and has the launcher open it.
  // "実行できませんでした" when the copy cannot be written or nothing starts.
  bool openForPrinting(DocumentLauncher& launcher, const std::filesystem::path& copyFolder) const;
  // The line (from 0) of the section whose heading starts with "■ " and the
  // topic (0: the top, for an empty or unknown topic).
  std::size_t topicLine(const std::string& topic) const;

private:
  std::filesystem::path file_;
  std::vector<std::string> lines_;
};

// F1: the help section of a dialog, by its object name: the title its
// heading starts with ("" for a window without a section of its own).
std::string helpTopicFor(const std::string& windowName);

} // namespace tov
