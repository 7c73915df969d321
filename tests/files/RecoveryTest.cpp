// The recovery file's text: whatever its base line holds, the edits are
// read; a base of a file dated before 1970 is written and read back. Only a
// whole recovery is read: one cut short, or with more after its end, is not.
#include "files/Recovery.h"

#include <gtest/gtest.h>

#include "record/CFormat.h"

namespace tov {
namespace {

// A recovery's text with the header lines given and the body's own length
// and hash, as the program writes them.
std::string wholeRecovery(const std::string& header, const std::string& body) {
  return "TovRecovery 2\n" + header +
         cformat("body=%zu %016llx\n\n", body.size(), static_cast<unsigned long long>(contentHash(body))) + body;
}

TEST(Recovery, ABaseLineNeverCostsTheEdits) {
  const std::string head = "path=/a.tvd\ntime=1\npid=1\nhost=h\n";
  const std::string test = "$$_TOVKARBO3045\r\n$$Z\r\n調査\r\n";
  const struct { const char* base; bool read; bool unknown; std::int64_t time; } rows[] = {
      {"base=512 -315619200000000000 00ff00ff00ff00ff\n", true, false, -315619200000000000},  // 1960
      {"base=512 1 00FF00FF00FF00FF\n", true, false, 1},                                       // upper-case hex
      {"base=letters\n", false, true, 0},
      {"base=\n", false, true, 0},
      {"base=512 123456789012345678901 00ff00ff00ff00ff\n", false, true, 0},  // 21 digits
      {"base=512 - 00ff00ff00ff00ff\n", false, true, 0},
      {"base=512 1 00ff00ff00ff00fg\n", false, true, 0},
      {"", false, true, 0},              // missing: as damaged, restoring asks
      {"base=none\n", false, false, 0},  // the edits began without a file
  };
  for (const auto& r : rows) {
    const auto recovery = parseRecoveryText(wholeRecovery(head + r.base, test));
    ASSERT_TRUE(recovery) << r.base;
    EXPECT_EQ(recovery->record.surveyName(), "調査") << r.base;
    EXPECT_EQ(recovery->base.has_value(), r.read) << r.base;
    EXPECT_EQ(recovery->baseUnknown, r.unknown) << r.base;
    if (recovery->base) {
      EXPECT_EQ(recovery->base->modifiedNs, r.time) << r.base;
      EXPECT_EQ(recovery->base->hash, 0x00ff00ff00ff00ffULL) << r.base;
      const auto again = parseRecoveryText(recoveryText(recovery->record, "/a.tvd", 1, 1, "h", recovery->base));
      ASSERT_TRUE(again && again->base) << r.base;
      EXPECT_EQ(*again->base, *recovery->base) << r.base;
    }
  }
}

// A recovery file cut inside its readings, just before them, or a whole
// header followed by junk was restored as a whole test (23, 0 and 0 of its
// 30 readings saved over the test). An earlier version's file, which says
// nothing of its length, cannot be told whole either.
TEST(Recovery, OnlyAWholeRecoveryIsRead) {
  TestRecord record;
  record.set_surveyName("三十行");
  for (int row = 1; row <= 30; ++row) {
    record.setCell(row, C_time, std::to_string(row * 10));
    record.setCell(row, C_pipeLevel, "1.25");
  }
  const std::string whole = recoveryText(record, "/試験\\a\nb.tvd", 1, 1, "h", std::nullopt);
  const std::string body = whole.substr(whole.find("$$_TOVKARBO"));
  const std::string header = whole.substr(0, whole.size() - body.size());
  const std::string oldFile = "TovRecovery 1\npath=/a.tvd\ntime=1\npid=1\nhost=h\n\n" + body;
  const struct { const char* what; std::string text; RecoveryProblem problem; } rows[] = {
      {"whole", whole, RecoveryProblem::None},
      {"cut inside its readings", whole.substr(0, whole.find("240,")), RecoveryProblem::NotWhole},
      {"cut just before its readings", whole.substr(0, whole.find("$$A")), RecoveryProblem::NotWhole},
      {"a whole header, then junk", header + "junk", RecoveryProblem::NotWhole},
      {"more after its end", whole + "300,1.25,,,,\r\n", RecoveryProblem::NotWhole},
      {"cut inside its header", whole.substr(0, whole.find("host=")), RecoveryProblem::NotWhole},
      {"of an earlier version", oldFile, RecoveryProblem::OldVersion},
      {"not one", "garbage", RecoveryProblem::NotRecovery},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    RecoveryProblem problem = RecoveryProblem::NotRecovery;
    const auto read = parseRecoveryText(r.text, &problem);
    EXPECT_EQ(problem, r.problem);
    ASSERT_EQ(read.has_value(), r.problem == RecoveryProblem::None);
    if (!read) continue;
    EXPECT_EQ(read->record, record);
    EXPECT_EQ(read->testPath, "/試験\\a\nb.tvd");  // a path with a backslash and a line break stays one
    EXPECT_FALSE(read->base || read->baseUnknown);
  }
}

} // namespace
} // namespace tov
