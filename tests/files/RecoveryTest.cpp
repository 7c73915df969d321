// The recovery file's text: whatever its base line holds, the edits are
// read; a base of a file dated before 1970 is written and read back.
#include "files/Recovery.h"

#include <gtest/gtest.h>

namespace tov {
namespace {

TEST(Recovery, ABaseLineNeverCostsTheEdits) {
  const std::string head = "TovRecovery 1\npath=/a.tvd\ntime=1\npid=1\nhost=h\nbase=";
  const std::string test = "\n\n$$_TOVKARBO3045\r\n$$Z\r\n調査\r\n";
  const struct { const char* base; bool read; std::int64_t time; } rows[] = {
      {"512 -315619200000000000 00ff00ff00ff00ff", true, -315619200000000000},  // 1960
      {"512 1 00FF00FF00FF00FF", true, 1},                                       // upper-case hex
      {"letters", false, 0},
      {"", false, 0},
      {"512 123456789012345678901 00ff00ff00ff00ff", false, 0},  // 21 digits
      {"512 - 00ff00ff00ff00ff", false, 0},
      {"512 1 00ff00ff00ff00fg", false, 0},
  };
  for (const auto& r : rows) {
    const auto recovery = parseRecoveryText(head + r.base + test);
    ASSERT_TRUE(recovery) << r.base;
    EXPECT_EQ(recovery->record.surveyName(), "調査") << r.base;
    EXPECT_EQ(recovery->base.has_value(), r.read) << r.base;
    EXPECT_EQ(recovery->baseUnknown, !r.read) << r.base;
    if (recovery->base) {
      EXPECT_EQ(recovery->base->modifiedNs, r.time) << r.base;
      EXPECT_EQ(recovery->base->hash, 0x00ff00ff00ff00ffULL) << r.base;
      const auto again = parseRecoveryText(recoveryText(recovery->record, "/a.tvd", 1, 1, "h", recovery->base));
      ASSERT_TRUE(again && again->base) << r.base;
      EXPECT_EQ(*again->base, *recovery->base) << r.base;
    }
  }
}

} // namespace
} // namespace tov
