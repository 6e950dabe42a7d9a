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
#include "engine/EngineConstants.h"
#include "engine/FftPlan.h"
#include "engine/KernelDesigner.h"
#include "engine/ParamTable.h"
#include "engine/PartitionedConvolver.h"

namespace coral {

class LinearPhaseFir {
public:
  // Allocates every buffer and the 512- and 8192-point plans, then designs a full kernel
  // set from `target` synchronously and makes it active; the runtime state is zeroed.
  // `displayGrid` (256 Hz values) must stay valid while the object is used.
  void Prepare(double sampleRate, const float* displayGrid, const float* target);

  // Completes a pending or running swap (flip the active set, clear the ready flag and the
  // crossfade countdown) and zeroes the input history, overlaps and input/output blocks.
  void ResetRuntime() noexcept;

  // Per frame at FIR position q (0..255): stores the trimmed input and returns the output.
  void Exchange(int q, float xL, float xR, float& firL, float& firR) noexcept {
    inBlock_[0][q] = xL;
    inBlock_[1][q] = xR;
    firL = outBlock_[0][q];
    firR = outBlock_[1][q];
  }
  // Exchange for `count` frames from position q on (q + count <= 256): input pairs in double
  // precision (rounded, non-finite samples 0), output pairs.
  void ExchangeBlock(int q, int count, const double* input, float* output) noexcept;

  // Called when the FIR position wraps from 255 to 0: transforms the new input block,
  // starts a waiting swap, convolves with the active set (and the incoming set during a
  // crossfade) and advances the crossfade. When `outputNeeded` is false the convolutions
  // are left out and the output block is marked stale; EnsureOutput recomputes exactly
  // what they would have produced, so skipping changes no sample.
  void BlockStep(bool outputNeeded = true) noexcept;

  // True while the output block is stale (its block step skipped the convolutions).
  bool OutputStale() const noexcept { return stale_; }
  // Computes the output block of the last block step if it was skipped.
  void EnsureOutput() noexcept;

  // The parameter array the designer follows (216 sanitized values), copied.
  void SetTarget(const float* target) noexcept;

  // One designer step. In the idle state it starts a design when the target differs from
  // the last-designed array (DesignRelevantDiffers) and no crossfade runs. A design never
  // writes the set that waits for its swap or crossfades in: it holds until that set is free.
  void DesignerStep() noexcept;
  // `count` designer steps (stopping early once idle steps can change nothing until the next
  // block step or target).
  void DesignerSteps(int count) noexcept;

  // Display blend towards the incoming set: clamp(1 - (c - q + 256) / 2048, 0, 1) with c the
  // remaining crossfade count; 0 when no crossfade runs.
  double CrossfadeProgress(int q) const noexcept;

  // The kernel set in use (0 or 1); the other one is designed into and swapped in.
  int ActiveSet() const noexcept { return active_; }
  // FIR display matrix at display point `point` of kernel set `set`.
  const Matrix2& DisplayMatrix(int set, int point) const noexcept {
    return sets_[set].display[point];
  }

  // Number of kernel swaps completed since Prepare: the active display matrices change only
  // when it does.
  std::uint32_t SwapCount() const noexcept { return swaps_; }

  // Introspection for tests and benchmarks.
  int DesignerState() const noexcept { return designer_.CurrentState(); }
  bool KernelReady() const noexcept { return kernelReady_; }
  int CrossfadeCount() const noexcept { return crossfade_; }
  // Kernels of the latest design (entry 2 * output + input); rewritten while a design runs.
  const float* Kernel(int entry) const noexcept { return designer_.Kernel(entry); }
  const float* LastDesigned() const noexcept { return lastDesigned_.data(); }

private:
  // Runs up to `steps` designer steps into the inactive set and marks a finished set ready;
  // returns the steps taken.
  int AdvanceDesign(int steps) noexcept;

  // The convolutions of one block step: what was active and the crossfade count used for the
  // blend (0 when none).
  struct BlockJob {
    int active = 0;
    int crossfade = 0;
  };
  // The job's convolutions of the newest input block, continuing from the overlaps.
  void Convolve(const BlockJob& job) noexcept;
  // Recomputes the active (and incoming) overlap the job continues from: the tails of the
  // block before the newest, exact for the active set; the incoming set's tail as the always
  // convolving step primes it in the crossfade's first block, exact later on.
  void PrimeOverlaps(const BlockJob& job) noexcept;
  // Primes the incoming set's overlap with the tail it left one block ago.
  void PrimeIncomingOverlap(int incoming, PartitionedConvolver::Reach reach) noexcept;

  KernelDesigner designer_;
  PartitionedConvolver convolver_;
  std::array<KernelSet, 2> sets_;
  int active_ = 0;
  std::uint32_t swaps_ = 0;

  BlockPair inBlock_;         // trimmed input of the block being collected
  BlockPair outBlock_;        // output of the block being played
  BlockPair overlap_;         // tail carried by the active kernel set
  BlockPair incomingOverlap_; // tail carried by the incoming set during a crossfade
  BlockPair scratch_;         // incoming set's block output

  ParamSnapshot target_{};
  ParamSnapshot lastDesigned_{};
  bool kernelReady_ = false;
  bool recheck_ = false; // whether a new design may start has to be asked again
  int crossfade_ = 0;    // 0, or 2048 down to 256 in steps of 256

  bool stale_ = false;         // output block not computed (skipped block step)
  bool overlapsStale_ = false; // overlaps not computed since a skipped block step
  BlockJob pending_;           // the last block step's convolutions
};

} // namespace coral
