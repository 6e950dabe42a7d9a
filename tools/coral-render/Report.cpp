#include "tools/coral-render/Report.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "core/CoralSieve.h"
#include "core/Recipes.h"
#include "engine/ResponseCurves.h"

namespace coral::render {
namespace {

constexpr float kFloorDb = -120.f;

template <std::size_t N>
void ReplaceNonFinite(std::array<float, N>& values, float replacement) {
  for (float& v : values) v = std::isfinite(v) ? v : replacement;
}

float Finite(float value, float replacement) {
  return std::isfinite(value) ? value : replacement;
}

// Half-height of the graph's EQ axis from the Graph Range parameter: its value rounded
// toward zero and clamped to 0..2 selects 12, 24 or 36 dB.
double GraphRangeDb(double value) {
  const double index = std::isfinite(value) ? std::clamp(std::trunc(value), 0.0, 2.0) : 1.0;
  return 12.0 * (index + 1.0);
}

} // namespace

PublishedData CollectPublishedData(const CoralSieve& plug) {
  PublishedData data;
  const EqEngine& engine = plug.Engine();
  engine.GetDisplaySnapshot(data.display);
  data.readout = engine.GetReadout();

  DisplaySnapshot& d = data.display;
  ReplaceNonFinite(d.inputSpectrum, kFloorDb);
  ReplaceNonFinite(d.outputSpectrum, kFloorDb);
  ReplaceNonFinite(d.staticWetEq, 0.f);
  ReplaceNonFinite(d.currentWetEq, 0.f);
  ReplaceNonFinite(d.liveBandGain, 0.f);
  ReplaceNonFinite(d.detectorLevel, kFloorDb);
  const RunPeaks& peaks = plug.GetRunPeaks();
  data.peaks = {Finite(peaks.input, 0.f), Finite(peaks.wet, 0.f), Finite(peaks.output, 0.f)};

  const float* grid = engine.DisplayGrid();
  for (int i = 0; i < kDisplayPoints; ++i) data.frequencies[i] = grid[i];

  data.values = plug.CurrentValues();
  const ParamSnapshot& values = data.values;
  for (int row = 0; row < 2; ++row) {
    for (int i = 0; i < kDisplayPoints; ++i) {
      const double db = TargetCurvePoint(data.frequencies[i], values, d.sampleRate, row);
      data.targetCurve[row][i] = std::isfinite(db) ? db : 0.0;
    }
  }

  const int recipe = plug.FindMatchingRecipe();
  data.recipe = recipe >= 0 ? GetRecipes()[recipe].name : "Custom";
  data.graphRange = GraphRangeDb(values[kGraphRange]);
  return data;
}

std::string ReportJson(const PublishedData& data) {
  const DisplaySnapshot& d = data.display;
  nlohmann::ordered_json report;
  report["sampleRate"] = d.sampleRate;
  report["frequencies"] = data.frequencies;
  report["inputSpectrum"] = d.inputSpectrum;
  report["outputSpectrum"] = d.outputSpectrum;
  report["staticWetEq"] = d.staticWetEq;
  report["currentWetEq"] = d.currentWetEq;
  report["liveBandGain"] = d.liveBandGain;
  report["detectorLevel"] = d.detectorLevel;
  report["sidechainPresent"] = d.sidechainPresent != 0;
  report["externalInUse"] = d.externalInUse != 0;
  report["peaks"] = {{"over", "whole run"},
                     {"input", data.peaks.input},
                     {"wet", data.peaks.wet},
                     {"output", data.peaks.output}};
  report["targetCurve"] = {{"row0", data.targetCurve[0]}, {"row1", data.targetCurve[1]}};
  report["recipe"] = data.recipe;
  return report.dump(2) + "\n";
}

} // namespace coral::render
