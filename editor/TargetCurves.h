#pragma once
// The transfer curves the EQ graph computes itself from the parameter values, on the 256
// display points (from 20 Hz to the graph limit), in dB of the left output row: the static
// target of the whole band set, and the response of one band alone. Both are caches: they
// are recomputed only when what they depend on changed. Non-finite results become 0 dB.
//
// Threads: user-interface thread only (the linear-phase responses use per-thread caches).
// Memory: no allocation of their own; the first linear-phase computation on a thread
// allocates that thread's FIR response cache.

#include <array>
#include <chrono>

#include "editor/GraphAxes.h"
#include "engine/EngineConstants.h"
#include "engine/ParamTable.h"

namespace coral {

using CurvePoints = std::array<float, kDisplayPoints>;

// The static target response (TargetCurvePoint) of the whole band set.
class TargetCurve {
public:
  using Clock = std::chrono::steady_clock;
  // In Linear Phase FIR mode a changed target is recomputed at most this often.
  static constexpr Clock::duration kLinearPhaseInterval = std::chrono::milliseconds(100);

  // Recomputes the points for `values` at `effectiveSampleRate` (see EffectiveSampleRate)
  // unless nothing changed since the last computation or, in Linear Phase FIR mode (Phase
  // above 0.5), the last computation is less than kLinearPhaseInterval older than `now`.
  // `forced` always recomputes. Answers whether it recomputed.
  bool Refresh(const ParamSnapshot& values, double effectiveSampleRate, bool forced,
               Clock::time_point now);

  bool Valid() const { return valid_; }
  // Whether the points were computed for the phase mode `phase` (the Phase value).
  bool ComputedForPhase(float phase) const { return valid_ && values_[kPhase] == phase; }
  const CurvePoints& Points() const { return points_; }

private:
  CurvePoints points_{};
  ParamSnapshot values_{};
  double sampleRate_ = 0.0;
  Clock::time_point computedAt_{};
  bool valid_ = false;
};

// The response of one band alone (BandCurvePoint), for the selected band's own curve.
class BandCurve {
public:
  // The points of band `band` (0..11) for `values` at `effectiveSampleRate`, at the
  // frequencies of the display points' x positions; recomputed only when one of the three
  // differs from the last call.
  const CurvePoints& Points(int band, const ParamSnapshot& values, double effectiveSampleRate);

private:
  CurvePoints points_{};
  ParamSnapshot values_{};
  double sampleRate_ = 0.0;
  int band_ = -1;
};

} // namespace coral
