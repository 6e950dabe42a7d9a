#include "editor/GraphAxes.h"

#include <algorithm>
#include <cmath>

#include "engine/EngineConstants.h"

namespace coral {

namespace {

constexpr double kFallbackSampleRate = 48000.0;
constexpr double kLowestSampleRate = 8000.0;
constexpr double kGraphLimitRatio = 0.49;
constexpr double kRangeStepDb = 12.0;
constexpr int kLargestRangeIndex = 2;
constexpr double kLastPoint = kDisplayPoints - 1;

} // namespace

double EffectiveSampleRate(double sampleRate) {
  return std::isfinite(sampleRate) && sampleRate >= kLowestSampleRate ? sampleRate
                                                                      : kFallbackSampleRate;
}

double GraphLimit(double effectiveSampleRate) {
  return std::min(kGraphLimitRatio * effectiveSampleRate, kGraphHighestHz);
}

double DisplayRangeDb(double graphRange) {
  const double index = std::isfinite(graphRange) ? std::trunc(graphRange) : 0.0;
  return kRangeStepDb * (std::clamp(index, 0.0, double(kLargestRangeIndex)) + 1.0);
}

double PointX(int point) {
  return kPlotLeft + kPlotWidth * point / kLastPoint;
}

double SpectrumToY(double dbfs) {
  const double t = std::clamp((dbfs - kSpectrumFloorDbfs) / -kSpectrumFloorDbfs, 0.0, 1.0);
  return kPlotBottom - (kPlotBottom - kPlotTop) * t;
}

GraphAxes GraphAxes::For(double sampleRate, double graphRange) {
  return {GraphLimit(EffectiveSampleRate(sampleRate)), DisplayRangeDb(graphRange)};
}

double GraphAxes::FrequencyToX(double hz) const {
  const double above = hz > kGraphLowestHz ? hz : kGraphLowestHz; // NaN sits on the left
  const double t = std::log(above / kGraphLowestHz) / std::log(graphLimitHz / kGraphLowestHz);
  return kPlotLeft + kPlotWidth * std::clamp(t, 0.0, 1.0);
}

double GraphAxes::XToFrequency(double x) const {
  return FrequencyAt(std::clamp((x - kPlotLeft) / kPlotWidth, 0.0, 1.0));
}

double GraphAxes::PointFrequency(int point) const {
  return FrequencyAt(point / kLastPoint);
}

double GraphAxes::FrequencyAt(double t) const {
  return kGraphLowestHz * std::pow(graphLimitHz / kGraphLowestHz, t);
}

double GraphAxes::DbToY(double db) const {
  return kPlotCentreY - kPlotHalfHeight * std::clamp(db / rangeDb, -1.0, 1.0);
}

double GraphAxes::YToDb(double y) const {
  return std::clamp(rangeDb * (kPlotCentreY - y) / kPlotHalfHeight, -rangeDb, rangeDb);
}

} // namespace coral
