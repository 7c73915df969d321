#include "cli/InterruptCleanup.h"

#include <array>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <string>

#include <unistd.h>

#include "files/TextFile.h"

namespace tov {

namespace {

// The files to remove, in storage the handler can read without allocating.
// An export has a temporary per page (at most five) or one PDF; a batch
// runs an export per thread.
enum SlotState : int { Free, Claimed, Used };
struct Slot {
  std::atomic<int> state{Free};
  char path[PATH_MAX] = {};
};
static_assert(std::atomic<int>::is_always_lock_free);
std::array<Slot, 128> gSlots;

constexpr int kSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
constexpr int kSignalCount = 4;
struct sigaction gPrevious[kSignalCount];
bool gInstalled[kSignalCount] = {};
std::atomic<int> gGuards{0};

extern "C" void removeTemporariesAndEnd(int signal) {
  // Writers on other threads finish telling their temporaries (and
  // renaming a batch) first, and start nothing more.
  stopWritersForInterrupt();
  for (Slot& slot : gSlots)
    if (slot.state.load(std::memory_order_acquire) == Used) ::unlink(slot.path);
  // The handler was reset on entry (SA_RESETHAND): the signal, raised again,
  // ends the process once this handler returns.
  ::raise(signal);
}

// Every writer's temporaries (saves, tables, exports) as they come and go.
bool claim(const char* path) {
  const std::size_t size = std::strlen(path);
  if (size == 0 || size >= PATH_MAX) return false;
  for (Slot& slot : gSlots) {
    int expected = Free;
    if (!slot.state.compare_exchange_strong(expected, Claimed, std::memory_order_acq_rel)) continue;
    std::memcpy(slot.path, path, size + 1);
    slot.state.store(Used, std::memory_order_release);
    return true;
  }
  return false;
}
void release(const char* path) {
  for (Slot& slot : gSlots) {
    int expected = Used;
    if (slot.state.load(std::memory_order_acquire) != Used || std::strcmp(path, slot.path) != 0) continue;
    if (slot.state.compare_exchange_strong(expected, Free, std::memory_order_acq_rel)) return;
  }
}
void madeTemporary(const char* path) { claim(path); }

void install() {
  setTemporaryListener(madeTemporary, release);
  for (int i = 0; i < kSignalCount; ++i) {
    struct sigaction previous {};
    if (::sigaction(kSignals[i], nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = removeTemporariesAndEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    if (::sigaction(kSignals[i], &action, &gPrevious[i]) == 0) gInstalled[i] = true;
  }
}

void restore() {
  for (int i = 0; i < kSignalCount; ++i) {
    if (gInstalled[i]) ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    gInstalled[i] = false;
  }
}

} // namespace

// Guards made on several threads at once (a batch) are made and ended
// inside one guard of the batch's own, so the handlers are installed and
// put back on one thread.
InterruptCleanup::InterruptCleanup() {
  if (gGuards.fetch_add(1) == 0) install();
}

InterruptCleanup::~InterruptCleanup() {
  for (const std::string& path : paths_) forget(path);
  if (gGuards.fetch_sub(1) == 1) {
    restore();
    for (Slot& slot : gSlots) slot.state.store(Free, std::memory_order_release);
  }
}

void InterruptCleanup::add(const std::string& path) {
  if (claim(path.c_str())) paths_.push_back(path);
}

void InterruptCleanup::addOpenFile(int fd) {
  if (fd < 0) return;
  char name[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), name, sizeof name - 1);
  if (n <= 0 || name[0] != '/') return;
  const std::string path(name, static_cast<std::size_t>(n));
  // A file made without a name (O_TMPFILE) vanishes with the process.
  if (path.ends_with(" (deleted)")) return;
  add(path);
}

void InterruptCleanup::forget(const std::string& path) {
  for (Slot& slot : gSlots) {
    int expected = Used;
    if (slot.state.load(std::memory_order_acquire) != Used || path != slot.path) continue;
    slot.state.compare_exchange_strong(expected, Free, std::memory_order_acq_rel);
  }
}

} // namespace tov
