#include "dialogs/TesterRegisterModel.h"

#include <algorithm>
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
    reportMessage(IDS_FILE_NOT_FOUND, file.string());
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
  modified_ = true;
  return true;
}

void TesterRegisterModel::commitCell(std::string text) {
  if (!editing_) return;
  editing_ = false;
  rows_[static_cast<std::size_t>(editorRow_ - 1)] = std::move(text);
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
    reportMessage(IDS_FILE_NOT_FOUND, previousFile_.string());
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
