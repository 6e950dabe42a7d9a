#include "engine/ResponseCurves.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/EngineState.h"
#include "engine/FirResponseCache.h"
#include "engine/LinearPhaseFir.h"

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

// Gathers the inputs of the curve update; answers false when they equal the last ones.
bool CurveInputsChanged(EngineState& s, double crossfadeProgress) noexcept {
  WetEqCurveInputs next;
  next.params = s.smoothedF;
  next.phaseBlend = s.phaseBlend;
  next.crossfadeProgress = crossfadeProgress;
  next.firSwaps = s.fir.SwapCount();
  for (int b = 0; b < kNumBands; ++b) {
    for (int c = 0; c < 2; ++c) {
      const BiquadCascade& cascade = s.dynamicSet[b].cascade[c];
      for (int i = 0; i < cascade.count; ++i) {
        const BiquadSection& sec = cascade.sections[i];
        next.dynamic[b][c][i] = {sec.b0, sec.b1, sec.b2, sec.a1, sec.a2};
      }
    }
  }
  next.valid = true;
  WetEqCurveInputs& last = s.curveInputs;
  bool same = last.valid && next.params == last.params && next.phaseBlend == last.phaseBlend &&
              next.crossfadeProgress == last.crossfadeProgress && next.firSwaps == last.firSwaps;
  for (int b = 0; b < kNumBands && same; ++b)
    for (int c = 0; c < 2 && same; ++c)
      for (int i = 0; i < kMaxSections && same; ++i) {
        const BiquadCoefficients &x = next.dynamic[b][c][i], &y = last.dynamic[b][c][i];
        same = x.b0 == y.b0 && x.b1 == y.b1 && x.b2 == y.b2 && x.a1 == y.a1 && x.a2 == y.a2;
      }
  if (same) return false;
  last = next;
  return true;
}

} // namespace

void UpdateWetEqCurves(EngineState& s) noexcept {
  const double w = s.fir.CrossfadeProgress(s.firPos);
  if (!CurveInputsChanged(s, w)) return;
  const float* params = s.smoothedF.data();
  BiquadCascade cascades[kNumBands];
  DesignKernelCascades(cascades, params, s.sampleRate);

  const double phi = s.phaseBlend;
  for (int i = 0; i < kDisplayPoints; ++i) {
    const double f = s.displayGrid[i];
    const Matrix2 minimum = AnalyticResponse(cascades, params, f, s.sampleRate);
    Matrix2 fir = s.fir.DisplayMatrix(i, false);
    if (w > 0) fir = (1 - w) * fir + w * s.fir.DisplayMatrix(i, true);
    const Matrix2 stat = (1 - phi) * minimum + phi * fir;

    const double omega =
        2.0 * std::numbers::pi * std::clamp(f, 0.0, s.sampleRate / 2) / s.sampleRate;
    const UnitDelay delay(omega);
    Matrix2 dynamic;
    for (int b = 0; b < kNumBands; ++b) {
      const float* p = s.Band(b);
      if (p[kEnabled] <= 0.5f || p[kDynamic] <= 0.5f || !HasDynamicStage(int(p[kType]))) continue;
      const BandFilterPair& set = s.dynamicSet[b];
      const int channel = int(p[kChannel]);
      const std::complex<double> hl = CascadeResponse(set.cascade[0], delay);
      const std::complex<double> hr = CascadeResponse(set.cascade[1], delay);
      Matrix2 band;
      if (channel == kStereo)
        band = {hl, 0.0, 0.0, hr};
      else
        band = ChannelMatrix(channel == kRight || channel == kSide ? hr : hl, channel);
      dynamic = band * dynamic;
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
