// The Cooper-Bredehoeft-Papadopulos model.
#include "analysis/CbpModel.h"

#include <cmath>

#include "analysis/BesselK.h"

namespace tov {

SlugModel cbpModel() {
  return [](double p) { return 2.0 / faceHead(std::sqrt(p)); };
}

} // namespace tov
