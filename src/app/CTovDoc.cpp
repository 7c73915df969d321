#include "app/CTovDoc.h"

#include "qt/FileChooser.h"
#include "app/RecentFiles.h"
#include "app/ShellLogic.h"
#include "files/Settings.h"
#include "files/TvdFile.h"
#include "record/Messages.h"

namespace tov {

CTovDoc::CTovDoc(TestRecord& record, FileChooser& chooser, RecentFiles* recent, QObject* parent)
    : QObject(parent), record_(record), chooser_(&chooser), recent_(recent) {}

std::string CTovDoc::title() const {
  if (pathName_.empty()) return "無題";
  return std::filesystem::path(pathName_).filename().string();
}

QStringList CTovDoc::openFilters() {
  return {QStringLiteral("現場透水試験 Ver.3,4,5(.tvd) (*.tvd)"), QStringLiteral("すべて(*.*) (*)")};
}

QStringList CTovDoc::saveFilters() {
  return {QStringLiteral("現場透水試験Tov(.tvd) (*.tvd)"), QStringLiteral("すべて(*.*) (*)")};
}

void CTovDoc::setPathName(const std::filesystem::path& path, bool addToRecentFiles) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(path, ec);
  pathName_ = (ec ? path : full.lexically_normal()).string();
  if (addToRecentFiles && recent_) recent_->add(pathName_);
  emit pathChanged();
}

void CTovDoc::setModifiedFlag(bool modified) {
  if (modified_ == modified) return;
  modified_ = modified;
  emit modifiedChanged(modified_);
}

bool CTovDoc::saveModified(QWidget* parent) {
  if (!modified_) return true;
  switch (messageSink().askYesNoCancel(messageText(IDS_SAVE_CHANGES, title()))) {
  case Answer::Yes:
    onFileSave(parent);
    return !modified_;
  case Answer::No:
    return true;
  case Answer::Cancel:
    break;
  }
  return false;
}

bool CTovDoc::onNewDocument() {
  record_.clearRecord();
  pathName_.clear();
  setModifiedFlag(false);
  emit pathChanged();
  emit updateAllViews();
  return true;
}

void CTovDoc::onFileOpen(QWidget* parent) {
  const std::filesystem::path installFolder = theSettings().installFolderPath();
  const LastFolder last = readLastFolder(installFolder);
  const auto chosen = chooser_->chooseOpenFile(parent, last.folder, openFilters());
  if (!chosen) return;
  if (openTestFile(*chosen, record_) != LoadStatus::Ok) return;
  emit updateAllViews();
  setPathName(*chosen);
  setModifiedFlag(false);
  writeLastFolder(installFolder, LastFolder{folderOfChosenFile(*chosen), last.keptLine});
}

bool CTovDoc::openDocumentFile(const std::filesystem::path& path) {
  if (loadTestFile(path, record_) != LoadStatus::Ok) {
    // A file that cannot be read leaves the document, and its name, as it
    // was; a recent entry that no longer opens leaves the list.
    if (recent_) {
      std::error_code ec;
      std::filesystem::path full = std::filesystem::absolute(path, ec);
      recent_->remove((ec ? path : full.lexically_normal()).string());
    }
    return false;
  }
  setPathName(path);
  setModifiedFlag(false);
  emit updateAllViews();
  return true;
}

bool CTovDoc::writeTo(const std::filesystem::path& path) {
  if (!saveTestFile(path, record_)) return false;
  setPathName(path);
  setModifiedFlag(false);
  return true;
}

void CTovDoc::onFileSave(QWidget* parent) {
  if (saveNeedsSaveAs(pathName_, title())) {
    onFileSaveAs(parent);
    return;
  }
  writeTo(pathName_);
}

void CTovDoc::onFileSaveAs(QWidget* parent) {
  const auto chosen = chooser_->chooseSaveFile(parent, pathName_, saveFilters());
  if (!chosen) return;
  const auto target = saveAsTarget(*chosen);
  if (!target) return;
  // The file dialog asked about overwriting the name as typed; a name that
  // gained its extension here may be another, existing test.
  std::error_code ec;
  if (*target != *chosen && std::filesystem::exists(*target, ec) &&
      !messageSink().askYesNo(messageText(IDS_CONFIRM_OVERWRITE, target->string())))
    return;
  writeTo(*target);
}

} // namespace tov
