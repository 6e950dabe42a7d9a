#pragma once
// In-place radix-2 decimation-in-time FFT on single-precision complex data, with a
// full transform and an incremental variant that performs a bounded number of butterflies
// per call (used by the kernel designer on the audio thread).

#include <complex>
#include <cstdint>
#include <vector>

#include "engine/LaneKernels.h"

namespace coral {

class FftPlan {
public:
  // Allocates the bit-reversal table (n indices) and n/2 twiddles
  // W_k = cos(2 pi k / n) - j sin(2 pi k / n). `n` is a power of two >= 2.
  void Build(int n);
  int Size() const noexcept { return size_; }

  // Permutes `data` (Size() values) into bit-reversed order.
  void BitReverse(ComplexF* data) const noexcept;

  // Full transforms: bit-reverse, then butterflies with spans 2, 4, ..., N.
  // Forward does not scale; Inverse uses conjugate twiddles and divides every output by N.
  void Forward(ComplexF* data) const noexcept;
  void Inverse(ComplexF* data) const noexcept;

  // Forward transform of data that the caller has already placed in bit-reversed order
  // (value i at index BitReversedIndex(i)): the butterflies of Forward alone.
  void ForwardBitReversed(ComplexF* data) const noexcept { Butterflies(data, false); }
  int BitReversedIndex(int i) const noexcept {
    return static_cast<int>(bitReverse_[static_cast<std::size_t>(i)]);
  }
  // The bit-reversed position of every index (Size() values).
  const std::uint32_t* BitReversedOrder() const noexcept { return bitReverse_.data(); }
  // Inverse transform of data already in bit-reversed order: butterflies, then the scaling.
  void InverseBitReversed(ComplexF* data) const noexcept;

  // Position of an incremental transform between calls.
  using Cursor = FftCursor;

  // Performs up to `butterflies` butterflies of a transform whose input has already been
  // bit-reversed, in exactly the order of the full transform, continuing from `cursor`.
  // Returns true once the last butterfly is done. Never scales.
  bool Step(ComplexF* data, Cursor& cursor, int butterflies, bool inverse) const noexcept;

  // Butterflies in a transform, and in the whole piece of work that starts at `cursor` when it
  // stands at the start of one: a block through its first stages, or the remaining stages two
  // at a time (one when a single one remains). Step runs such a piece as Forward does.
  int ButterflyCount() const noexcept { return size_ / 2 * stages_; }
  int WholePiece(const Cursor& cursor) const noexcept;

  // The per-stage twiddles, for kernels that run stages themselves.
  FftStages Stages() const noexcept { return {size_, stageRe_.data(), stageIm_.data()}; }

private:
  void Butterflies(ComplexF* data, bool inverse) const noexcept;

  int size_ = 0;
  int stages_ = 0; // log2 of the size
  std::vector<std::uint32_t> bitReverse_;
  std::vector<std::uint32_t> swaps_; // the index pairs (i, r) with r = reverse(i) > i
  std::vector<ComplexF> twiddles_;
  // The twiddles of each stage laid out contiguously for the full transforms: for span s,
  // entries s/2 - 1 .. s - 2 hold W_(i N/s) for i = 0 .. s/2 - 1, real and imaginary parts
  // each duplicated so that two butterflies load them as one vector.
  std::vector<float> stageRe_;
  std::vector<float> stageIm_;
};

} // namespace coral
