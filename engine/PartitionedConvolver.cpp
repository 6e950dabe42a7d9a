#include "engine/PartitionedConvolver.h"

#include <algorithm>
#include <cmath>

namespace coral {

void PartitionedConvolver::Prepare() {
  plan_.Build(kConvFftSize);
  history_.assign(static_cast<std::size_t>(2 * kHistoryBlocks * kConvFftSize), ComplexF{});
  blocks_.assign(static_cast<std::size_t>(2 * kHistoryBlocks * kFirBlock), 0.0f);
  accumulator_.assign(kConvFftSize, ComplexF{});
  Reset();
}

void PartitionedConvolver::Reset() noexcept {
  std::fill(history_.begin(), history_.end(), ComplexF{});
  transformed_.fill(true); // zero blocks, zero spectra
  newest_ = 0;
}

void PartitionedConvolver::PushBlock(const BlockPair& input) noexcept {
  newest_ = (newest_ + 1) % kHistoryBlocks;
  for (int channel = 0; channel < 2; ++channel) {
    const float* x = input[channel].data();
    std::copy(x, x + kFirBlock, blocks_.data() + (channel * kHistoryBlocks + newest_) * kFirBlock);
  }
  transformed_[std::size_t(newest_)] = false;
}

void PartitionedConvolver::TransformPending() noexcept {
  for (int slot = 0; slot < kHistoryBlocks; ++slot) {
    if (transformed_[std::size_t(slot)]) continue;
    for (int channel = 0; channel < 2; ++channel) {
      ComplexF* bins = History(channel, slot);
      const float* x = blocks_.data() + (channel * kHistoryBlocks + slot) * kFirBlock;
      for (int n = 0; n < kFirBlock; ++n) bins[n] = ComplexF(x[n], 0.0f);
      std::fill(bins + kFirBlock, bins + kConvFftSize, ComplexF{});
      plan_.Forward(bins);
    }
    transformed_[std::size_t(slot)] = true;
  }
}

void PartitionedConvolver::Convolve(const KernelSet& set, BlockPair& output, BlockPair& overlap,
                                    int age, Reach reach) noexcept {
  TransformPending();
  // A ring of 33 blocks meets the newest block again one block past its oldest.
  const int wrap = reach == Reach::kNewestBlock ? kPartitions : kHistoryBlocks;
  ComplexF* acc = accumulator_.data();
  for (int o = 0; o < 2; ++o) {
    std::fill(accumulator_.begin(), accumulator_.end(), ComplexF{});
    for (int p = 0; p < kPartitions; ++p) {
      const int slot = SlotOfAge((age + p) % wrap);
      for (int i = 0; i < 2; ++i) {
        const int entry = 2 * o + i;
        if (!set.NonZero(entry, p)) continue;
        const ComplexF* x = History(i, slot);
        const ComplexF* h = set.Spectrum(entry, p);
        for (int n = 0; n < kConvFftSize; ++n) {
          const float xr = x[n].real(), xi = x[n].imag();
          const float hr = h[n].real(), hi = h[n].imag();
          acc[n] =
              ComplexF(acc[n].real() + (xr * hr - xi * hi), acc[n].imag() + (xr * hi + xi * hr));
        }
      }
    }
    plan_.Inverse(acc);
    float* out = output[o].data();
    float* tail = overlap[o].data();
    for (int n = 0; n < kFirBlock; ++n) {
      const float y = acc[n].real() + tail[n];
      const float next = acc[n + kFirBlock].real();
      out[n] = std::isfinite(y) ? y : 0.0f;
      tail[n] = std::isfinite(next) ? next : 0.0f;
    }
  }
}

} // namespace coral
