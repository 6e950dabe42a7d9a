#pragma once
// One equaliser under measurement: CORAL SIEVE's engine or a peer plug-in. The benchmark binds
// a block of input (untimed), then calls Process for that block (timed), then reads the
// outputs (untimed). Blocks are at most kBlockFrames frames, stereo, 32-bit float.

#include <string>

namespace coral::peers {

inline constexpr int kBlockFrames = 512;
inline constexpr double kBenchRate = 48000;

class Contender {
public:
  virtual ~Contender() = default;

  // Name shown in the table and in the sanity lines.
  virtual const std::string& Name() const = 0;

  // Points the next Process call at `frames` frames of `inL` and `inR`, and readies any
  // per-block host buffers. Never timed.
  virtual void Bind(const float* inL, const float* inR, int frames) = 0;

  // Processes the bound block into the contender's own output buffers. The only timed call.
  virtual void Process() = 0;

  // Output channel 0 (left) or 1 (right) of the last Process call, kBlockFrames floats.
  virtual const float* Output(int channel) const = 0;
};

} // namespace coral::peers
