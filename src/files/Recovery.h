#pragma once
// Crash recovery: after every change the record is written to a recovery
// file of the user's data folder ($XDG_DATA_HOME/Tov/recovery, else
// ~/.local/share/Tov/recovery), never beside the test. Saving, discarding
// and a clean exit remove it; a file that is still there at the next start
// is a test that was not saved before the program ended.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/FileIdentity.h"
#include "record/TestRecord.h"

namespace tov {

std::filesystem::path recoveryFolder();

struct RecoveryFile {
  std::filesystem::path file;  // the recovery file itself
  std::string testPath;        // the test's own file ("" for an untitled test)
  std::int64_t savedAt = 0;    // seconds since the epoch
  long pid = 0;                // the program that wrote it
  std::string host;
  // The test's file as the edits started from it (nothing for an untitled
  // test or a file that was not there): restoring onto a file that is no
  // longer this is restoring over someone else's save.
  std::optional<FileIdentity> base;
  // A base line that could not be read (damaged or missing): whether the
  // test's file changed since cannot be told, and restoring asks.
  bool baseUnknown = false;
  TestRecord record;
};

// The recovery file's text: a header (path, time, process, host, base, and
// the length and hash of the body) and the test as its file holds it
// (UTF-8) as the body. The header says where the file ends, so a file cut
// short, or one with more after it, is never taken for a whole one.
std::string recoveryText(const TestRecord& record, const std::string& testPath, std::int64_t savedAt, long pid,
                         const std::string& host, const std::optional<FileIdentity>& base = std::nullopt);
// Why a text is not restored.
enum class RecoveryProblem {
  None,
  NotRecovery,  // not a recovery file, or its header is damaged
  NotWhole,     // cut short, or more after its end: the body is not the one written
  OldVersion,   // of an earlier version, which wrote no length: cannot be told whole
};
// Nothing for text that is not a whole recovery file; *problem says why.
std::optional<RecoveryFile> parseRecoveryText(std::string_view text, RecoveryProblem* problem = nullptr);

// A new, unused recovery file name for a document of this process.
std::filesystem::path newRecoveryFile();
// Writes the record to the recovery file atomically (temporary + rename);
// false when it could not (the folder is made, private to the user).
bool writeRecovery(const std::filesystem::path& file, const TestRecord& record, const std::string& testPath,
                   const std::optional<FileIdentity>& base = std::nullopt);
void removeRecovery(const std::filesystem::path& file);
// A recovery file that is not restored, under the name it now has.
struct SetAsideRecovery {
  std::filesystem::path file;
  RecoveryProblem problem = RecoveryProblem::NotRecovery;
};
// The recovery files left by programs that are no longer running, oldest
// first (those of a live program of this host are that program's). A file
// that cannot be read as a whole one is never silently passed over nor
// restored: it is renamed aside ("NAME.tovrec.unreadable", so it is not met
// again) and added to *setAside for the user to be told.
std::vector<RecoveryFile> leftRecoveries(std::vector<SetAsideRecovery>* setAside = nullptr);

// "2026-12-08 12:34" of a recovery time, local time.
std::string recoveryTimeText(std::int64_t savedAt);

} // namespace tov
