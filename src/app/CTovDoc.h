#pragma once
// The document: the one test record with its file name. It opens and saves
// tests (its own Open, Save and Save As commands, and the open path used for
// the command line, the recent files and dropped files). An editor closed
// with OK that changed the test marks it modified; New, Open, a recent or
// dropped file and closing the window then ask whether to save first.
//
// Every change of the test made by the user goes through applyEdit(): one
// whole edit (an editor's OK, an import of readings) is one step of the
// undo history, which holds the test before and after it. Undo and redo put
// the test back exactly, and the modified mark follows the saved state (undo
// back to what was saved clears it). New and Open start a fresh history.
// Settings (Sys.ndx, fonts) are never part of it.
#include <QObject>
#include <QStringList>
#include <QUndoStack>

#include <filesystem>
#include <optional>
#include <string>

#include "cli/InterruptCleanup.h"
#include "files/FileIdentity.h"

#include "record/TestRecord.h"

class QWidget;

namespace tov {

class FileChooser;
class RecentFiles;

class CTovDoc : public QObject {
  Q_OBJECT
public:
  // recent may be null (no recent-file list).
  CTovDoc(TestRecord& record, FileChooser& chooser, RecentFiles* recent, QObject* parent = nullptr);
  // Gives up the test's lock and the recovery file (a clean exit).
  ~CTovDoc() override;

  TestRecord& record() { return record_; }
  // The file dialogs the document asks (the view's PDF output asks them too).
  FileChooser& fileChooser() { return *chooser_; }
  const std::string& pathName() const { return pathName_; }
  // The test's file: pathName() (UTF-8 text) as a path.
  std::filesystem::path filePath() const;
  // The file name of the path, or "無題" without one.
  std::string title() const;
  bool isModified() const { return modified_; }
  // Nothing lost: after any change applied to the test (every editApplied
  // step, a change marked outside the history) the recovery file is written
  // while the test is modified, and removed once it is not.
  void setModifiedFlag(bool modified);
  // Before the test is replaced or the window closes: true when it may go
  // (nothing to save, saved, or not to be saved); false to keep everything
  // as it is (the question cancelled, or the save did not happen).
  bool saveModified(QWidget* parent = nullptr);
  // Sets the path (and the title) and, when asked, puts it in the recent files.
  void setPathName(const std::filesystem::path& path, bool addToRecentFiles = true);

  // New: an empty record, no path.
  bool onNewDocument();
  // Open: file dialog from the folder in FileV.ndx, then the file.
  void onFileOpen(QWidget* parent = nullptr);
  // Save: to the path, or Save As without a usable one.
  void onFileSave(QWidget* parent = nullptr);
  // Save As: file dialog, extension rules, then the file.
  void onFileSaveAs(QWidget* parent = nullptr);
  // Opens a file named on the command line, from the recent files or dropped
  // on the window. False (after the message) when it could not be read; the
  // document is then left as it was.
  bool openDocumentFile(const std::filesystem::path& path);

  // Replaces the test with `after` as one undoable step named `name`
  // ("測定データ"; the Edit menu shows "元に戻す: 測定データ"). Nothing
  // happens, and false is returned, when `after` equals the test.
  bool applyEdit(const QString& name, const TestRecord& after);
  bool canUndo() const { return undoStack_.canUndo(); }
  bool canRedo() const { return undoStack_.canRedo(); }
  QString undoText() const { return undoStack_.undoText(); }  // the step's name
  QString redoText() const { return undoStack_.redoText(); }
  void undo();
  void redo();
  // Forgets the history (New, Open); the test stays as it is.
  void clearHistory();

  // The test was opened read-only (another program has it open, or this
  // user may not write its file): Save goes to Save As.
  bool isReadOnly() const { return readOnly_ != ReadOnly::No; }
  // When the window is active again: an unmodified test whose file changed
  // on disk is offered to be read again.
  void checkChangedOnDisk();
  // At start: the recovery files left by a program that ended without
  // saving are offered one by one; the first accepted is restored (modified,
  // under its own path), a declined one is removed.
  void offerRecovery();
  const std::filesystem::path& recoveryFile() const { return recoveryFile_; }

  static QStringList openFilters();
  static QStringList saveFilters();

signals:
  // The record was replaced (New, Open): every view updates.
  void updateAllViews();
  void pathChanged();
  void modifiedChanged(bool modified);
  // The test changed by a step: after applyEdit(), undo() and redo(). Views
  // redraw; this is the one place to hook work after every applied edit.
  void editApplied();
  // What undo() and redo() would do changed (a step made, undone, redone, or
  // the history cleared).
  void historyChanged();

private:
  bool writeTo(const std::filesystem::path& path);
  // Before a test is read: takes its lock (kept by adoptFile once the test
  // is read), or asks when another program has it; false when the user
  // cancels; *readOnly set when it is to open read-only.
  bool askAboutLock(const std::filesystem::path& path, bool* readOnly);
  // Gives up a lock taken by askAboutLock for a test that was not read.
  void dropPendingLock();
  // After a test was read or written at the path: its identity and its lock.
  void adoptFile(const std::filesystem::path& path, bool readOnly);
  void releaseOwnLock();
  // The recovery file follows the modified state.
  void updateRecovery();
  void cleanChanged();

  friend class EditStep;

  TestRecord& record_;
  FileChooser* chooser_;
  RecentFiles* recent_;
  std::string pathName_;
  bool modified_ = false;
  QUndoStack undoStack_;
  std::optional<FileIdentity> identity_;   // of the file as last read or written
  std::string identityPath_;               // that file
  std::optional<FileIdentity> dismissed_;  // a change on disk the user chose not to read
  std::filesystem::path lockedPath_;       // the test whose lock is ours
  std::filesystem::path pendingLock_;      // a lock taken for a test about to be read
  // A hang-up or termination (a session's logout) removes our lock file on
  // its way out; the recovery file stays for the next start.
  InterruptCleanup lockOnInterrupt_;
  enum class ReadOnly { No, Locked, NoPermission };
  ReadOnly readOnly_ = ReadOnly::No;
  bool asking_ = false;
  std::filesystem::path recoveryFile_;
  bool recoveryFailureReported_ = false;
};

} // namespace tov
