#pragma once
// The steady analysis point: the reading whose Q and s give k by the steady
// formula.
#include <optional>

#include "record/TestRecord.h"

namespace tov {

// The row (1 based) of the steady analysis point: the last row of the last
// three complete rows in a row (h' and Q numbers) whose Q is above 0 and
// within kSteadyFlowTolerance of their mean (Q has settled); without such
// rows, the last complete row whose Q is above 0; 0 when there is none.
// A record that runs on after the test (the pump stopped, Q 0) takes its
// point before that.
int steadyPointRow(const TestRecord& record);

// k of a row by the steady formula (the record's L and D, the row's Q and
// s); nothing for unusable sizes or a failed formula (s below 0.0001).
std::optional<double> steadyPermeability(const TestRecord& record, int row);

} // namespace tov
