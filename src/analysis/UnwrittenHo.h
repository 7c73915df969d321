#pragma once
// A test whose 平衡水位 ho was never written (its field empty): its s is
// read from a rest level of 0. 検討事項 then speaks of the ho that is
// missing, never of a difference from an ho written, and says that k waits
// for it.
#include <vector>

#include "analysis/Checks.h"
#include "record/TestRecord.h"

namespace tov {

// ho's field holds no text (a written 0 is an ho).
bool restLevelUnwritten(const TestRecord& record);

// The checks of a test without a written ho: the rest-level notes (the
// record's own rest level against ho, the sensitivity of k to ho) become
// one note that ho is missing (CheckKind::RestLevel, its value the s the
// record tends to, m); a steady test with readings and sizes but no k gets
// that note too. Others stay as they are.
void restateForUnwrittenHo(const TestRecord& record, std::vector<Check>& checks);

} // namespace tov
