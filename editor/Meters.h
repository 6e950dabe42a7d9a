#pragma once
// The input, wet and output peak meters right of the graph: a bar over -60..0 dBFS, the level
// as a number down to -90 dB, and a clip dot, all in the clip colour at or above full scale.
// They show the engine's last published chunk peaks as they are (no decay or hold).
//
// The per-frame dirty query copies the engine's readout (a few atomics, never blocking) and
// marks the meters dirty only when what they would draw differs from what they last drew, so
// a quiet or stopped engine costs no drawing.
//
// Threads: user-interface thread; the readout is written by the audio thread.

#include <array>
#include <cstring>

#include "ui/IControl.h"

namespace coral {

class CoralSieve;

// What one meter column shows for linear peak `peak`.
struct MeterReading {
  // `peak` as a full-scale amplitude: not finite or negative counts as silence.
  static MeterReading FromPeak(float peak);

  double levelDb = -120.0; // 20 log10 peak, floored at -120 dB
  float fill = 0.f;        // bar fraction over -60..0 dBFS
  bool clip = false;       // peak at or above full scale
  char text[8] = {};       // "-inf" at -90 dB or below, else the rounded level

  // Same pixels: the bar, the text and the clip state agree.
  bool operator==(const MeterReading& other) const {
    return fill == other.fill && clip == other.clip && std::strcmp(text, other.text) == 0;
  }
};

class Meters : public reef::ui::IControl {
public:
  Meters(const reef::ui::IRect& bounds, const CoralSieve& plug);

  void Draw(reef::ui::ICanvas& g) override;
  bool IsDirty() override;

private:
  using Readings = std::array<MeterReading, 3>; // input, wet, output
  Readings Read() const;

  const CoralSieve& plug_;
  Readings shown_{};
};

} // namespace coral
