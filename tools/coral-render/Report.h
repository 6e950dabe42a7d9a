#pragma once
// What the engine publishes after a render, gathered once for the JSON report and the plot.

#include <array>
#include <string>

#include "core/CoralSieve.h"
#include "engine/EqEngine.h"

namespace coral::render {

struct PublishedData {
  DisplaySnapshot display;                         // spectra, applied curves, band readouts
  EngineReadout readout;                           // sidechain flags of the last chunk
  RunPeaks peaks;                                  // input, wet and output over the whole run
  ParamSnapshot values{};                          // the settings rendered
  std::array<float, kDisplayPoints> frequencies{}; // DisplayGrid, Hz
  std::array<std::array<double, kDisplayPoints>, 2> targetCurve{}; // rows 0 and 1, dB
  std::string recipe;     // matching recipe's name, or "Custom"
  double graphRange = 24; // dB half-height of the EQ axis: 12, 24, 36
};

// Copies the published data of `plug`'s engine and computes the target curve from the
// plug-in's current parameter values on the engine's grid. Call after the last block, on the
// thread that rendered. Non-finite values are replaced as the editor's graph shows them:
// spectra and detector levels by -120 dB, curves and gains by 0 dB, peaks by 0.
PublishedData CollectPublishedData(const CoralSieve& plug);

// The report as JSON text (fields sampleRate, frequencies, inputSpectrum, outputSpectrum,
// staticWetEq, currentWetEq, liveBandGain, detectorLevel, sidechainPresent, externalInUse,
// peaks {over: "whole run", input, wet, output}, targetCurve {row0, row1}, recipe).
std::string ReportJson(const PublishedData& data);

} // namespace coral::render
