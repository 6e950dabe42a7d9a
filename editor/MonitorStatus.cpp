#include "editor/MonitorStatus.h"

#include <cmath>
#include <cstdio>

#include "core/CoralSieve.h"
#include "editor/Palette.h"
#include "ui/ICanvas.h"

namespace coral {

using reef::ui::EAlign;
using reef::ui::IRect;

namespace {

constexpr double kFallbackRate = 48000.0;
constexpr double kLowestUsableRate = 8000.0;
constexpr IRect kMonitorBox{322.f, 759.f, 652.f, 776.f};
constexpr IRect kLatencyBox{322.f, 776.f, 691.f, 794.f};
constexpr IRect kDetectorBox{667.f, 759.f, 930.f, 777.f};
constexpr IRect kScalesBox{667.f, 777.f, 930.f, 794.f};

const char* MonitorText(MonitorMode mode) {
  switch (mode) {
  case MonitorMode::kBypass:
    return "BYPASS / ALIGNED DRY";
  case MonitorMode::kListen:
    return "MONITOR / BAND LISTEN";
  case MonitorMode::kDelta:
    return "MONITOR / DRY MINUS WET";
  case MonitorMode::kNormal:
    break;
  }
  return "NORMAL MIX / ALIGNED DRY + EQ";
}

const char* DetectorText(DetectorState detector) {
  switch (detector) {
  case DetectorState::kExternalMissing:
    return "EXTERNAL MISSING / INTERNAL";
  case DetectorState::kExternalConnected:
    return "EXTERNAL CONNECTED";
  case DetectorState::kInternal:
    break;
  }
  return "INTERNAL DETECTION";
}

} // namespace

MonitorState MonitorState::Of(const CoralSieve& plug) {
  const auto value = [&plug](int paramIdx) { return plug.GetParam(paramIdx)->Value(); };
  bool listenActive = false;
  bool externalWanted = false;
  for (int band = 0; band < kNumBands; ++band) {
    if (value(BandParamIndex(band, kEnabled)) < 0.5) continue;
    listenActive = listenActive || value(BandParamIndex(band, kListen)) >= 0.5;
    externalWanted = externalWanted || (value(BandParamIndex(band, kDynamic)) >= 0.5 &&
                                        value(BandParamIndex(band, kDetector)) > 0.5);
  }
  const bool delta = value(kDelta) >= 0.5;
  MonitorState state;
  state.mode = value(kBypass) >= 0.5 ? MonitorMode::kBypass
               : listenActive        ? MonitorMode::kListen
               : delta               ? MonitorMode::kDelta
                                     : MonitorMode::kNormal;
  state.highlighted = listenActive || delta;

  // The same published flags and rate a display snapshot carries, without copying its curves.
  const EngineReadout readout = plug.Engine().GetReadout();
  double rate = plug.Engine().SampleRate();
  if (!std::isfinite(rate) || rate < kLowestUsableRate) rate = kFallbackRate;
  state.latencyMs = kFixedLatency * 1000.0 / rate;
  state.detector = externalWanted && !readout.sidechainPresent ? DetectorState::kExternalMissing
                   : readout.externalInUse                     ? DetectorState::kExternalConnected
                                                               : DetectorState::kInternal;
  return state;
}

MonitorStatus::MonitorStatus(const IRect& bounds, const CoralSieve& plug)
    : IControl(bounds), plug_(plug) {
  SetIgnoreMouse(true);
}

void MonitorStatus::Draw(reef::ui::ICanvas& g) {
  shown_ = MonitorState::Of(plug_);
  g.DrawText(EditorText(10.f, shown_.highlighted ? kCopper : kTextDim, EAlign::Near),
             MonitorText(shown_.mode), kMonitorBox);
  char latency[64];
  std::snprintf(latency, sizeof latency, "%d smp / %.2f ms  \u00B7  MIXING LATENCY", kFixedLatency,
                shown_.latencyMs);
  g.DrawText(EditorText(10.f, kTextDim, EAlign::Near), latency, kLatencyBox);
  g.DrawText(EditorText(10.f, shown_.detector == DetectorState::kExternalMissing ? kCopper : kTeal,
                        EAlign::Far),
             DetectorText(shown_.detector), kDetectorBox);
  g.DrawText(EditorText(9.f, kTextDim, EAlign::Far), "WINDOWED FFT / dBFS  \u00B7  EQ / dB",
             kScalesBox);
}

bool MonitorStatus::IsDirty() {
  if (const MonitorState state = MonitorState::Of(plug_); !(state == shown_)) {
    shown_ = state;
    SetDirty(false);
  }
  return IControl::IsDirty();
}

} // namespace coral
