#pragma once
// Band dynamics: the static gain computer and the per-band detector state. The per-frame
// detector loop runs inside the engine frame; this header holds its pure maths and state.

#include "engine/ParamTable.h"

namespace coral {

// Bell, Low Shelf, High Shelf and Tilt bands have a dynamic stage; other types never do.
constexpr bool HasDynamicStage(int type) {
  return type == kBell || type == kLowShelf || type == kHighShelf || type == kTilt;
}

// Gain in dB (negative cut, positive boost) that a band's gain computer asks for at detector
// level `levelDb` (dBFS, mean-square), before ballistics. `band` points at the band's 17
// parameters. Downward: -min(r K(over), Range). Upward: +min(r K(-over), Range), faded out
// between -90 and -100 dB so that silence is never boosted. r = 1 - 1/Ratio in single
// precision; K is the soft knee of width Knee centred on the threshold.
double DynamicTargetGain(double levelDb, const float* band) noexcept;

// One-pole ballistic coefficient exp(-1 / (timeMs * 0.001 * sampleRate)).
double BallisticCoefficient(double timeMs, double sampleRate) noexcept;

// Detector and gain state of one band; index 0 left (or mid/side), 1 right. Double precision.
struct BandDetector {
  double envelope[2] = {0, 0};   // mean square
  double gain[2] = {0, 0};       // current dynamic gain, dB
  float delayedGain[2] = {0, 0}; // gain read back from the 4352-frame delay, dB
  double attackCoef = 0;
  double releaseCoef = 0;

  // Attack when the target asks for more gain change than the current gain, else release.
  void Follow(int channel, double target) noexcept {
    const double t = target < 0 ? -target : target;
    const double g = gain[channel] < 0 ? -gain[channel] : gain[channel];
    const double coef = t > g ? attackCoef : releaseCoef;
    gain[channel] = coef * gain[channel] + (1 - coef) * target;
  }
};

} // namespace coral
