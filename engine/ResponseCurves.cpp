#include "engine/ResponseCurves.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/BandDynamics.h"
#include "engine/EngineState.h"
#include "engine/FirResponseCache.h"
#include "engine/LinearPhaseFir.h"
#include "engine/ParamView.h"

namespace coral {

Matrix2 AnalyticResponse(const BiquadCascade (&cascades)[kNumBands], const float* params,
                         double frequency, double sampleRate, int onlyBand,
                         bool magnitudeOnly) noexcept {
  const double omega =
      2.0 * std::numbers::pi * std::clamp(frequency, 0.0, sampleRate / 2) / sampleRate;
  Matrix2 m;
  const UnitDelay delay(omega);
  for (int b = 0; b < kNumBands; ++b) {
    const float* p = params + BandParamIndex(b, 0);
    if ((onlyBand >= 0 && b != onlyBand) || p[kEnabled] <= 0.5f) continue;
    std::complex<double> h = CascadeResponse(cascades[b], delay);
    if (magnitudeOnly) h = std::abs(h);
    m = ChannelMatrix(h, int(p[kChannel])) * m;
  }
  return m;
}

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

bool SameInputs(const WetEqCurveInputs& a, const WetEqCurveInputs& b) {
  if (!(a.params == b.params && a.phaseBlend == b.phaseBlend &&
        a.crossfadeProgress == b.crossfadeProgress && a.firSwaps == b.firSwaps))
    return false;
  for (int band = 0; band < kNumBands; ++band)
    for (int c = 0; c < 2; ++c)
      if (!SameCascade(a.dynamic[band][c], b.dynamic[band][c])) return false;
  return true;
}

} // namespace

void UpdateWetEqCurves(EngineState& s, const WetEqCurveInputs& in) noexcept {
  if (s.lastCurveValid && SameInputs(in, s.lastCurve)) return;
  s.lastCurve = in;
  s.lastCurveValid = true;
  const float* params = in.params.data();
  BiquadCascade cascades[kNumBands];
  DesignKernelCascades(cascades, params, s.sampleRate);

  const double w = in.crossfadeProgress;
  const double phi = in.phaseBlend;
  const ParamView view(params);
  for (int i = 0; i < kDisplayPoints; ++i) {
    const double f = s.displayGrid[i];
    const Matrix2 minimum = AnalyticResponse(cascades, params, f, s.sampleRate);
    Matrix2 fir = s.fir.DisplayMatrix(in.firActive, i);
    if (w > 0) fir = (1 - w) * fir + w * s.fir.DisplayMatrix(1 - in.firActive, i);
    const Matrix2 stat = (1 - phi) * minimum + phi * fir;

    const double omega =
        2.0 * std::numbers::pi * std::clamp(f, 0.0, s.sampleRate / 2) / s.sampleRate;
    const UnitDelay delay(omega);
    Matrix2 dynamic;
    for (int b = 0; b < kNumBands; ++b) {
      const BandView band = view.Band(b);
      if (!band.Enabled() || !band.Dynamic() || !HasDynamicStage(band.Type())) continue;
      const int channel = band.Channel();
      const std::complex<double> hl = CascadeResponse(in.dynamic[b][0], delay);
      const std::complex<double> hr = CascadeResponse(in.dynamic[b][1], delay);
      Matrix2 bandMatrix;
      if (channel == kStereo)
        bandMatrix = {hl, 0.0, 0.0, hr};
      else
        bandMatrix = ChannelMatrix(channel == kRight || channel == kSide ? hr : hl, channel);
      dynamic = bandMatrix * dynamic;
    }
    s.staticWetEq[i].exchange(float(RowEnergy(stat, 0)), std::memory_order_relaxed);
    s.currentWetEq[i].exchange(float(RowEnergy(dynamic * stat, 0)), std::memory_order_relaxed);
  }
}

namespace {

double CurvePoint(int band, double frequency, const ParamSnapshot& snapshot, double sampleRate,
                  int row) {
  ParamSnapshot params = snapshot;
  SanitizeSnapshot(params);
  if (!std::isfinite(sampleRate) || sampleRate <= 0) sampleRate = 48000.0;
  if (params[kPhase] > 0.5f) {
    // One cache for whole-EQ targets and one for single-band targets, per thread.
    thread_local FirResponseCache wholeCache;
    thread_local FirResponseCache bandCache;
    if (band < 0) return wholeCache.RowEnergyAt(frequency, params, sampleRate, row);
    for (int b = 0; b < kNumBands; ++b)
      if (b != band) params[BandParamIndex(b, kEnabled)] = 0.0f;
    return bandCache.RowEnergyAt(frequency, params, sampleRate, row);
  }
  BiquadCascade cascades[kNumBands];
  DesignKernelCascades(cascades, params.data(), sampleRate);
  return RowEnergy(AnalyticResponse(cascades, params.data(), frequency, sampleRate, band), row);
}

} // namespace

double TargetCurvePoint(double frequency, const ParamSnapshot& snapshot, double sampleRate,
                        int row) {
  return CurvePoint(-1, frequency, snapshot, sampleRate, row);
}

double BandCurvePoint(int band, double frequency, const ParamSnapshot& snapshot, double sampleRate,
                      int row) {
  if (band < 0 || band >= kNumBands) return 0.0;
  return CurvePoint(band, frequency, snapshot, sampleRate, row);
}

} // namespace coral
