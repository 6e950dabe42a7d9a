#include "engine/ResponseCurves.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/EqEngine.h"
#include "engine/FirResponseCache.h"

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
