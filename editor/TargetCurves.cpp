#include "editor/TargetCurves.h"

#include <cmath>

#include "engine/ResponseCurves.h"

namespace coral {

namespace {

constexpr int kLeftRow = 0;

float FiniteOrZero(double db) {
  return std::isfinite(db) ? static_cast<float>(db) : 0.f;
}

} // namespace

bool TargetCurve::Refresh(const ParamSnapshot& values, double effectiveSampleRate, bool forced,
                          Clock::time_point now) {
  if (!forced && valid_) {
    if (values == values_ && effectiveSampleRate == sampleRate_) return false;
    const bool linearPhase = values[kPhase] > 0.5f;
    if (linearPhase && now - computedAt_ < kLinearPhaseInterval) return false;
  }
  const GraphAxes axes{GraphLimit(effectiveSampleRate)};
  for (int point = 0; point < kDisplayPoints; ++point) {
    points_[point] = FiniteOrZero(
        TargetCurvePoint(axes.PointFrequency(point), values, effectiveSampleRate, kLeftRow));
  }
  values_ = values;
  sampleRate_ = effectiveSampleRate;
  computedAt_ = now;
  valid_ = true;
  return true;
}

const CurvePoints& BandCurve::Points(int band, const ParamSnapshot& values,
                                     double effectiveSampleRate) {
  if (band == band_ && values == values_ && effectiveSampleRate == sampleRate_) return points_;
  const GraphAxes axes{GraphLimit(effectiveSampleRate)};
  for (int point = 0; point < kDisplayPoints; ++point) {
    points_[point] = FiniteOrZero(BandCurvePoint(band, axes.XToFrequency(PointX(point)), values,
                                                 effectiveSampleRate, kLeftRow));
  }
  band_ = band;
  values_ = values;
  sampleRate_ = effectiveSampleRate;
  return points_;
}

} // namespace coral
