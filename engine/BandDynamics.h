#pragma once
// Band dynamics: which types carry a dynamic stage, and the ballistic coefficients. The
// detectors and gain computers run as lanes (LaneKernels.h).

#include "engine/ParamTable.h"

namespace coral {

// Bell, Low Shelf, High Shelf and Tilt bands have a dynamic stage; other types never do.
constexpr bool HasDynamicStage(int type) {
  return type == kBell || type == kLowShelf || type == kHighShelf || type == kTilt;
}

// One-pole ballistic coefficient exp(-1 / (timeMs * 0.001 * sampleRate)).
double BallisticCoefficient(double timeMs, double sampleRate) noexcept;

} // namespace coral
