#include "app/CTovDoc.h"

#include <QDir>

#include "qt/FileChooser.h"
#include "app/RecentFiles.h"
#include "app/ShellLogic.h"
#include "files/LockFile.h"
#include "files/Platform.h"
#include "files/Recovery.h"
#include "files/Settings.h"
#include "files/TextFile.h"
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
  connect(this, &CTovDoc::editApplied, this, [this] { updateRecovery(); });
}

CTovDoc::~CTovDoc() {
  dropPendingLock();
  releaseOwnLock();
  removeRecovery(recoveryFile_);
}

void CTovDoc::updateRecovery() {
  if (modified_) {
    if (recoveryFile_.empty()) recoveryFile_ = newRecoveryFile();
    // The file the edits started from goes with them, so that restoring
    // them later notices a save by someone else in between.
    const auto base = identityPath_ == pathName_ ? identity_ : std::nullopt;
    if (!writeRecovery(recoveryFile_, record_, pathName_, base) && !recoveryFailureReported_) {
      recoveryFailureReported_ = true;  // once: every edit would say it again
      reportMessage(IDS_RECOVERY_NOT_WRITTEN, shownPath(recoveryFile_.parent_path()));
    }
  } else {
    removeRecovery(recoveryFile_);
  }
}

void CTovDoc::releaseOwnLock() {
  if (!lockedPath_.empty()) {
    lockOnInterrupt_.forget(utf8Path(lockPathFor(lockedPath_)));
    releaseLock(lockedPath_);
  }
  lockedPath_.clear();
}

void CTovDoc::dropPendingLock() {
  if (pendingLock_.empty()) return;
  lockOnInterrupt_.forget(utf8Path(lockPathFor(pendingLock_)));
  releaseLock(pendingLock_);
  pendingLock_.clear();
}

bool CTovDoc::askAboutLock(const std::filesystem::path& path, bool* readOnly) {
  *readOnly = false;
  dropPendingLock();
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec).lexically_normal();
  if (full == lockedPath_) return true;  // this document's own test again
  // The lock is taken before the test is read, and only a program that got
  // it opens the test without a question: two windows started on one test
  // at the same moment cannot both think it theirs.
  const LockResult lock = acquireLock(full);
  if (lock.state == LockState::Acquired || lock.state == LockState::TakenOver) {
    pendingLock_ = full;
    lockOnInterrupt_.add(utf8Path(lockPathFor(full)));
    return true;
  }
  if (lock.state == LockState::NotWritable) return true;  // a folder that takes no lock does not stop the work
  const LockOwner& owner = lock.other;
  const std::string who = owner.pid > 0 ? owner.user + "@" + owner.host + " " + owner.time : std::string("?");
  switch (messageSink().askThreeWay(messageText(IDS_LOCKED_BY_OTHER, {who, shownPath(full)}), "読み取り専用で開く",
                                    "そのまま開く", "キャンセル")) {
  case Answer::Yes: *readOnly = true; return true;
  case Answer::No: return true;
  case Answer::Cancel: break;
  }
  return false;
}

void CTovDoc::adoptFile(const std::filesystem::path& path, bool readOnly) {
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec).lexically_normal();
  identity_ = identityOf(full);
  identityPath_ = utf8Path(full);
  dismissed_.reset();
  // A file this user may not write (or in a folder where it cannot be
  // replaced) is open read-only as well: the caption says so and Save
  // offers Save As.
  const std::filesystem::path folder = full.has_parent_path() ? full.parent_path() : std::filesystem::path(".");
  readOnly_ = readOnly ? ReadOnly::Locked
              : std::filesystem::exists(full, ec) && (!mayWrite(full) || !mayWrite(folder)) ? ReadOnly::NoPermission
                                                                                            : ReadOnly::No;
  if (full == lockedPath_) return;
  releaseOwnLock();
  // The lock taken before reading this test is kept; a test that cannot be
  // saved here takes none.
  if (pendingLock_ == full && readOnly_ == ReadOnly::No) {
    lockedPath_ = full;
    pendingLock_.clear();
    return;
  }
  dropPendingLock();
  // A live lock of another program stays theirs; a folder that takes no
  // lock file does not stop the work.
  if (readOnly_ == ReadOnly::No) {
    const LockResult lock = acquireLock(full);
    if (lock.state == LockState::Acquired || lock.state == LockState::TakenOver) {
      lockedPath_ = full;
      lockOnInterrupt_.add(utf8Path(lockPathFor(full)));
    }
  }
}

void CTovDoc::checkChangedOnDisk() {
  if (asking_ || modified_ || pathName_.empty() || !identity_ || identityPath_ != pathName_) return;
  if (!changedOnDisk(filePath(), *identity_)) return;
  const auto now = identityOf(filePath());
  if (!now || (dismissed_ && *now == *dismissed_)) return;
  asking_ = true;
  const bool reload = messageSink().askYesNo(messageText(IDS_RELOAD_CHANGED, pathName_));
  asking_ = false;
  if (!reload) {
    dismissed_ = now;
    return;
  }
  if (loadTestFile(filePath(), record_) != LoadStatus::Ok) return;
  identity_ = identityOf(filePath());
  dismissed_.reset();
  clearHistory();
  emit updateAllViews();
}

void CTovDoc::offerRecovery() {
  std::vector<SetAsideRecovery> setAside;
  std::vector<RecoveryFile> found = leftRecoveries(&setAside);
  // A file that is no whole recovery is named, never passed over nor restored.
  for (const auto& left : setAside)
    reportMessage(left.problem == RecoveryProblem::OldVersion ? IDS_RECOVERY_OLD_SET_ASIDE : IDS_RECOVERY_SET_ASIDE,
                  shownPath(left.file));
  for (RecoveryFile& left : found) {
    const std::string name = left.testPath.empty() ? std::string("無題") : left.testPath;
    if (!messageSink().askYesNo(messageText(IDS_RECOVERY_FOUND, {name, recoveryTimeText(left.savedAt)}))) {
      removeRecovery(left.file);
      continue;
    }
    if (!left.testPath.empty()) {
      // The test's file as it is now, beside the one the edits began from:
      // deleted, saved by someone else, not to be told (a damaged or
      // missing record of it), or there although the edits began without
      // one. Each is asked again; No keeps the recovery file for the next
      // start.
      std::error_code ec;
      const bool there = std::filesystem::exists(pathFromUtf8(left.testPath), ec);
      const bool startedFromFile = left.base || left.baseUnknown;
      int question = 0;
      if (startedFromFile && !there) question = IDS_RECOVERY_BASE_DELETED;
      else if (left.baseUnknown || (!left.base && there)) question = IDS_RECOVERY_BASE_UNKNOWN;
      else if (left.base && changedOnDisk(pathFromUtf8(left.testPath), *left.base)) question = IDS_RECOVERY_BASE_CHANGED;
      if (question != 0 && !messageSink().askYesNo(messageText(question, shownPath(pathFromUtf8(left.testPath)))))
        continue;
    }
    record_ = std::move(left.record);
    clearHistory();
    if (left.testPath.empty()) {
      pathName_.clear();
      releaseOwnLock();
      identity_.reset();
      readOnly_ = ReadOnly::No;
      emit pathChanged();
    } else {
      setPathName(pathFromUtf8(left.testPath), false);
      bool readOnly = false;
      if (!askAboutLock(pathFromUtf8(left.testPath), &readOnly)) readOnly = true;
      adoptFile(pathFromUtf8(left.testPath), readOnly);
      // A test saved by someone else since keeps the old base, so Save asks
      // before overwriting; a deleted one, or one the user took as it is,
      // is saved without asking again.
      if (left.base && identity_) identity_ = left.base;
    }
    // The restored test keeps its recovery file until it is saved or dropped.
    removeRecovery(recoveryFile_);
    recoveryFile_ = left.file;
    setModifiedFlag(true);
    emit updateAllViews();
    return;  // one window, one test: the others wait for the next start
  }
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
  // Back at the saved state: no recovery. A change writes it once, after
  // it is applied (editApplied, setModifiedFlag).
  if (!modified_) updateRecovery();
  emit modifiedChanged(modified_);
}

std::filesystem::path CTovDoc::filePath() const { return pathFromUtf8(pathName_); }

std::string CTovDoc::title() const {
  if (pathName_.empty()) return "無題";
  return utf8Path(filePath().filename());
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
  pathName_ = utf8Path(ec ? path : full.lexically_normal());
  if (addToRecentFiles && recent_) recent_->add(pathName_);
  emit pathChanged();
}

void CTovDoc::setModifiedFlag(bool modified) {
  // The saved state is where the history now stands; a change made outside
  // the history leaves no state of it that equals the file.
  if (modified) undoStack_.resetClean();
  else undoStack_.setClean();
  cleanChanged();
  updateRecovery();  // every change marked here is written, not only the first
}

bool CTovDoc::saveModified(QWidget* parent) {
  if (!modified_) return true;
  switch (messageSink().askYesNoCancel(messageText(IDS_SAVE_CHANGES, title()))) {
  case Answer::Yes:
    onFileSave(parent);
    return !modified_;
  case Answer::No:
    removeRecovery(recoveryFile_);  // dropped on purpose
    return true;
  case Answer::Cancel:
    break;
  }
  return false;
}

bool CTovDoc::onNewDocument() {
  record_.clearRecord();
  pathName_.clear();
  releaseOwnLock();
  identity_.reset();
  readOnly_ = ReadOnly::No;
  clearHistory();
  emit pathChanged();
  emit updateAllViews();
  return true;
}

void CTovDoc::onFileOpen(QWidget* parent) {
  const std::filesystem::path installFolder = theSettings().installFolderPath();
  const LastFolder last = readLastFolder(installFolder);
  const auto chosen = chooser_->chooseOpenFile(parent, pathFromUtf8(last.folder), openFilters());
  if (!chosen) return;
  bool readOnly = false;
  if (!askAboutLock(*chosen, &readOnly)) return;
  if (openTestFile(*chosen, record_) != LoadStatus::Ok) {
    dropPendingLock();
    return;
  }
  clearHistory();
  emit updateAllViews();
  setPathName(*chosen);
  adoptFile(*chosen, readOnly);
  writeLastFolder(installFolder, LastFolder{folderOfChosenFile(*chosen), last.keptLine});
}

bool CTovDoc::openDocumentFile(const std::filesystem::path& path) {
  bool readOnly = false;
  if (!askAboutLock(path, &readOnly)) return false;
  if (loadTestFile(path, record_) != LoadStatus::Ok) {
    dropPendingLock();
    // A file that cannot be read leaves the document, and its name, as it
    // was; a recent entry that no longer opens leaves the list.
    if (recent_) {
      std::error_code ec;
      std::filesystem::path full = std::filesystem::absolute(path, ec);
      recent_->remove(utf8Path(ec ? path : full.lexically_normal()));
    }
    return false;
  }
  setPathName(path);
  adoptFile(path, readOnly);
  clearHistory();
  emit updateAllViews();
  return true;
}

bool CTovDoc::writeTo(const std::filesystem::path& path) {
  InterruptCleanup guard;  // a logout's SIGTERM during the save leaves no temporary
  if (!saveTestFile(path, record_)) return false;
  setPathName(path);
  adoptFile(path, false);
  setModifiedFlag(false);
  return true;
}

void CTovDoc::onFileSave(QWidget* parent) {
  if (saveNeedsSaveAs(pathName_, title())) {
    onFileSaveAs(parent);
    return;
  }
  if (readOnly_ == ReadOnly::Locked) {
    reportMessage(IDS_READ_ONLY_SAVE);
    onFileSaveAs(parent);
    return;
  }
  if (readOnly_ == ReadOnly::NoPermission) {
    if (messageSink().askTwoWay(messageText(IDS_NO_WRITE_PERMISSION, shownPath(pathFromUtf8(pathName_))),
                                "名前を付けて保存", "キャンセル"))
      onFileSaveAs(parent);
    return;
  }
  std::error_code ec;
  if (identity_ && identityPath_ == pathName_ && !std::filesystem::exists(pathFromUtf8(pathName_), ec)) {
    // Deleted by someone else since: saved again under its name, or elsewhere.
    switch (messageSink().askThreeWay(messageText(IDS_DELETED_ON_DISK, shownPath(pathFromUtf8(pathName_))), "保存",
                                      "名前を付けて保存", "キャンセル")) {
    case Answer::Yes: break;
    case Answer::No: onFileSaveAs(parent); return;
    case Answer::Cancel: return;
    }
  } else if (identity_ && identityPath_ == pathName_ && changedOnDisk(filePath(), *identity_)) {
    // Someone else changed the file since it was read or written here.
    switch (messageSink().askThreeWay(messageText(IDS_CHANGED_ON_DISK), "上書き", "名前を付けて保存", "キャンセル")) {
    case Answer::Yes: break;
    case Answer::No: onFileSaveAs(parent); return;
    case Answer::Cancel: return;
    }
  }
  writeTo(filePath());
}

void CTovDoc::onFileSaveAs(QWidget* parent) {
  const std::filesystem::path lastFolder = pathFromUtf8(readLastFolder(theSettings().installFolderPath()).folder);
  const auto chosen = chooser_->chooseSaveFile(
      parent, suggestedSavePath(pathName_, record_, lastFolder, toPath(QDir::homePath())), saveFilters());
  if (!chosen) return;
  const auto target = saveAsTarget(*chosen);
  if (!target) return;
  // The file dialog asked about overwriting the name as typed; a name that
  // gained its extension here may be another, existing test.
  std::error_code ec;
  if (*target != *chosen && std::filesystem::exists(*target, ec) &&
      !messageSink().askYesNo(messageText(IDS_CONFIRM_OVERWRITE, utf8Path(*target))))
    return;
  writeTo(*target);
}

} // namespace tov
