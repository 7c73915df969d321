#include "files/LockFile.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "files/Platform.h"
#include "files/TextFile.h"
#include "record/CFormat.h"

namespace tov {

namespace {

// A field of the lock line cannot hold the separators.
std::string cleaned(std::string text) {
  for (char& c : text)
    if (c == ',' || c == ';' || c == '\n' || c == '\r') c = '_';
  return text;
}

} // namespace

std::filesystem::path lockPathFor(const std::filesystem::path& test) {
  std::filesystem::path name = ".~lock.";
  name += test.filename();
  name += "#";
  return test.parent_path() / name;
}

LockOwner currentLockOwner() {
  LockOwner owner{userName(), hostName(), currentProcessId(), {}};
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  localTime(now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  owner.time = buffer;
  return owner;
}

std::string lockText(const LockOwner& owner) {
  return cleaned(owner.user) + "," + cleaned(owner.host) + "," + cformat("%ld", owner.pid) + "," +
         cleaned(owner.time) + ";\n";
}

std::optional<LockOwner> parseLockText(std::string_view text) {
  if (text.size() > 4096) return std::nullopt;
  const auto end = text.find(';');
  if (end == std::string_view::npos) return std::nullopt;
  text = text.substr(0, end);
  std::string fields[4];
  int count = 0;
  for (char c : text) {
    if (c == ',') {
      if (++count > 3) return std::nullopt;
    } else if (c == '\n' || c == '\r') {
      return std::nullopt;
    } else {
      fields[count] += c;
    }
  }
  if (count != 3 || fields[2].empty() || fields[2].size() > 9) return std::nullopt;
  long pid = 0;
  for (char c : fields[2]) {
    if (c < '0' || c > '9') return std::nullopt;
    pid = pid * 10 + (c - '0');
  }
  if (pid <= 0) return std::nullopt;
  return LockOwner{fields[0], fields[1], pid, fields[3]};
}

bool isLiveLock(const LockOwner& owner) {
  if (owner.host != hostName()) return true;  // cannot tell: assume it is
  return processAlive(owner.pid);
}

LockResult acquireLock(const std::filesystem::path& test) {
  const std::filesystem::path path = lockPathFor(test);
  const std::string text = lockText(currentLockOwner());
  const LockOwner unknown{"?", "?", 0, {}};
  // Another program may be at the same step: a lock made an instant ago may
  // not hold its line yet, and a stale lock another program is taking over
  // is that program's once it is done. Looked at again for a short while.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  int unreadable = 0;
  for (bool first = true;; first = false) {
    if (!first) {
      if (std::chrono::steady_clock::now() > deadline) return {LockState::HeldByOther, unknown};
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const CreateResult created = createNewFile(path, text);
    if (created == CreateResult::Created) return {LockState::Acquired, {}};
    if (created == CreateResult::Failed) return {LockState::NotWritable, {}};
    // A lock that is a link (or anything but a file) is never read or
    // written through: someone's, owner unknown.
    std::error_code ec;
    if (!isPlainFileNoFollow(path)) {
      if (std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::not_found) continue;
      return {LockState::HeldByOther, unknown};
    }
    const auto held = readFileHead(path, 4096);
    const auto other = held ? parseLockText(*held) : std::nullopt;
    // A lock that cannot be read is someone's all the same, once it is
    // plainly not one being written (or gone meanwhile, and made anew).
    if (!other) {
      if (++unreadable > 20) return {LockState::HeldByOther, unknown};
      continue;
    }
    if (isLiveLock(*other)) return {LockState::HeldByOther, *other};
    // Stale: taken over in place, under the system's lock on the file, so
    // that of two programs taking it over at once exactly one does; the
    // other then finds it live.
    const auto stillStale = [](std::string_view now) {
      const auto owner = parseLockText(now);
      return owner && !isLiveLock(*owner);
    };
    switch (rewriteUnderLock(path, 4096, stillStale, text)) {
      case RewriteResult::Rewritten: return {LockState::TakenOver, {}};
      case RewriteResult::Failed: return {LockState::NotWritable, {}};
      case RewriteResult::Declined:
      case RewriteResult::Busy:
      case RewriteResult::Gone: break;
    }
  }
}

void releaseLock(const std::filesystem::path& test) {
  const std::filesystem::path path = lockPathFor(test);
  const auto held = readFileHead(path, 4096);
  const auto owner = held ? parseLockText(*held) : std::nullopt;
  const LockOwner me = currentLockOwner();
  if (owner && owner->pid == me.pid && owner->host == me.host && owner->user == me.user) removeFile(path);
}

} // namespace tov
