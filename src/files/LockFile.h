#pragma once
// The lock file beside an open test (".~lock.<name>#", the usual convention
// of desktop programs): who has the test open, so that a second program
// opening it can say so.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tov {

struct LockOwner {
  std::string user;
  std::string host;
  long pid = 0;
  std::string time;  // when the lock was made, "2026-12-08 12:00:00"
  bool operator==(const LockOwner&) const = default;
};

// <folder>/.~lock.<name>#
std::filesystem::path lockPathFor(const std::filesystem::path& test);
// This process as a lock owner (user, host, process, now).
LockOwner currentLockOwner();

// "user,host,pid,time;" and back; nothing for text that is not a lock.
std::string lockText(const LockOwner& owner);
std::optional<LockOwner> parseLockText(std::string_view text);

// A lock is live when its process may still run: on another host always,
// on this host while the process exists.
bool isLiveLock(const LockOwner& owner);

enum class LockState {
  Acquired,     // the lock is ours
  TakenOver,    // a stale lock (a process of this host that is gone) is now ours
  HeldByOther,  // a live lock of another program (or another document of this one)
  NotWritable,  // the folder takes no lock: the test opens all the same
};
struct LockResult {
  LockState state = LockState::NotWritable;
  LockOwner other;  // with HeldByOther
};

LockResult acquireLock(const std::filesystem::path& test);
// Removes the lock when it is this process's.
void releaseLock(const std::filesystem::path& test);

} // namespace tov
