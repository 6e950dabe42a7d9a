#include "engine/FftPlan.h"

#include "engine/LaneKernels.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace coral {

void FftPlan::Build(int n) {
  size_ = n;
  int bits = 0;
  while ((1 << bits) < n) ++bits;
  stages_ = bits;
  bitReverse_.assign(static_cast<std::size_t>(n), 0);
  for (int i = 0; i < n; ++i) {
    std::uint32_t r = 0;
    for (int b = 0; b < bits; ++b)
      r |= ((static_cast<std::uint32_t>(i) >> b) & 1u) << (bits - 1 - b);
    bitReverse_[static_cast<std::size_t>(i)] = r;
  }
  swaps_.clear();
  for (int i = 0; i < n; ++i) {
    const std::uint32_t r = bitReverse_[static_cast<std::size_t>(i)];
    if (r > std::uint32_t(i)) swaps_.push_back(std::uint32_t(i)), swaps_.push_back(r);
  }
  twiddles_.assign(static_cast<std::size_t>(n / 2), ComplexF{});
  for (int k = 0; k < n / 2; ++k) {
    const double phi = 2.0 * std::numbers::pi * k / n;
    twiddles_[static_cast<std::size_t>(k)] =
        ComplexF(static_cast<float>(std::cos(phi)), static_cast<float>(-std::sin(phi)));
  }
  stageRe_.assign(static_cast<std::size_t>(2 * n), 0.0f);
  stageIm_.assign(static_cast<std::size_t>(2 * n), 0.0f);
  for (int span = 2; span <= n; span *= 2) {
    const int half = span / 2;
    for (int i = 0; i < half; ++i) {
      const ComplexF w = twiddles_[static_cast<std::size_t>(i * (n / span))];
      const std::size_t at = static_cast<std::size_t>(2 * (half - 1 + i));
      stageRe_[at] = stageRe_[at + 1] = w.real();
      stageIm_[at] = stageIm_[at + 1] = w.imag();
    }
  }
}

void FftPlan::BitReverse(ComplexF* data) const noexcept {
  for (std::size_t k = 0; k + 1 < swaps_.size(); k += 2)
    std::swap(data[swaps_[k]], data[swaps_[k + 1]]);
}

void FftPlan::Butterflies(ComplexF* data, bool inverse) const noexcept {
  ActiveKernels().fftButterflies(data, Stages(), inverse);
}

void FftPlan::Forward(ComplexF* data) const noexcept {
  BitReverse(data);
  Butterflies(data, false);
}

void FftPlan::Inverse(ComplexF* data) const noexcept {
  BitReverse(data);
  InverseBitReversed(data);
}

void FftPlan::InverseBitReversed(ComplexF* data) const noexcept {
  Butterflies(data, true);
  const float n = static_cast<float>(size_);
  for (int i = 0; i < size_; ++i) data[i] /= n;
}

int FftPlan::WholePiece(const Cursor& cursor) const noexcept {
  const int block = std::min(size_, kFftBlock);
  if (cursor.block < size_) {
    int blockStages = 0;
    while ((1 << blockStages) < block) ++blockStages;
    return block / 2 * blockStages;
  }
  return cursor.span * 2 <= size_ ? size_ : size_ / 2;
}

bool FftPlan::Step(ComplexF* data, Cursor& cursor, int butterflies, bool inverse) const noexcept {
  return ActiveKernels().fftSteps(data, Stages(), cursor, butterflies, inverse);
}

} // namespace coral
