// Nothing lost: rows the readings editors must keep, a file changed by
// another document, the lock beside an open test, and crash recovery.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

#include "app/CTovDoc.h"
#include "qt/FileChooser.h"
#include "app/ShellLogic.h"
#include "dialogs/ReadingsModel.h"
#include "files/LockFile.h"
#include "files/Recovery.h"
#include "files/TextCodec.h"
#include "files/TvdFile.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::ScopedEnv;
using testing::TempDir;

fs::path sample(const char* name) { return fs::path(TOV_SOURCE_DIR) / "samples" / name; }

class SaveAsChooser : public FileChooser {
public:
  std::optional<fs::path> chooseOpenFile(QWidget*, const fs::path&, const QStringList&) override { return openAnswer; }
  std::optional<fs::path> chooseSaveFile(QWidget*, const fs::path&, const QStringList&) override {
    ++saveCalls;
    return saveAnswer;
  }
  std::optional<fs::path> openAnswer, saveAnswer;
  int saveCalls = 0;
};

class NothingLost : public ::testing::Test {
protected:
  TempDir dir;
  ScopedEnv data{"XDG_DATA_HOME", (dir / "data").string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  SaveAsChooser chooser;
};

// The readings editors' OK without a change and their Cancel leave every
// cell of a test as it was, saved and read again byte for byte: a row with
// a blank t beside h', Q and a clock time, and the rows behind a t that is
// not a number.
TEST_F(NothingLost, ReadingsEditorsKeepEveryRow) {
  const struct { const char* sample; int row; const char* time; bool steady; bool ok; } cases[] = {
      {"steady.tvd", 3, "", true, true},      {"steady.tvd", 3, "", true, false},
      {"steady.tvd", 3, "", false, true},     {"steady.tvd", 3, "abc", true, false},
      {"steady.tvd", 3, "abc", false, false}, {"unsteady.tvd", 5, "", false, true},
      {"unsteady.tvd", 5, "x", false, false}, {"long.tvd", 1, "", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.sample) + " t='" + c.time + "' " + (c.steady ? "steady " : "unsteady ") +
                 (c.ok ? "OK" : "Cancel"));
    TestRecord record;
    ASSERT_EQ(loadTestFile(sample(c.sample), record), LoadStatus::Ok);
    record.setCell(c.row, C_time, c.time);
    ASSERT_TRUE(saveTestFile(dir / "before.tvd", record));
    const int rowsWithText = record.lastRowWithText();
    if (c.ok) {
      ReadingsModel model(c.steady ? ReadingsMethod::Steady : ReadingsMethod::Unsteady);
      model.openReadings(record.readings, record.pipeTopHeight(), record.equilibriumLevel(), {"0", "100", "-5", "5"});
      ASSERT_TRUE(model.checkBeforeStore());
      ReadingTable stored = record.readings;
      model.storeReadings(stored);
      record.readings = stored;
    }
    readingsFollowUp(record, c.steady);
    ASSERT_TRUE(saveTestFile(dir / "after.tvd", record));
    EXPECT_EQ(record.lastRowWithText(), rowsWithText);
    EXPECT_EQ(readBytes(dir / "after.tvd"), readBytes(dir / "before.tvd"));
  }
}

// Two documents on one test: the second is told of the first's lock; after
// B saved, A's save asks before overwriting, and an unmodified A reads the
// file again when the window is active again.
TEST_F(NothingLost, TwoDocumentsOnOneFile) {
  fs::copy_file(sample("steady.tvd"), dir / "t.tvd");
  TestRecord recordA, recordB;
  CTovDoc a(recordA, chooser, nullptr), b(recordB, chooser, nullptr);
  ASSERT_TRUE(a.openDocumentFile(dir / "t.tvd"));
  EXPECT_TRUE(sink.asked.empty());
  EXPECT_TRUE(fs::exists(dir / ".~lock.t.tvd#"));

  sink.choices = {Answer::No};  // そのまま開く
  ASSERT_TRUE(b.openDocumentFile(dir / "t.tvd"));
  ASSERT_EQ(sink.asked.size(), 1u);
  EXPECT_NE(sink.asked[0].find("この試験は他で開かれています"), std::string::npos);
  EXPECT_FALSE(b.isReadOnly());
  TestRecord changed = recordB;
  changed.set_surveyName("B の変更");
  b.applyEdit(QStringLiteral("見出し"), changed);
  b.onFileSave();
  EXPECT_FALSE(b.isModified());

  // A unmodified: offered to read again.
  sink.asked.clear();
  sink.answers = {true};
  a.checkChangedOnDisk();
  EXPECT_EQ(sink.asked, std::vector<std::string>{messageText(IDS_RELOAD_CHANGED, a.pathName())});
  EXPECT_EQ(recordA.surveyName(), "B の変更");
  a.checkChangedOnDisk();  // nothing changed since: no question
  EXPECT_EQ(sink.asked.size(), 1u);

  // B saves again; A, modified, asks before saving over it.
  changed.set_surveyName("B の二回目");
  b.applyEdit(QStringLiteral("見出し"), changed);
  b.onFileSave();
  const std::string bSaved = readBytes(dir / "t.tvd");
  changed = recordA;
  changed.set_surveyName("A の変更");
  a.applyEdit(QStringLiteral("見出し"), changed);
  sink.asked.clear();
  const struct { Answer answer; int saveAsCalls; bool overwritten; } answers[] = {
      {Answer::Cancel, 0, false}, {Answer::No, 1, false}, {Answer::Yes, 1, true}};
  for (const auto& r : answers) {
    sink.choices = {r.answer};
    a.onFileSave();
    EXPECT_EQ(sink.asked.back(), messageText(IDS_CHANGED_ON_DISK));
    EXPECT_EQ(chooser.saveCalls, r.saveAsCalls);
    EXPECT_EQ(readBytes(dir / "t.tvd") != bSaved, r.overwritten);
  }
}

// A lock of a live program offers read-only (Save then goes to Save As); a
// lock of a process of this host that is gone is taken over silently; a
// lock of another host counts as live. Closing removes only our own lock.
TEST_F(NothingLost, LocksLiveAndStale) {
  fs::copy_file(sample("unsteady.tvd"), dir / "t.tvd");
  const LockOwner me = currentLockOwner();
  pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const struct { LockOwner owner; bool asked; } cases[] = {
      {{me.user, me.host, static_cast<long>(dead), "x"}, false},
      {{"other", me.host, static_cast<long>(::getppid()), "x"}, true},
      {{"other", "another-host", 1, "x"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.owner.host + " " + std::to_string(c.owner.pid));
    testing::writeBytes(lockPathFor(dir / "t.tvd"), lockText(c.owner));
    sink.asked.clear();
    sink.choices = {Answer::Yes};  // 読み取り専用で開く
    chooser.saveCalls = 0;
    {
      TestRecord record;
      CTovDoc doc(record, chooser, nullptr);
      ASSERT_TRUE(doc.openDocumentFile(dir / "t.tvd"));
      EXPECT_EQ(sink.asked.size(), c.asked ? 1u : 0u);
      EXPECT_EQ(doc.isReadOnly(), c.asked);
      EXPECT_EQ(parseLockText(readBytes(lockPathFor(dir / "t.tvd"))) == std::optional<LockOwner>(c.owner), c.asked);
      doc.onFileSave();  // read-only: Save As (cancelled here)
      EXPECT_EQ(chooser.saveCalls, c.asked ? 1 : 0);
    }
    EXPECT_EQ(fs::exists(lockPathFor(dir / "t.tvd")), c.asked);  // ours went with the document
  }
  // Lock texts that are not locks.
  for (const char* text : {"", "a,b,c", "a,b,0,t;", "a,b,12x,t;", "a,b,1,t,e;", "a\n,b,1,t;"})
    EXPECT_FALSE(parseLockText(text).has_value()) << text;
}

// Windows started at the same moment on one test: exactly one takes the
// lock and opens the test as its own, the others are asked (and, cancelling,
// leave it); also on a stale lock, which two windows both took over in 3 of
// 5 rounds.
TEST_F(NothingLost, WindowsStartedAtOnceTakeTheLockOnce) {
  fs::copy_file(sample("steady.tvd"), dir / "t.tvd");
  const fs::path lock = lockPathFor(dir / "t.tvd");
  const LockOwner me = currentLockOwner();
  for (const bool stale : {false, true}) {
    for (int round = 0; round < 10; ++round) {
      SCOPED_TRACE(std::string(stale ? "stale" : "none") + " round " + std::to_string(round));
      fs::remove(lock);
      if (stale) {
        const pid_t dead = ::fork();
        if (dead == 0) ::_exit(0);
        ::waitpid(dead, nullptr, 0);
        testing::writeBytes(lock, lockText({me.user, me.host, static_cast<long>(dead), "x"}));
      }
      // Every window stays until all have opened: the lock of one that is
      // gone would be stale, and rightly taken over.
      int opened[2], release[2];
      ASSERT_EQ(::pipe(opened), 0);
      ASSERT_EQ(::pipe(release), 0);
      const auto start = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
      std::vector<pid_t> windows;
      for (int i = 0; i < 3; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
          while (std::chrono::steady_clock::now() < start) {
          }
          TestRecord record;
          CTovDoc doc(record, chooser, nullptr);
          const bool read = doc.openDocumentFile(dir / "t.tvd");  // a question is cancelled
          char byte = 'o';
          if (::write(opened[1], &byte, 1) != 1 || ::read(release[0], &byte, 1) != 1) ::_exit(3);
          ::_exit(read && sink.asked.empty() ? 0 : !read && sink.asked.size() == 1 ? 1 : 2);  // the lock stays
        }
        windows.push_back(child);
      }
      char bytes[3];
      for (std::size_t got = 0; got < sizeof bytes;) {
        const auto n = ::read(opened[0], bytes + got, sizeof bytes - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
      }
      const auto owner = parseLockText(readBytes(lock));
      EXPECT_EQ(::write(release[1], "xxx", 3), 3);
      for (const int fd : {opened[0], opened[1], release[0], release[1]}) ::close(fd);
      std::map<int, std::vector<pid_t>> byOutcome;
      for (const pid_t child : windows) {
        int status = 0;
        ::waitpid(child, &status, 0);
        byOutcome[WIFEXITED(status) ? WEXITSTATUS(status) : -1].push_back(child);
      }
      ASSERT_EQ(byOutcome[0].size(), 1u) << "opened without a question";
      EXPECT_EQ(byOutcome[1].size(), 2u) << "asked";
      ASSERT_TRUE(owner);
      EXPECT_EQ(owner->pid, byOutcome[0].front());
    }
  }
  fs::remove(lock);
}

// An editor's OK writes the recovery file; the process then killed (or
// ended by a logout's SIGTERM, which also takes its lock away), the next
// start offers the test, which opens modified under its own path and saves
// byte-identical to what the editor produced. Saving removes it.
TEST_F(NothingLost, RecoveryAfterAKill) {
  for (const int signal : {SIGKILL, SIGTERM}) {
    fs::remove(dir / "t.tvd");
    fs::copy_file(sample("steady.tvd"), dir / "t.tvd");
    TestRecord edited;
    ASSERT_EQ(loadTestFile(dir / "t.tvd", edited), LoadStatus::Ok);
    edited.setCell(2, C_pipeLevel, "1.234");
    edited.set_surveyName("復元の確認");
    const std::string expected = *utf8ToCp932(buildTestFileText(edited));

    const pid_t child = ::fork();
    if (child == 0) {
      TestRecord record;
      CTovDoc doc(record, chooser, nullptr);
      if (!doc.openDocumentFile(dir / "t.tvd")) ::_exit(2);
      doc.applyEdit(QStringLiteral("測定データ"), edited);  // what the view does after an editor's OK
      ::kill(::getpid(), signal);
      ::_exit(3);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    ASSERT_EQ(leftRecoveries().size(), 1u) << signal;
    // A killed program's lock stays (stale: taken over on opening).
    EXPECT_EQ(fs::exists(lockPathFor(dir / "t.tvd")), signal == SIGKILL) << signal;
    fs::remove(lockPathFor(dir / "t.tvd"));

    TestRecord record;
    CTovDoc doc(record, chooser, nullptr);
    sink.answers = {true};
    sink.asked.clear();
    doc.offerRecovery();
    ASSERT_EQ(sink.asked.size(), 1u);
    EXPECT_NE(sink.asked[0].find((dir / "t.tvd").string()), std::string::npos);
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.pathName(), (dir / "t.tvd").string());
    doc.onFileSave();
    EXPECT_EQ(readBytes(dir / "t.tvd"), expected);
    EXPECT_TRUE(leftRecoveries().empty());
  }
}

// Edits left by a crash, then the test's file changed: saved by another
// writer, deleted, or its record in the recovery damaged. The restore asks
// what happened (No keeps the recovery for later); a test saved by another
// keeps the file it started from, so Ctrl+S asks before overwriting the
// other save; a deleted one is saved again without a question about a file
// that is not there. A test dated before 1970 restores like any other.
TEST_F(NothingLost, RecoveryOntoAChangedFileAsks) {
  enum Change { None, OtherSaved, Deleted, DamagedBase, Before1970, MissingBase };
  const struct { Change change; bool restore; int question; } cases[] = {
      {None, true, 0},
      {OtherSaved, true, IDS_RECOVERY_BASE_CHANGED},
      {OtherSaved, false, IDS_RECOVERY_BASE_CHANGED},
      {Deleted, true, IDS_RECOVERY_BASE_DELETED},
      {Deleted, false, IDS_RECOVERY_BASE_DELETED},
      {DamagedBase, true, IDS_RECOVERY_BASE_UNKNOWN},
      {Before1970, true, 0},
      // Without its base line, restored over another program's save: asked
      // as a damaged line is (the other save was lost without a question).
      {MissingBase, false, IDS_RECOVERY_BASE_UNKNOWN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.change) + " " + std::to_string(c.restore));
    fs::remove(dir / "t.tvd");
    fs::copy_file(sample("steady.tvd"), dir / "t.tvd");
    if (c.change == Before1970)
      fs::last_write_time(dir / "t.tvd", fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 60));
    TestRecord edited;
    ASSERT_EQ(loadTestFile(dir / "t.tvd", edited), LoadStatus::Ok);
    edited.set_surveyName("復元する変更");
    const fs::path left = newRecoveryFile();
    const auto base = identityOf(dir / "t.tvd");
    ASSERT_TRUE(writeRecovery(left, edited, (dir / "t.tvd").string(), base));
    if (c.change == Before1970) {
      ASSERT_LT(base->modifiedNs, 0);
    }
    if (c.change == OtherSaved || c.change == MissingBase) {
      TestRecord other = edited;
      other.set_surveyName("他の保存");
      ASSERT_TRUE(saveTestFile(dir / "t.tvd", other));
    }
    if (c.change == Deleted) fs::remove(dir / "t.tvd");
    if (c.change == DamagedBase || c.change == MissingBase) {
      std::string text = readBytes(left);
      const auto at = text.find("base=");
      const auto end = text.find('\n', at);
      if (c.change == DamagedBase) text.replace(at + 5, end - at - 5, "letters");
      else text.erase(at, end + 1 - at);
      testing::writeBytes(left, text);
    }
    const std::string onDisk = fs::exists(dir / "t.tvd") ? readBytes(dir / "t.tvd") : "";

    TestRecord record;
    CTovDoc doc(record, chooser, nullptr);
    sink.asked.clear();
    sink.answers = {true, c.restore};
    doc.offerRecovery();
    ASSERT_EQ(sink.asked.size(), c.question ? 2u : 1u);
    if (c.question) {
      EXPECT_EQ(sink.asked[1], messageText(c.question, (dir / "t.tvd").string()));
    }
    EXPECT_EQ(doc.isModified(), c.restore);
    EXPECT_EQ(fs::exists(left), true);  // until saved or dropped
    if (!c.restore) {
      removeRecovery(left);
      continue;
    }
    sink.asked.clear();
    sink.choices = {Answer::Cancel};
    doc.onFileSave();
    EXPECT_EQ(sink.asked.size(), c.change == OtherSaved ? 1u : 0u);
    EXPECT_EQ(readBytes(dir / "t.tvd") == onDisk, c.change == OtherSaved);  // cancelled: the other save stays
    EXPECT_EQ(record.surveyName(), "復元する変更");
    removeRecovery(left);
  }
}

// A recovery file that cannot be read as a whole one (cut short, not one,
// its test cut off or followed by junk, or an earlier version's, which does
// not say where it ends) is never passed over in silence nor restored: the
// user is told where it now is, under a name that is not met again, the
// test is untouched, and the next start says nothing more. A file cut inside
// its 30 readings, or just before them, was offered and saved 23 and 0.
TEST_F(NothingLost, AnUnreadableRecoveryIsNamedAndKeptAside) {
  fs::copy_file(sample("long.tvd"), dir / "t.tvd");
  const std::string test = readBytes(dir / "t.tvd");
  TestRecord edited;
  ASSERT_EQ(loadTestFile(dir / "t.tvd", edited), LoadStatus::Ok);
  ASSERT_GE(edited.countRows(C_time), 30);
  edited.set_surveyName("切れた復元");
  const std::string whole = recoveryText(edited, (dir / "t.tvd").string(), 1, 1, "h", identityOf(dir / "t.tvd"));
  const std::string body = whole.substr(whole.find("$$_TOVKARBO"));
  const std::string header = whole.substr(0, whole.size() - body.size());
  const std::string cutInReadings = whole.substr(0, whole.find("\r\n", whole.find("$$A") + 600) + 2);
  const struct { std::string text; int message; } rows[] = {
      {"", IDS_RECOVERY_SET_ASIDE},
      {"TovRecovery 2\npath=/a.tvd\n", IDS_RECOVERY_SET_ASIDE},
      {"garbage", IDS_RECOVERY_SET_ASIDE},
      {"TovRecovery 2\npath=/a.tvd\ntime=x\n\n", IDS_RECOVERY_SET_ASIDE},
      {cutInReadings, IDS_RECOVERY_SET_ASIDE},
      {whole.substr(0, whole.find("$$A")), IDS_RECOVERY_SET_ASIDE},
      {header + "junk\r\n", IDS_RECOVERY_SET_ASIDE},
      {"TovRecovery 1\npath=" + (dir / "t.tvd").string() + "\ntime=1\npid=1\nhost=h\n\n" + body,
       IDS_RECOVERY_OLD_SET_ASIDE},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text.substr(0, 40));
    const fs::path left = newRecoveryFile();
    fs::create_directories(left.parent_path());
    testing::writeBytes(left, r.text);
    fs::path aside = left;
    aside += ".unreadable";
    TestRecord record;
    CTovDoc doc(record, chooser, nullptr);
    sink.reported.clear();
    sink.asked.clear();
    sink.answers = {true, true};
    doc.offerRecovery();
    EXPECT_EQ(sink.reported, std::vector<std::string>{messageText(r.message, aside.string())});
    EXPECT_TRUE(sink.asked.empty());
    EXPECT_FALSE(doc.isModified());
    doc.onFileSave();
    EXPECT_EQ(readBytes(dir / "t.tvd"), test);
    EXPECT_FALSE(fs::exists(left));
    EXPECT_EQ(readBytes(aside), r.text);
    sink.reported.clear();
    doc.offerRecovery();
    EXPECT_TRUE(sink.reported.empty());
  }
}

// A test deleted by someone else while it is open: Save says it was deleted
// (not that it was changed) and offers to save it again, elsewhere, or not.
TEST_F(NothingLost, ASaveOfADeletedTestSaysDeleted) {
  const struct { Answer answer; bool written; int saveAsCalls; } rows[] = {
      {Answer::Cancel, false, 0}, {Answer::No, false, 1}, {Answer::Yes, true, 0}};
  for (const auto& r : rows) {
    fs::copy_file(sample("steady.tvd"), dir / "t.tvd", fs::copy_options::overwrite_existing);
    TestRecord record;
    CTovDoc doc(record, chooser, nullptr);
    ASSERT_TRUE(doc.openDocumentFile(dir / "t.tvd"));
    TestRecord changed = record;
    changed.set_surveyName("削除の後");
    doc.applyEdit(QStringLiteral("見出し"), changed);
    fs::remove(dir / "t.tvd");
    chooser.saveCalls = 0;
    sink.asked.clear();
    sink.choices = {r.answer};
    doc.onFileSave();
    EXPECT_EQ(sink.asked, std::vector<std::string>{messageText(IDS_DELETED_ON_DISK, (dir / "t.tvd").string())});
    EXPECT_EQ(fs::exists(dir / "t.tvd"), r.written);
    EXPECT_EQ(chooser.saveCalls, r.saveAsCalls);
    EXPECT_EQ(doc.isModified(), !r.written);
  }
}

// A test its user may not write opens read-only: Save asks to save it
// under another name (Yes opens Save As, No leaves everything) and never
// only says that writing failed. Root may write anything: the check runs
// as nobody.
TEST_F(NothingLost, ATestTheUserMayNotWriteOffersSaveAs) {
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  fs::copy_file(sample("steady.tvd"), dir / "t.tvd");
  fs::permissions(dir / "t.tvd", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string before = readBytes(dir / "t.tvd");
  for (const bool yes : {true, false}) {
    const std::string said = testing::asOrdinaryUser([&] {
      TestRecord record;
      CTovDoc doc(record, chooser, nullptr);
      if (!doc.openDocumentFile(dir / "t.tvd")) return std::string("not opened");
      TestRecord changed = record;
      changed.set_surveyName("読み取り専用");
      doc.applyEdit(QStringLiteral("見出し"), changed);
      chooser.saveCalls = 0;
      sink.asked.clear();
      sink.reported.clear();
      sink.answers = {yes};
      doc.onFileSave();
      return std::string(doc.isReadOnly() ? "read-only" : "writable") + " asked " +
             (sink.asked.empty() ? "" : sink.asked[0]) + " Save As " + std::to_string(chooser.saveCalls) +
             " reported " + std::to_string(sink.reported.size());
    });
    EXPECT_EQ(said, "read-only asked " + messageText(IDS_NO_WRITE_PERMISSION, (dir / "t.tvd").string()) +
                        " Save As " + (yes ? "1" : "0") + " reported 0");
  }
  EXPECT_EQ(readBytes(dir / "t.tvd"), before);
}

// A recovery folder that cannot be made says so once, not at every edit.
TEST_F(NothingLost, AnUnwritableRecoveryFolderIsReportedOnce) {
  testing::writeBytes(dir / "file", "x");
  ScopedEnv blocked{"XDG_DATA_HOME", (dir / "file").string()};
  fs::copy_file(sample("steady.tvd"), dir / "t.tvd");
  TestRecord record;
  CTovDoc doc(record, chooser, nullptr);
  ASSERT_TRUE(doc.openDocumentFile(dir / "t.tvd"));
  for (const char* name : {"一", "二", "三"}) {
    TestRecord changed = record;
    changed.set_surveyName(name);
    doc.applyEdit(QStringLiteral("見出し"), changed);
  }
  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_EQ(sink.reported[0].rfind(messageText(IDS_RECOVERY_NOT_WRITTEN).substr(0, 20), 0), 0u);
}

// A lock file that is a link (to a file of someone's, or to a stale lock)
// is never written through: the test counts as held, the target unchanged.
TEST_F(NothingLost, ALockThatIsALinkIsNeverWrittenThrough) {
  fs::copy_file(sample("steady.tvd"), dir / "t.tvd");
  pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const LockOwner me = currentLockOwner();
  const std::string texts[] = {"someone's notes", lockText({me.user, me.host, static_cast<long>(dead), "x"})};
  for (const std::string& text : texts) {
    testing::writeBytes(dir / "victim", text);
    fs::remove(lockPathFor(dir / "t.tvd"));
    fs::create_symlink(dir / "victim", lockPathFor(dir / "t.tvd"));
    EXPECT_EQ(acquireLock(dir / "t.tvd").state, LockState::HeldByOther);
    EXPECT_EQ(readBytes(dir / "victim"), text);
  }
}

} // namespace
} // namespace tov
