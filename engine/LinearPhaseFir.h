#pragma once
// The linear-phase static EQ: a 2x2 matrix of 8193-tap zero-phase kernels designed from the
// band settings one bounded step per frame (KernelDesigner), convolved with the trimmed
// input by uniformly partitioned FFT convolution (33 partitions of 256 taps), and swapped
// in by a 2048-sample crossfade. Latency: 4096 (kernel centre) + 256 (one block).
//
// Threads: everything runs on the audio thread. Prepare allocates; every other member is
// allocation-free and noexcept.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/BandFilter.h"
#include "engine/ChannelMatrix.h"
#include "engine/EqEngine.h"
#include "engine/FftPlan.h"
#include "engine/ParamTable.h"

namespace coral {

inline constexpr int kKernelTaps = 8193;
inline constexpr int kKernelCentre = 4096;
inline constexpr int kDesignFftSize = 16384;
inline constexpr int kFirBlock = 256;
inline constexpr int kConvFftSize = 512;
inline constexpr int kPartitions = 33;
inline constexpr int kKernelCrossfade = 2048;
inline constexpr double kKaiserBeta = 8.6;

// True when a and b (216-value parameter arrays) differ in Scale or in any band's Enabled,
// Type, Frequency, Gain, Q, Slope or Channel. Unequal or NaN counts as different.
bool DesignRelevantDiffers(const float* a, const float* b) noexcept;

// Designs the twelve band cascades of a parameter array for kernel design or display:
// DesignBandCascade(Type, Frequency, Gain * Scale * 0.01, Q, Slope, sampleRate).
void DesignKernelCascades(BiquadCascade (&cascades)[kNumBands], const float* params,
                          double sampleRate) noexcept;

// Zero-phase response matrix at omega (rad/sample): starting from the identity, each band
// with Enabled > 0.5 left-multiplies ChannelMatrix(|H(omega)|, Channel).
Matrix2 ZeroPhaseMatrix(const BiquadCascade (&cascades)[kNumBands], const float* params,
                        double omega) noexcept;

// Kaiser window (beta 8.6) at tap n = 0..8192, centred on tap 4096. I0 is the power series
// sum (x^2/4)^k / (k!)^2 until a term falls below 1e-15 of the running sum or 30 terms.
double KaiserWindow(int n) noexcept;

class LinearPhaseFir {
public:
  // Allocates every buffer and the 512- and 16384-point plans, then designs a full kernel
  // set from `target` synchronously and makes it active. `displayGrid` (256 Hz values) must
  // stay valid while the object is used.
  void Prepare(double sampleRate, const float* displayGrid, const float* target);

  // Completes a pending swap (flip the active set, clear the ready flag) and zeroes the
  // input history, overlaps, input/output blocks and the crossfade countdown.
  void ResetRuntime() noexcept;

  // Per frame at FIR position q (0..255): stores the trimmed input and returns the output.
  void Exchange(int q, float xL, float xR, float& firL, float& firR) noexcept {
    inBlock_[0][q] = xL;
    inBlock_[1][q] = xR;
    firL = outBlock_[0][q];
    firR = outBlock_[1][q];
  }

  // Called when the FIR position wraps from 255 to 0: transforms the new input block,
  // convolves with the active set (and the incoming set during a crossfade).
  void BlockStep() noexcept;

  // One designer step. In the idle state it starts a design when `target` differs from the
  // last-designed array (DesignRelevantDiffers) and no crossfade runs.
  void DesignerStep(const float* target) noexcept;

  // Display blend towards the incoming set: clamp(1 - (c - q + 256) / 2048, 0, 1) with c the
  // remaining crossfade count; 0 when no crossfade runs.
  double CrossfadeProgress(int q) const noexcept;

  // FIR display matrix at display point i of the active set, or of the incoming set.
  const Matrix2& DisplayMatrix(int point, bool incoming) const noexcept;

  // Introspection for tests and benchmarks.
  int DesignerState() const noexcept { return designState_; }
  bool KernelReady() const noexcept { return kernelReady_; }
  int CrossfadeCount() const noexcept { return crossfade_; }
  const float* Kernel(int entry) const noexcept { return kernels_[entry].data(); }
  const float* LastDesigned() const noexcept { return lastDesigned_.data(); }

private:
  // Implementation members are the implementer's choice; the ones above are used inline.
  std::array<std::vector<float>, 2> inBlock_;  // 2 x 256
  std::array<std::vector<float>, 2> outBlock_; // 2 x 256
  std::array<std::vector<float>, 4> kernels_;  // 4 x 8193
  ParamSnapshot lastDesigned_{};
  int designState_ = 0;
  bool kernelReady_ = false;
  int crossfade_ = 0;
};

} // namespace coral
