#pragma once
// Uniformly partitioned FFT convolution of a stereo signal with a 2x2 kernel matrix: blocks
// of 256 samples, 512-point transforms, 33 partitions of 256 taps. Output o = sum over
// inputs i of kernel (2o + i) * input i. Partitions whose flag in the KernelSet is clear
// (all-zero taps) are skipped.
//
// Audio thread; Prepare allocates, everything else is allocation-free.

#include <array>
#include <vector>

#include "engine/FftPlan.h"
#include "engine/KernelDesigner.h"

namespace coral {

// Two channels of kFirBlock floats.
using BlockPair = std::array<std::vector<float>, 2>;

class PartitionedConvolver {
public:
  // Builds the 512-point plan and allocates the input-spectrum history (2 channels x 33
  // slots x 512 bins) and the accumulator, all zero.
  void Prepare();

  // Zeroes the history and sets the current slot to 0.
  void Reset() noexcept;

  const FftPlan& Plan() const noexcept { return plan_; }

  // Stores the newest 256-sample block of each channel as the current block. Its transform
  // (zero-padded to 512) enters the history when a convolution first needs it, so blocks that
  // no convolution reads before they leave the history are never transformed.
  void PushBlock(const BlockPair& input) noexcept;

  // Convolves the history with `set` as if the newest block were `blocksBack` blocks before
  // the current one. For each output channel: output[n] = y[n] + overlap[n] and then
  // overlap[n] = y[n + 256] (n = 0..255), with y the 512-point block result; non-finite
  // samples become 0.
  void Convolve(const KernelSet& set, BlockPair& output, BlockPair& overlap,
                int blocksBack = 0) noexcept;

  // Moves the current slot on by one block.
  void Advance() noexcept { slot_ = (slot_ + 1) % kPartitions; }

private:
  ComplexF* History(int channel, int slot) noexcept {
    return history_.data() + (channel * kPartitions + slot) * kConvFftSize;
  }

  // Transforms every stored block whose spectrum is not in the history yet (at most one per
  // slot and channel).
  void TransformPending() noexcept;

  FftPlan plan_;
  std::vector<ComplexF> history_;
  std::vector<float> blocks_;                   // 2 channels x 33 slots x 256 samples
  std::array<bool, kPartitions> transformed_{}; // the slot's spectrum is in the history
  std::vector<ComplexF> accumulator_;
  int slot_ = 0;
};

} // namespace coral
