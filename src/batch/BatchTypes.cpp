#include "batch/BatchTypes.h"

#include <algorithm>

namespace tov {

int BatchResult::failedTests() const {
  return static_cast<int>(std::count_if(tests.begin(), tests.end(), [](const auto& t) { return !t.ok; }));
}

} // namespace tov
