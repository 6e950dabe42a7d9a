#pragma once
// The whole audio path of the equaliser. The owner hands it a parameter snapshot once per
// host block (SetParams) and audio in chunks of at most kChunkFrames frames (Process); the
// editor reads what it publishes through two accessors that copy atomics and never block.
//
// Threads: SetParams, Prepare, ResetRuntime and Process run on the audio thread (Prepare
// also on the host's reset path). GetReadout and GetDisplaySnapshot may be called from any
// thread at any time, also before Prepare.
//
// Memory: the engine allocates its state record when constructed and every buffer in
// Prepare; Process and everything it calls allocate nothing and take no lock.

#include <array>
#include <cstdint>
#include <memory>

#include "engine/EngineConstants.h"
#include "engine/ParamTable.h"

namespace coral {

// Replaces a non-finite value by its default, clamps to the parameter range and rounds
// discrete parameters to the nearest integer (halfway cases away from zero).
void SanitizeSnapshot(ParamSnapshot& snapshot) noexcept;

// Per-chunk readout: peaks in linear full-scale units over the last Process call.
struct EngineReadout {
  float inputPeak = 0;
  float wetPeak = 0;
  float outputPeak = 0;
  std::uint8_t sidechainPresent = 0;
  std::uint8_t externalInUse = 0;
};

// Everything the editor's graph shows, copied in one call. Curve and spectrum points lie on
// the DisplayGrid of the prepared sample rate.
struct DisplaySnapshot {
  std::array<float, kDisplayPoints> inputSpectrum{};  // dBFS, floor -120
  std::array<float, kDisplayPoints> outputSpectrum{}; // dBFS, floor -120
  std::array<float, kDisplayPoints> staticWetEq{};    // dB
  std::array<float, kDisplayPoints> currentWetEq{};   // dB
  std::array<float, kNumBands> liveBandGain{};        // dB, signed
  std::array<float, kNumBands> detectorLevel{};       // dB
  std::uint8_t sidechainPresent = 0;
  std::uint8_t externalInUse = 0;
  double sampleRate = 0; // prepared rate, 0 before the first Prepare
};

struct EngineState;

class EqEngine {
public:
  EqEngine();
  ~EqEngine();
  EqEngine(const EqEngine&) = delete;
  EqEngine& operator=(const EqEngine&) = delete;

  // Sanitizes the snapshot and stores it as the target of smoothing and kernel design.
  void SetParams(const ParamSnapshot& snapshot) noexcept;

  // Prepares for `sampleRate` (non-finite becomes 48000, then clamped to 22050..192000):
  // allocates and zeroes every buffer, designs a full linear-phase kernel set and resets
  // the runtime state. Allocates; never call concurrently with Process.
  void Prepare(double sampleRate);

  // Zeroes every filter state, delay line, FIR history, analyzer ring and counter and sets
  // the ramps to their targets. No allocation.
  void ResetRuntime() noexcept;

  // inputs[0..1] (right may be null), outputs[0..1] (either may be null; a null `outputs`
  // returns at once), 1..kChunkFrames frames, sidechain[0..1] (may be null) and whether a
  // genuine auxiliary input is connected.
  void Process(const float* const* inputs, float* const* outputs, int frames,
               const float* const* sidechain, bool sidechainPresent) noexcept;

  bool IsPrepared() const noexcept;
  double SampleRate() const noexcept; // prepared rate (published), 0 before Prepare

  EngineReadout GetReadout() const noexcept;
  void GetDisplaySnapshot(DisplaySnapshot& out) const noexcept;

  // The 256 display frequencies in Hz for the prepared rate (valid after Prepare).
  const float* DisplayGrid() const noexcept;

  // Read-only view of the engine state for tests and benchmarks in this repository.
  const EngineState& State() const noexcept { return *state_; }

private:
  std::unique_ptr<EngineState> state_;
};

} // namespace coral
