#include "engine/FftPlan.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace coral {

namespace {

// One radix-2 butterfly on data[top] and data[top + half] with twiddle w (conjugated for the
// inverse). Written out in real arithmetic so that the full and the incremental transform
// produce bit-identical results.
inline void Butterfly(ComplexF* data, int top, int half, ComplexF w, bool inverse) noexcept {
  const float wr = w.real();
  const float wi = inverse ? -w.imag() : w.imag();
  const ComplexF a = data[top];
  const ComplexF b = data[top + half];
  const float br = b.real() * wr - b.imag() * wi;
  const float bi = b.real() * wi + b.imag() * wr;
  data[top] = ComplexF(a.real() + br, a.imag() + bi);
  data[top + half] = ComplexF(a.real() - br, a.imag() - bi);
}

} // namespace

void FftPlan::Build(int n) {
  size_ = n;
  int bits = 0;
  while ((1 << bits) < n) ++bits;
  bitReverse_.assign(static_cast<std::size_t>(n), 0);
  for (int i = 0; i < n; ++i) {
    std::uint32_t r = 0;
    for (int b = 0; b < bits; ++b)
      r |= ((static_cast<std::uint32_t>(i) >> b) & 1u) << (bits - 1 - b);
    bitReverse_[static_cast<std::size_t>(i)] = r;
  }
  twiddles_.assign(static_cast<std::size_t>(n / 2), ComplexF{});
  for (int k = 0; k < n / 2; ++k) {
    const double phi = 2.0 * std::numbers::pi * k / n;
    twiddles_[static_cast<std::size_t>(k)] =
        ComplexF(static_cast<float>(std::cos(phi)), static_cast<float>(-std::sin(phi)));
  }
}

void FftPlan::BitReverse(ComplexF* data) const noexcept {
  for (int i = 0; i < size_; ++i) {
    const int r = static_cast<int>(bitReverse_[static_cast<std::size_t>(i)]);
    if (r > i) std::swap(data[i], data[r]);
  }
}

void FftPlan::Butterflies(ComplexF* data, bool inverse) const noexcept {
  for (int span = 2; span <= size_; span *= 2) {
    const int half = span / 2;
    const int stride = size_ / span;
    for (int group = 0; group < size_; group += span) {
      for (int i = 0; i < half; ++i)
        Butterfly(data, group + i, half, twiddles_[i * stride], inverse);
    }
  }
}

void FftPlan::Forward(ComplexF* data) const noexcept {
  BitReverse(data);
  Butterflies(data, false);
}

void FftPlan::Inverse(ComplexF* data) const noexcept {
  BitReverse(data);
  Butterflies(data, true);
  const float n = static_cast<float>(size_);
  for (int i = 0; i < size_; ++i) data[i] /= n;
}

bool FftPlan::Step(ComplexF* data, Cursor& cursor, int butterflies, bool inverse) const noexcept {
  while (cursor.span <= size_) {
    const int half = cursor.span / 2;
    const int stride = size_ / cursor.span;
    while (cursor.groupStart < size_) {
      while (cursor.index < half) {
        if (butterflies <= 0) return false;
        Butterfly(data, cursor.groupStart + cursor.index, half, twiddles_[cursor.index * stride],
                  inverse);
        ++cursor.index;
        --butterflies;
      }
      cursor.index = 0;
      cursor.groupStart += cursor.span;
    }
    cursor.groupStart = 0;
    cursor.span *= 2;
  }
  return true;
}

} // namespace coral
