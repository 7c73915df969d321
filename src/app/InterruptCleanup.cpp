#include "app/InterruptCleanup.h"

#include <array>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <string>

#include <unistd.h>

namespace tov {

namespace {

// The files to remove, in storage the handler can read without allocating.
// An export has a temporary per page (at most five) or one PDF.
struct Slot {
  std::atomic<bool> used{false};
  char path[PATH_MAX] = {};
};
static_assert(std::atomic<bool>::is_always_lock_free);
std::array<Slot, 16> gSlots;

constexpr int kSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
constexpr int kSignalCount = 4;
struct sigaction gPrevious[kSignalCount];
bool gInstalled[kSignalCount] = {};
int gGuards = 0;

extern "C" void removeTemporariesAndEnd(int signal) {
  for (Slot& slot : gSlots)
    if (slot.used.load(std::memory_order_acquire)) ::unlink(slot.path);
  // The handler was reset on entry (SA_RESETHAND): the signal, raised again,
  // ends the process once this handler returns.
  ::raise(signal);
}

void install() {
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

InterruptCleanup::InterruptCleanup() {
  if (gGuards++ == 0) install();
}

InterruptCleanup::~InterruptCleanup() {
  if (--gGuards == 0) {
    restore();
    for (Slot& slot : gSlots) slot.used.store(false, std::memory_order_release);
  }
}

void InterruptCleanup::add(const std::string& path) {
  if (path.empty() || path.size() >= PATH_MAX) return;
  for (Slot& slot : gSlots) {
    if (slot.used.load(std::memory_order_acquire)) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.used.store(true, std::memory_order_release);
    return;
  }
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
  for (Slot& slot : gSlots)
    if (slot.used.load(std::memory_order_acquire) && path == slot.path)
      slot.used.store(false, std::memory_order_release);
}

} // namespace tov
