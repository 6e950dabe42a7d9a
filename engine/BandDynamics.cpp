#include "engine/BandDynamics.h"

#include <algorithm>
#include <cmath>

namespace coral {

namespace {

// Soft knee of width `knee` dB centred on 0: 0 below -knee/2, v above +knee/2, quadratic
// (v + h)^2 / (2 knee) in between; a hard knee (0 dB) is max(v, 0).
double Knee(double v, double knee) noexcept {
  const double h = knee / 2;
  if (v <= -h) return 0.0;
  if (v >= h) return v;
  return knee > 0 ? (v + h) * (v + h) / (2 * knee) : std::max(v, 0.0);
}

} // namespace

double DynamicTargetGain(double levelDb, const float* band) noexcept {
  const double over = levelDb - band[kThreshold];
  const float r = 1.0f - 1.0f / band[kRatio];
  const double range = band[kRange];
  if (band[kDirection] > 0.5f) {
    const double fade = std::clamp((levelDb + 100.0) / 10.0, 0.0, 1.0);
    return std::min(r * Knee(-over, band[kKnee]), range) * fade;
  }
  return -std::min(r * Knee(over, band[kKnee]), range);
}

double BallisticCoefficient(double timeMs, double sampleRate) noexcept {
  return std::exp(-1.0 / (timeMs * 0.001 * sampleRate));
}

} // namespace coral
