// The lock beside an open test, taken at the same moment by several takers
// (threads here: the system's locks and exclusive creation keep threads of
// one process apart as they keep programs apart, on Windows too).
#include "files/LockFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace tov {
namespace {

// Two windows on a stale lock both took it over (3 of 5 rounds): taking
// over rewrote it by a rename, which both did. Exactly one may get it,
// however close together they start, with or without a lock left.
TEST(LockFile, TakersAtOnceGetTheLockOnce) {
  testing::TempDir dir;
  testing::writeBytes(dir / "t.tvd", "test");
  const LockOwner me = currentLockOwner();
  for (const bool stale : {false, true}) {
    for (int round = 0; round < 20; ++round) {
      SCOPED_TRACE(std::string(stale ? "stale" : "none") + " round " + std::to_string(round));
      std::filesystem::remove(lockPathFor(dir / "t.tvd"));
      // No process has so high a number on either system.
      if (stale) testing::writeBytes(lockPathFor(dir / "t.tvd"), lockText({me.user, me.host, 999999999, "x"}));
      std::atomic<int> ready{0};
      std::vector<LockState> states(4);
      std::vector<std::thread> takers;
      for (std::size_t i = 0; i < states.size(); ++i)
        takers.emplace_back([&, i] {
          ++ready;
          while (ready.load() < static_cast<int>(states.size())) {
          }
          states[i] = acquireLock(dir / "t.tvd").state;
        });
      for (auto& taker : takers) taker.join();
      int got = 0, held = 0;
      for (const LockState state : states) {
        got += state == (stale ? LockState::TakenOver : LockState::Acquired);
        held += state == LockState::HeldByOther;
      }
      EXPECT_EQ(got, 1);
      EXPECT_EQ(held, 3);
      const auto owner = parseLockText(testing::readBytes(lockPathFor(dir / "t.tvd")));
      ASSERT_TRUE(owner);
      EXPECT_EQ(owner->pid, me.pid);
    }
  }
}

} // namespace
} // namespace tov
