#include "engine/BandDynamics.h"

#include <cmath>

namespace coral {

double BallisticCoefficient(double timeMs, double sampleRate) noexcept {
  return std::exp(-1.0 / (timeMs * 0.001 * sampleRate));
}

} // namespace coral
