#include "engine/AppliedCurves.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/BandDynamics.h"
#include "engine/KernelDesigner.h"
#include "engine/LinearPhaseFir.h"
#include "engine/ParamView.h"

namespace coral {

namespace {

bool SameCascade(const BiquadCascade& a, const BiquadCascade& b) {
  if (a.count != b.count) return false;
  for (int i = 0; i < a.count; ++i) {
    const BiquadCoefficients &x = a.sections[i], &y = b.sections[i];
    if (!(x.b0 == y.b0 && x.b1 == y.b1 && x.b2 == y.b2 && x.a1 == y.a1 && x.a2 == y.a2))
      return false;
  }
  return true;
}

} // namespace

void AppliedCurves::Prepare(double sampleRate, const float* grid) noexcept {
  sampleRate_ = sampleRate;
  for (int i = 0; i < kDisplayPoints; ++i) {
    const double f = grid[i];
    const double omega = 2.0 * std::numbers::pi * std::clamp(f, 0.0, sampleRate / 2) / sampleRate;
    delays_[i] = UnitDelay(omega);
  }
  for (Response& r : static_) r.valid = false;
  for (auto& band : dynamic_)
    for (Response& r : band) r.valid = false;
  staticValid_ = lastValid_ = false;
}

const AppliedCurves::Response& AppliedCurves::Evaluate(Response& response,
                                                       const BiquadCascade& cascade) noexcept {
  if (response.valid && SameCascade(response.cascade, cascade)) return response;
  response.cascade = cascade;
  response.valid = true;
  for (int i = 0; i < kDisplayPoints; ++i) response.h[i] = CascadeResponse(cascade, delays_[i]);
  return response;
}

bool AppliedCurves::StaticInputsEqual(const WetEqCurveInputs& in) const noexcept {
  return staticValid_ && in.params == last_.params && in.phaseBlend == last_.phaseBlend &&
         in.crossfadeProgress == last_.crossfadeProgress && in.firSwaps == last_.firSwaps &&
         in.firActive == last_.firActive;
}

void AppliedCurves::Update(const WetEqCurveInputs& in, const LinearPhaseFir& fir,
                           Published& staticWetEq, Published& currentWetEq) noexcept {
  bool same = lastValid_ && StaticInputsEqual(in);
  for (int b = 0; b < kNumBands && same; ++b)
    for (int c = 0; c < 2 && same; ++c) same = SameCascade(in.dynamic[b][c], last_.dynamic[b][c]);
  if (same) return;

  const ParamView params(in.params.data());
  if (!StaticInputsEqual(in)) {
    // Minimum phase: each enabled band left-multiplies its ChannelMatrix in slot order; then
    // the blend with the FIR display matrices, (1 - phi) Mmin + phi Mfir.
    BiquadCascade cascades[kNumBands];
    DesignKernelCascades(cascades, in.params.data(), sampleRate_);
    const std::complex<double>* h[kNumBands] = {};
    for (int b = 0; b < kNumBands; ++b)
      if (params.Band(b).Enabled()) h[b] = Evaluate(static_[b], cascades[b]).h.data();
    const double w = in.crossfadeProgress, phi = in.phaseBlend;
    for (int i = 0; i < kDisplayPoints; ++i) {
      Matrix2 minimum;
      for (int b = 0; b < kNumBands; ++b)
        if (h[b]) minimum = ChannelMatrix(h[b][i], params.Band(b).Channel()) * minimum;
      Matrix2 firMatrix = fir.DisplayMatrix(in.firActive, i);
      if (w > 0) firMatrix = (1 - w) * firMatrix + w * fir.DisplayMatrix(1 - in.firActive, i);
      staticMatrix_[i] = (1 - phi) * minimum + phi * firMatrix;
      staticWetEq[i].exchange(float(RowEnergy(staticMatrix_[i], 0)), std::memory_order_relaxed);
    }
    staticValid_ = true;
  }

  // The live dynamic filters of the enabled gain-type bands with Dynamic on, in slot order.
  const std::complex<double>* hl[kNumBands] = {};
  const std::complex<double>* hr[kNumBands] = {};
  for (int b = 0; b < kNumBands; ++b) {
    const BandView band = params.Band(b);
    if (!band.Enabled() || !band.Dynamic() || !HasDynamicStage(band.Type())) continue;
    hl[b] = Evaluate(dynamic_[b][0], in.dynamic[b][0]).h.data();
    // Linked channels usually share their coefficients, and so their response.
    hr[b] = SameCascade(in.dynamic[b][1], in.dynamic[b][0])
                ? hl[b]
                : Evaluate(dynamic_[b][1], in.dynamic[b][1]).h.data();
  }
  for (int i = 0; i < kDisplayPoints; ++i) {
    Matrix2 dynamic;
    for (int b = 0; b < kNumBands; ++b) {
      if (!hl[b]) continue;
      const int channel = params.Band(b).Channel();
      Matrix2 bandMatrix;
      if (channel == kStereo)
        bandMatrix = {hl[b][i], 0.0, 0.0, hr[b][i]};
      else
        bandMatrix =
            ChannelMatrix(channel == kRight || channel == kSide ? hr[b][i] : hl[b][i], channel);
      dynamic = bandMatrix * dynamic;
    }
    currentWetEq[i].exchange(float(RowEnergy(dynamic * staticMatrix_[i], 0)),
                             std::memory_order_relaxed);
  }
  last_ = in;
  lastValid_ = true;
}

} // namespace coral
