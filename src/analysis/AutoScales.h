#pragma once
// Scales from the data ("自動目盛り"): the axis ranges, label steps and grid
// spacings of the two graphs of a test, chosen so that the readings fill
// the graphs. Time axes run from 0 to a round value past the last t; the
// log s axis covers the decades of the data and of the analysis points; the h axis covers the levels;
// the steady Q axis runs from 0 in the exponent of the data. No axis gets
// more than 200 grid intervals.
#include <map>
#include <string>

#include "record/TestRecord.h"

namespace tov {

// Field number -> text, for the scale fields (43 to 62) the data decide.
// Empty when the test has no complete readings.
using ScaleTexts = std::map<int, std::string>;
ScaleTexts autoScales(const TestRecord& record);

// The scales are still as a new test gets them (empty, the defaults filled
// in for drawing, or the analysis dialog's resets): the data may replace
// them without asking.
bool scalesAreDefault(const TestRecord& record);

// The smallest of 1, 2, 5 x 10^n not below value (value > 0).
double roundStepAtLeast(double value);

} // namespace tov
