#include "dialogs/TesterRegisterModel.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "files/Platform.h"
#include "files/TesterRegister.h"
#include "files/TextCodec.h"
#include "files/TextFile.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"

namespace tov {

namespace {

constexpr int kReportedDuplicates = 6;

std::string withoutControls(std::string text) {
  std::erase_if(text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
  return text;
}
constexpr int kReportLength = 300;

} // namespace

std::string TesterRegisterModel::previousRegisterFile(const std::string& installFolder) {
  std::string folder = installFolder;
  for (std::size_t at = folder.find("v5"); at != std::string::npos; at = folder.find("v5", at + 2))
    folder.replace(at, 2, "v4");
  return folder + "\\M.mst";
}

void TesterRegisterModel::openRegister(const std::filesystem::path& file, const std::filesystem::path& previousFile) {
  file_ = file;
  previousFile_ = previousFile;
  rows_.clear();
  modified_ = false;
  editing_ = false;
  editorRow_ = 0;
  if (auto names = readTesterRegister(file))
    rows_ = std::move(*names);
  else
    reportMessage(IDS_FILE_NOT_FOUND, shownPath(file));
  const int read = rowCount();
  // One empty row after the names, and at least the usual 80 rows.
  rows_.resize(static_cast<std::size_t>(std::max(kMinRows, read + 1)));
  selected_ = read + 1;
  rowToShow_ = selected_;
  importAvailable_ = readFileBytes(previousFile).has_value();
}

const std::string& TesterRegisterModel::name(int row) const {
  static const std::string none;
  if (row < 1 || row > rowCount()) return none;
  return rows_[static_cast<std::size_t>(row - 1)];
}

void TesterRegisterModel::selectRow(int row) { selected_ = (row >= 1 && row <= rowCount()) ? row : 0; }

bool TesterRegisterModel::openCellEditor(int row) {
  if (row < 1 || row > rowCount()) return false;
  editing_ = true;
  editorRow_ = row;
  selected_ = row;
  return true;
}

void TesterRegisterModel::commitCell(std::string text) {
  if (!editing_) return;
  editing_ = false;
  text = withoutControls(std::move(text));
  std::string& cell = rows_[static_cast<std::size_t>(editorRow_ - 1)];
  if (cell != text) modified_ = true;
  cell = std::move(text);
}

void TesterRegisterModel::padRows() {
  const int last = lastNameRow();
  rows_.resize(static_cast<std::size_t>(std::max({kMinRows, last + 1, 1})));
}

void TesterRegisterModel::clearRows(const std::vector<int>& rows) {
  for (int row : rows) {
    if (row < 1 || row > rowCount() || name(row).empty()) continue;
    rows_[static_cast<std::size_t>(row - 1)].clear();
    modified_ = true;
  }
  padRows();
}

void TesterRegisterModel::insertRow(int row) {
  if (row < 1 || row > rowCount()) return;
  rows_.insert(rows_.begin() + (row - 1), std::string());
  modified_ = true;
  padRows();
}

void TesterRegisterModel::deleteRows(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end(), std::greater<>());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (int row : rows) {
    if (row < 1 || row > rowCount()) continue;
    rows_.erase(rows_.begin() + (row - 1));
    modified_ = true;
  }
  padRows();
  selected_ = std::min(selected_, rowCount());
}

std::string TesterRegisterModel::copyRows(const std::vector<int>& rows) const {
  std::string text;
  for (int row : rows) text += name(row) + "\n";
  return text;
}

bool TesterRegisterModel::pasteNames(int row, std::string_view text) {
  if (row < 1) return false;
  std::vector<std::string> names;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    line = line.substr(0, line.find('\t'));
    names.push_back(withoutControls(std::string(line)));
    start = end + 1;
  }
  while (!names.empty() && names.back().empty()) names.pop_back();
  if (names.empty()) return false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string offending;
    if (utf8ToCp932(names[i], &offending)) continue;
    messageSink().report(messageText(
        IDS_PASTE_BAD_CELLS, messageText(IDS_CELL_PROBLEM, {cformat("%d", row + static_cast<int>(i)), "技術者",
                                                            messageText(IDS_CANNOT_ENCODE, offending)})));
    return false;
  }
  const std::size_t needed = static_cast<std::size_t>(row - 1) + names.size();
  if (rows_.size() < needed) rows_.resize(needed);
  for (std::size_t i = 0; i < names.size(); ++i) rows_[static_cast<std::size_t>(row - 1) + i] = std::move(names[i]);
  modified_ = true;
  padRows();
  return true;
}

std::optional<int> TesterRegisterModel::rowAfter(RegisterKey key, int row) const {
  switch (key) {
  case RegisterKey::Enter:
  case RegisterKey::Down:
    if (row >= 1 && row < rowCount()) return row + 1;
    return std::nullopt;
  case RegisterKey::Up:
    if (row > 1 && row <= rowCount()) return row - 1;
    return std::nullopt;
  }
  return std::nullopt;
}

int TesterRegisterModel::lastNameRow() const {
  for (int row = rowCount(); row >= 1; --row)
    if (!name(row).empty()) return row;
  return 0;
}

bool TesterRegisterModel::moveUp() {
  if (selected_ <= 1 || selected_ > rowCount()) return false;
  std::swap(rows_[static_cast<std::size_t>(selected_ - 1)], rows_[static_cast<std::size_t>(selected_ - 2)]);
  --selected_;
  rowToShow_ = selected_;
  modified_ = true;
  return true;
}

bool TesterRegisterModel::moveDown() {
  // The last name does not move down into the empty rows.
  if (selected_ < 1 || selected_ >= lastNameRow()) return false;
  std::swap(rows_[static_cast<std::size_t>(selected_ - 1)], rows_[static_cast<std::size_t>(selected_)]);
  ++selected_;
  rowToShow_ = selected_;
  modified_ = true;
  return true;
}

bool TesterRegisterModel::deleteSelectedRow() {
  if (selected_ < 1 || selected_ > rowCount()) return false;
  rows_.erase(rows_.begin() + (selected_ - 1));
  rows_.emplace_back();
  modified_ = true;
  return true;
}

int TesterRegisterModel::importPrevious() {
  auto text = readTextLines(previousFile_);
  if (!text) {
    reportMessage(IDS_FILE_NOT_FOUND, shownPath(previousFile_));
    return 0;
  }
  int added = 0;
  int ordinal = 0;
  for (const std::string& line : text->lines) {
    if (line.empty()) continue;
    ++ordinal;
    const std::string name = splitCsvField(line, 1);
    if (name.empty() || name == "**") continue;
    if (std::find(rows_.begin(), rows_.end(), name) != rows_.end()) continue;
    const auto at = ordinal <= rowCount() ? rows_.begin() + (ordinal - 1) : rows_.end();
    rows_.insert(at, name);
    ++added;
  }
  if (added == 0) {
    reportMessage(IDS_NO_IMPORT);
  } else {
    reportMessage(IDS_IMPORTED, cformat("%d", added));
    modified_ = true;
  }
  return added;
}

bool TesterRegisterModel::storeRegister() const {
  const int last = lastNameRow();
  std::vector<std::string> names;
  std::string report = messageText(IDS_SAME_DATA) + "\n";
  int duplicates = 0;
  for (int row = 1; row <= last; ++row) {
    const std::string& current = name(row);
    if (current.empty()) continue;
    for (int earlier = 1; earlier < row; ++earlier) {
      if (name(earlier) != current) continue;
      ++duplicates;
      if (duplicates <= kReportedDuplicates && cp932Length(report) < kReportLength)
        report += cformat("%2d行目と%2d行目 [%s]　%s", row, earlier, current.c_str(), "\n");
    }
    names.push_back(current);
  }
  if (!writeTesterRegister(file_, names)) {
    messageSink().report(messageText(IDS_REGISTER_PREFIX) + messageText(IDS_SAVE_FAILED));
    return false;
  }
  if (duplicates > 0) messageSink().report(report);
  return true;
}

bool TesterRegisterModel::confirmCancel() const {
  if (!modified_) return true;
  return messageSink().askYesNo(messageText(IDS_DISCARD_CHANGES));
}

int TesterRegisterModel::takeRowToShow() { return std::exchange(rowToShow_, 0); }

} // namespace tov
