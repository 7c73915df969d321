#include "app/CTovDoc.h"

#include <QDir>

#include "app/FileChooser.h"
#include "app/RecentFiles.h"
#include "app/ShellLogic.h"
#include "files/Settings.h"
#include "files/TvdFile.h"
#include "record/Messages.h"

namespace tov {

// One whole edit of the test: the test before and after it.
class EditStep : public QUndoCommand {
public:
  EditStep(CTovDoc& doc, const QString& name, TestRecord before, TestRecord after)
      : QUndoCommand(name), doc_(doc), before_(std::move(before)), after_(std::move(after)) {}
  void undo() override { put(before_); }
  void redo() override { put(after_); }

private:
  // The signals follow in CTovDoc once the stack has moved, so that their
  // handlers see the history as it now stands.
  void put(const TestRecord& state) { doc_.record_ = state; }
  CTovDoc& doc_;
  TestRecord before_;
  TestRecord after_;
};

CTovDoc::CTovDoc(TestRecord& record, FileChooser& chooser, RecentFiles* recent, QObject* parent)
    : QObject(parent), record_(record), chooser_(&chooser), recent_(recent) {
  undoStack_.setObjectName(QStringLiteral("undoStack"));
  connect(&undoStack_, &QUndoStack::cleanChanged, this, [this] { cleanChanged(); });
}

bool CTovDoc::applyEdit(const QString& name, const TestRecord& after) {
  if (after == record_) return false;
  undoStack_.push(new EditStep(*this, name, record_, after));
  emit editApplied();
  emit historyChanged();
  return true;
}

void CTovDoc::undo() {
  if (!undoStack_.canUndo()) return;
  undoStack_.undo();
  emit editApplied();
  emit historyChanged();
}

void CTovDoc::redo() {
  if (!undoStack_.canRedo()) return;
  undoStack_.redo();
  emit editApplied();
  emit historyChanged();
}

void CTovDoc::clearHistory() {
  undoStack_.clear();
  undoStack_.setClean();  // clear() leaves an empty stack as it was
  cleanChanged();
  emit historyChanged();
}

void CTovDoc::cleanChanged() {
  const bool modified = !undoStack_.isClean();
  if (modified_ == modified) return;
  modified_ = modified;
  emit modifiedChanged(modified_);
}

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
  // The saved state is where the history now stands; a change made outside
  // the history leaves no state of it that equals the file.
  if (modified) undoStack_.resetClean();
  else undoStack_.setClean();
  cleanChanged();
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
  clearHistory();
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
  clearHistory();
  emit updateAllViews();
  setPathName(*chosen);
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
  clearHistory();
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
  const std::filesystem::path lastFolder = readLastFolder(theSettings().installFolderPath()).folder;
  const auto chosen = chooser_->chooseSaveFile(
      parent, suggestedSavePath(pathName_, record_, lastFolder, toPath(QDir::homePath())), saveFilters());
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
