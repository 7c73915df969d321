#pragma once
// The steady point: the reading whose Q and s the steady formula takes.
//
// The flow of a steady test falls (or rises) towards its steady value; k is
// that of a reading taken once Q has settled. Settled means what the check
// of 検討事項 means: the Q of the last three complete readings lie within
// kSteadyFlowTolerance (5 %) of their mean. Of those three the point is the
// one whose Q is the middle, so that one stray reading is never the point,
// and the k it gives is the k of the settled flow.
//
// A point chosen by hand among rows whose Q has not settled gives a k off
// by as much as its Q differs from the settled one (the first reading of a
// test read from a logger gave k 60 % high): steadyPointCheck names it.
#include <optional>
#include <string>

#include "analysis/Checks.h"
#include "record/TestRecord.h"

namespace tov {

struct SteadyPoint {
  bool found = false;
  int row = 0;          // the suggested row (from 1)
  int settledFrom = 0;  // the first of the last rows whose Q stay within the tolerance together
  double drift = 0;     // (max - min) / mean of Q over the last three rows
  double flow = 0;      // the settled Q: the middle of the last three
  std::string text;     // the suggestion, or why there is none
};

// "推奨点" of a steady test (its complete rows: h' and Q numeric).
SteadyPoint suggestSteadyPoint(const TestRecord& record);

// The chosen row's Q against the settled Q: a check (SteadyFlowDrift, value
// the difference in per cent) when they differ by more than the tolerance.
// Nothing when the last rows have not settled (steadyChecks says so) or the
// row is no complete row.
std::optional<Check> steadyPointCheck(const TestRecord& record, int row);

// The row (from 1) a steady test's k is taken at where nobody chooses it
// (the logger import): the suggested one; where rows without flow end the
// record (the pump stopped after the test), the one suggested before them;
// without settled rows, the last complete row whose Q is above 0; 0 when
// there is none.
int steadyPointRow(const TestRecord& record);

// k of a row by the steady formula (the record's L and D, the row's Q and
// s); nothing for unusable sizes or a failed formula (s below 0.0001).
std::optional<double> steadyPermeability(const TestRecord& record, int row);

} // namespace tov
