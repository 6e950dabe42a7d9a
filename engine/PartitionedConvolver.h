#pragma once
// Uniformly partitioned FFT convolution of a stereo signal with a 2x2 kernel matrix: blocks
// of 256 samples, 512-point transforms, 33 partitions of 256 taps. Output o = sum over
// inputs i of kernel (2o + i) * input i. Partitions whose flag in the KernelSet is clear
// (all-zero taps) are skipped.
//
// Audio thread; Prepare allocates, everything else is allocation-free.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/FftPlan.h"
#include "engine/KernelDesigner.h"

namespace coral {

// Two channels of kFirBlock floats.
using BlockPair = std::array<std::vector<float>, 2>;

class PartitionedConvolver {
public:
  // Input blocks kept: the 33 a convolution of the newest block reads, and the one before
  // them, which the convolution of the block before the newest reaches with its last
  // partition (recomputing a tail that was not computed at the time).
  static constexpr int kHistoryBlocks = kPartitions + 1;

  // What a partition meets that reaches one block past the 33 most recent blocks.
  enum class Reach : std::uint8_t {
    kKeptBlock,   // the block before them: the exact convolution
    kNewestBlock, // the newest block again, as in a ring of 33 blocks: how the incoming kernel
                  // set's first tail is primed when a crossfade starts
  };

  // Builds the 512-point plan and allocates the input history (2 channels x 34 blocks, in
  // time and as 512-bin spectra) and the accumulator, all zero.
  void Prepare();

  // Zeroes the history.
  void Reset() noexcept;

  const FftPlan& Plan() const noexcept { return plan_; }

  // Stores the next 256-sample block of each channel as the newest block; the oldest one
  // leaves the history. Its transform (zero-padded to 512) enters the history when a
  // convolution first needs it, so blocks that no convolution reads before they leave the
  // history are never transformed.
  void PushBlock(const BlockPair& input) noexcept;

  // Convolves the history with `set` as if the newest block were the one `age` blocks before
  // the newest (0 or 1). For each output channel: output[n] = y[n] + overlap[n] and then
  // overlap[n] = y[n + 256] (n = 0..255), with y the 512-point block result; non-finite
  // samples become 0. `reach` matters only for age 1, whose last partition lies past the 33
  // most recent blocks.
  void Convolve(const KernelSet& set, BlockPair& output, BlockPair& overlap, int age = 0,
                Reach reach = Reach::kKeptBlock) noexcept;

private:
  ComplexF* History(int channel, int slot) noexcept {
    return history_.data() + (channel * kHistoryBlocks + slot) * kConvFftSize;
  }
  // The history slot of the block `age` blocks before the newest (0 <= age < 34).
  int SlotOfAge(int age) const noexcept {
    return (newest_ - age + kHistoryBlocks) % kHistoryBlocks;
  }

  // Transforms every stored block whose spectrum is not in the history yet (at most one per
  // slot and channel).
  void TransformPending() noexcept;

  FftPlan plan_;
  std::vector<ComplexF> history_;                  // 2 channels x 34 slots x 512 bins
  std::vector<float> blocks_;                      // 2 channels x 34 slots x 256 samples
  std::array<bool, kHistoryBlocks> transformed_{}; // the slot's spectrum is in the history
  std::vector<ComplexF> accumulator_;
  int newest_ = 0; // slot of the newest block
};

} // namespace coral
