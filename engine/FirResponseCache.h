#pragma once
// The finite-window linear-phase response of a parameter snapshot, for the editor's target
// curves in "Linear Phase FIR" mode: the same zero-phase sampling, inverse transform (the
// 16384-point real kernel as an 8192-point transform of packed pairs) and Kaiser window as the
// audio thread's kernel designer, so the curve shows what the FIR path plays (ripple and
// low-frequency limit of an 8193-tap kernel included).
//
// Threads: one instance belongs to one thread (the editor keeps thread_local instances); it
// is not shared. Memory: the first rebuild allocates the 8192-point plan, four 8192-value work
// buffers and four 8193-tap kernels; later rebuilds reuse them.

#include "engine/ChannelMatrix.h"
#include "engine/FftPlan.h"
#include "engine/KernelDesigner.h"
#include "engine/ParamTable.h"

namespace coral {

class FirResponseCache {
public:
  // RowEnergy (dB) of output `row` (0 left, 1 right) of the kernel matrix at `frequency` Hz
  // (clamped to 0..sampleRate/2). `sanitized` must have passed SanitizeSnapshot and
  // `sampleRate` must be finite and positive. Rebuilds the kernels first when the sample
  // rate or a design-relevant parameter (DesignRelevantDiffers) differs from the key.
  double RowEnergyAt(double frequency, const ParamSnapshot& sanitized, double sampleRate, int row);

  // Number of rebuilds since construction.
  int RebuildCount() const noexcept { return rebuilds_; }

private:
  void Rebuild(const ParamSnapshot& sanitized, double sampleRate);
  Matrix2 Response(double frequency) const noexcept;

  bool built_ = false;
  double sampleRate_ = 0;
  ParamSnapshot key_{};
  FftPlan plan_;
  DesignMagnitudes magnitudes_;
  ZeroPhaseResponse response_;
  DesignBuffers buffers_;
  KernelTaps kernels_;
  int rebuilds_ = 0;
};

} // namespace coral
