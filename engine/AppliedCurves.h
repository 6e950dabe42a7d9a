#pragma once
// The engine's applied wet-EQ curves: the static wet EQ (biquad chain and FIR blended by the
// phase blend) and the current wet EQ (the static one followed by the live dynamic filters),
// published every analysis step from what was running at the analysis frame.
//
// Each band's complex response at the 256 display points is kept and recomputed only when
// the band's coefficients change; the static matrix only when the static EQ, the phase blend
// or the FIR display data change. The results are the same as computing everything afresh.
//
// Audio thread; no allocation after construction.

#include <array>
#include <atomic>
#include <complex>
#include <cstdint>

#include "engine/BandFilter.h"
#include "engine/ChannelMatrix.h"
#include "engine/EngineConstants.h"
#include "engine/LaneKernels.h"
#include "engine/ParamTable.h"

namespace coral {

class LinearPhaseFir;

// Everything the applied curves are computed from, as it stood at the analysis frame.
struct WetEqCurveInputs {
  ParamSnapshot params{}; // smoothed
  double phaseBlend = 0;
  double crossfadeProgress = 0; // FIR display blend towards the incoming set
  std::uint32_t firSwaps = 0;
  int firActive = 0; // which FIR display set was active
  BiquadCascade dynamic[kNumBands][2]{};
};

class AppliedCurves {
public:
  using Published = std::array<std::atomic<float>, kDisplayPoints>;

  // For the display grid `grid` (256 Hz values) at `sampleRate`; forgets everything kept.
  void Prepare(double sampleRate, const float* grid) noexcept;

  // Publishes both curves (RowEnergy of the left output, dB) for `in`, each point by atomic
  // exchange; nothing when `in` equals the last inputs.
  void Update(const WetEqCurveInputs& in, const LinearPhaseFir& fir, Published& staticWetEq,
              Published& currentWetEq) noexcept;

private:
  // One cascade's complex response at every display point, for the coefficients it holds.
  struct Response {
    BiquadCascade cascade{};
    bool valid = false;
    alignas(64) double re[kDisplayPoints] = {};
    alignas(64) double im[kDisplayPoints] = {};
  };
  const Response& Evaluate(Response& response, const BiquadCascade& cascade) noexcept;
  bool StaticInputsEqual(const WetEqCurveInputs& in) const noexcept;

  double sampleRate_ = 48000;
  DisplayDelays delays_{};               // at each display point
  DesignInputs staticInputs_[kNumBands]; // what each static cascade was designed from
  BiquadCascade staticCascades_[kNumBands]{};
  Response static_[kNumBands];
  Response dynamic_[kNumBands][2];
  CurveMatrices staticMatrix_{}, product_{}, current_{};
  alignas(64) double staticDb_[kDisplayPoints] = {}; // the published static wet EQ
  WetEqCurveInputs last_{};
  bool staticValid_ = false, lastValid_ = false;
};

} // namespace coral
