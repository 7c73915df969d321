#include "cli/InterruptCleanup.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstring>
#include <string>

#include "files/Platform.h"
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

std::atomic<int> gGuards{0};

// Runs at the interrupt; the interrupt then ends the process.
void removeTemporaries() {
  // Writers on other threads finish telling their temporaries (and
  // renaming a batch) first, and start nothing more.
  stopWritersForInterrupt();
  // Twice: a private scratch folder told before the files in it is removed
  // once they are gone.
  for (int pass = 0; pass < 2; ++pass)
    for (Slot& slot : gSlots)
      if (slot.state.load(std::memory_order_acquire) == Used) removeFileOnInterrupt(slot.path);
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
  onInterrupt(removeTemporaries);
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
    restoreInterrupts();
    for (Slot& slot : gSlots) slot.state.store(Free, std::memory_order_release);
  }
}

void InterruptCleanup::add(const std::string& path) {
  if (claim(path.c_str())) paths_.push_back(path);
}

void InterruptCleanup::addOpenFile(int fd) {
  if (const auto path = openFileName(fd)) add(utf8Path(*path));
}

void InterruptCleanup::forget(const std::string& path) {
  for (Slot& slot : gSlots) {
    int expected = Used;
    if (slot.state.load(std::memory_order_acquire) != Used || path != slot.path) continue;
    slot.state.compare_exchange_strong(expected, Free, std::memory_order_acq_rel);
  }
}

} // namespace tov
