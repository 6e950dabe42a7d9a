#pragma once
// The footer's status lines: which signal is monitored (normal mix, band listen, dry minus
// wet, bypass), the fixed latency in samples and milliseconds at the engine's rate, and which
// detector source is in effect (internal, external, or external wanted but missing). Takes no
// input; polls its inputs every frame and redraws only when a line would change.
//
// Threads: user-interface thread; the detector flags and rate are published by the audio
// thread.

#include "ui/IControl.h"

namespace coral {

class CoralSieve;

enum class MonitorMode : int { kNormal = 0, kDelta = 1, kListen = 2, kBypass = 3 };
enum class DetectorState : int { kInternal = 0, kExternalConnected = 1, kExternalMissing = 2 };

// What the status lines say for the plug-in's settings and published engine data.
struct MonitorState {
  MonitorMode mode = MonitorMode::kNormal;
  bool highlighted = false; // a band listens or Delta is on: the monitor line is copper
  double latencyMs = 0.0;   // the fixed latency at the engine's rate (48 kHz when unusable)
  DetectorState detector = DetectorState::kInternal;
  bool operator==(const MonitorState&) const = default;

  static MonitorState Of(const CoralSieve& plug);
};

class MonitorStatus : public reef::ui::IControl {
public:
  MonitorStatus(const reef::ui::IRect& bounds, const CoralSieve& plug);

  void Draw(reef::ui::ICanvas& g) override;
  bool IsDirty() override;

private:
  const CoralSieve& plug_;
  MonitorState shown_;
};

} // namespace coral
