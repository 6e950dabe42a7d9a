#include "engine/AppliedCurves.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "engine/BandDynamics.h"
#include "engine/KernelDesigner.h"
#include "engine/LinearPhaseFir.h"
#include "engine/ParamView.h"

namespace coral {

void AppliedCurves::Prepare(double sampleRate, const float* grid) noexcept {
  sampleRate_ = sampleRate;
  for (int i = 0; i < kDisplayPoints; ++i) {
    const double f = grid[i];
    const double omega = 2.0 * std::numbers::pi * std::clamp(f, 0.0, sampleRate / 2) / sampleRate;
    const UnitDelay delay(omega);
    delays_.c1[i] = delay.z1.real(), delays_.s1[i] = delay.z1.imag();
    delays_.c2[i] = delay.z2.real(), delays_.s2[i] = delay.z2.imag();
  }
  for (Response& r : static_) r.valid = false;
  for (DesignInputs& inputs : staticInputs_) inputs.valid = false;
  for (auto& band : dynamic_)
    for (Response& r : band) r.valid = false;
  staticValid_ = lastValid_ = false;
}

const AppliedCurves::Response& AppliedCurves::Evaluate(Response& response,
                                                       const BiquadCascade& cascade) noexcept {
  if (response.valid && SameCoefficients(response.cascade, cascade)) return response;
  response.cascade = cascade;
  response.valid = true;
  ActiveKernels().cascadeResponses(cascade, delays_, response.re, response.im);
  return response;
}

bool AppliedCurves::StaticInputsEqual(const WetEqCurveInputs& in) const noexcept {
  return staticValid_ && in.params == last_.params && in.phaseBlend == last_.phaseBlend &&
         in.crossfadeProgress == last_.crossfadeProgress && in.firSwaps == last_.firSwaps &&
         in.firActive == last_.firActive;
}

namespace {

// RowEnergy of the left output row at every point in dB: 10 log10(max(|m00|^2 + |m01|^2,
// 1e-12)).
void LeftRowEnergyDb(const CurveMatrices& m, const LaneKernels& kernels,
                     double (&energyDb)[kDisplayPoints]) {
  for (int i = 0; i < kDisplayPoints; ++i) {
    const double e = (m.re00[i] * m.re00[i] + m.im00[i] * m.im00[i]) +
                     (m.re01[i] * m.re01[i] + m.im01[i] * m.im01[i]);
    energyDb[i] = std::max(e, 1e-12);
  }
  kernels.log10Values(energyDb, energyDb, kDisplayPoints);
  for (double& e : energyDb) e *= 10.0;
}

// Each point that changes is written by atomic exchange (this thread is the only writer, so
// a point holding its new value already needs no write).
void Publish(const double (&values)[kDisplayPoints], AppliedCurves::Published& out) {
  for (int i = 0; i < kDisplayPoints; ++i) {
    const float value = float(values[i]);
    if (std::bit_cast<std::uint32_t>(out[i].load(std::memory_order_relaxed)) !=
        std::bit_cast<std::uint32_t>(value))
      out[i].exchange(value, std::memory_order_relaxed);
  }
}

// True when no value is infinite or NaN (a test of the exponent bits, which vectorises).
bool AllFinite(const double (&values)[kDisplayPoints]) {
  bool nonFinite = false;
  for (double v : values) nonFinite |= (std::bit_cast<std::uint64_t>(v) >> 52 & 0x7FF) == 0x7FF;
  return !nonFinite;
}

Matrix2 MatrixAt(const CurveMatrices& m, int i) {
  return {{m.re00[i], m.im00[i]},
          {m.re01[i], m.im01[i]},
          {m.re10[i], m.im10[i]},
          {m.re11[i], m.im11[i]}};
}

void SetMatrixAt(CurveMatrices& m, int i, const Matrix2& x) {
  m.re00[i] = x.m00.real(), m.im00[i] = x.m00.imag(), m.re01[i] = x.m01.real();
  m.im01[i] = x.m01.imag(), m.re10[i] = x.m10.real(), m.im10[i] = x.m10.imag();
  m.re11[i] = x.m11.real(), m.im11[i] = x.m11.imag();
}

} // namespace

void AppliedCurves::Update(const WetEqCurveInputs& in, const LinearPhaseFir& fir,
                           Published& staticWetEq, Published& currentWetEq) noexcept {
  bool same = lastValid_ && StaticInputsEqual(in);
  for (int b = 0; b < kNumBands && same; ++b)
    for (int c = 0; c < 2 && same; ++c)
      same = SameCoefficients(in.dynamic[b][c], last_.dynamic[b][c]);
  if (same) return;

  const LaneKernels& kernels = ActiveKernels();
  const ParamView params(in.params.data());
  CurveBand bands[kNumBands];
  if (!StaticInputsEqual(in)) {
    // Minimum phase: each enabled band left-multiplies its ChannelMatrix in slot order; then
    // the blend with the FIR display matrices, (1 - phi) Mmin + phi Mfir. At phi = 0 or 1 the
    // blend gives one of them (up to the signs of zero parts: both are finite), and the other
    // is not computed.
    const double w = in.crossfadeProgress, phi = in.phaseBlend;
    if (phi != 1) {
      int count = 0;
      for (int b = 0; b < kNumBands; ++b) {
        const BandView band = params.Band(b);
        if (!band.Enabled()) continue;
        const double gain = params.StaticGainDb(b);
        if (staticInputs_[b].Changed(
                {double(band.Type()), band.Frequency(), gain, band.Q(), double(band.Slope())}))
          DesignBandCascade(staticCascades_[b], band.Type(), band.Frequency(), gain, band.Q(),
                            band.Slope(), sampleRate_);
        const Response& r = Evaluate(static_[b], staticCascades_[b]);
        bands[count++] = {r.re, r.im, nullptr, nullptr, params.Band(b).Channel()};
      }
      kernels.bandProduct(phi == 0 ? staticMatrix_ : product_, bands, count);
    }
    for (int i = 0; i < kDisplayPoints && phi != 0; ++i) {
      Matrix2 firMatrix = fir.DisplayMatrix(in.firActive, i);
      if (w > 0) firMatrix = (1 - w) * firMatrix + w * fir.DisplayMatrix(1 - in.firActive, i);
      SetMatrixAt(staticMatrix_, i,
                  phi == 1 ? firMatrix : (1 - phi) * MatrixAt(product_, i) + phi * firMatrix);
    }
    LeftRowEnergyDb(staticMatrix_, kernels, staticDb_);
    Publish(staticDb_, staticWetEq);
    staticValid_ = true;
  }

  // The live dynamic filters of the enabled gain-type bands with Dynamic on, in slot order:
  // Stereo diag(HL, HR); Right and Side the ChannelMatrix of HR; Left and Mid that of HL.
  int count = 0;
  for (int b = 0; b < kNumBands; ++b) {
    const BandView band = params.Band(b);
    if (!band.Enabled() || !band.Dynamic() || !HasDynamicStage(band.Type())) continue;
    const int channel = band.Channel();
    const Response& left = Evaluate(dynamic_[b][0], in.dynamic[b][0]);
    // Linked channels usually share their coefficients, and so their response.
    const bool shared = SameCoefficients(in.dynamic[b][1], in.dynamic[b][0]);
    const Response& right = shared ? left : Evaluate(dynamic_[b][1], in.dynamic[b][1]);
    if (channel == kStereo)
      bands[count++] = {left.re, left.im, right.re, right.im, channel};
    else if (channel == kRight || channel == kSide)
      bands[count++] = {right.re, right.im, nullptr, nullptr, channel};
    else
      bands[count++] = {left.re, left.im, nullptr, nullptr, channel};
  }
  if (count == 0 && AllFinite(staticDb_)) {
    // The identity times a finite static matrix gives its entries (up to the signs of zero
    // parts), and so the same energies.
    Publish(staticDb_, currentWetEq);
  } else {
    kernels.bandProduct(product_, bands, count);
    kernels.matrixProduct(product_, staticMatrix_, current_);
    double currentDb[kDisplayPoints];
    LeftRowEnergyDb(current_, kernels, currentDb);
    Publish(currentDb, currentWetEq);
  }
  last_ = in;
  lastValid_ = true;
}

} // namespace coral
