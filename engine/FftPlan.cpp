#include "engine/FftPlan.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace coral {

namespace {

// One radix-2 butterfly on data[top] and data[top + half] with twiddle (wr, wi) (already
// conjugated for the inverse): b' = b w, then a + b' and a - b'. Every transform, full or
// incremental, scalar or vector, performs exactly these float operations, so all of them
// give bit-identical results.
inline void Butterfly(ComplexF* data, int top, int half, float wr, float wi) noexcept {
  const ComplexF a = data[top];
  const ComplexF b = data[top + half];
  const float br = b.real() * wr - b.imag() * wi;
  const float bi = b.real() * wi + b.imag() * wr;
  data[top] = ComplexF(a.real() + br, a.imag() + bi);
  data[top + half] = ComplexF(a.real() - br, a.imag() - bi);
}

#if defined(__SSE2__)
// Two neighbouring butterflies (top, top + 1) with duplicated twiddle parts
// re = {wr0, wr0, wr1, wr1} and im = {wi0, wi0, wi1, wi1}. The real part is
// br wr + (-(bi wi)) and the imaginary part bi wr + br wi: the same products and sums as
// the scalar butterfly (negation is exact, addition commutes).
inline void Butterfly2(ComplexF* data, int top, int half, __m128 re, __m128 im) noexcept {
  float* pa = reinterpret_cast<float*>(data + top);
  float* pb = reinterpret_cast<float*>(data + top + half);
  const __m128 a = _mm_loadu_ps(pa);
  const __m128 b = _mm_loadu_ps(pb);
  const __m128 swapped = _mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 3, 0, 1)); // bi br bi br
  const __m128 sign = _mm_castsi128_ps(_mm_set_epi32(0, int(0x80000000u), 0, int(0x80000000u)));
  const __m128 bw = _mm_add_ps(_mm_mul_ps(b, re), _mm_xor_ps(_mm_mul_ps(swapped, im), sign));
  _mm_storeu_ps(pa, _mm_add_ps(a, bw));
  _mm_storeu_ps(pb, _mm_sub_ps(a, bw));
}
#endif

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
  for (int i = 0; i < size_; ++i) {
    const int r = static_cast<int>(bitReverse_[static_cast<std::size_t>(i)]);
    if (r > i) std::swap(data[i], data[r]);
  }
}

void FftPlan::Butterflies(ComplexF* data, bool inverse) const noexcept {
  const float imSign = inverse ? -1.0f : 1.0f;
  for (int span = 2; span <= size_; span *= 2) {
    const int half = span / 2;
    const float* re = stageRe_.data() + 2 * (half - 1);
    const float* im = stageIm_.data() + 2 * (half - 1);
    int first = 0;
#if defined(__SSE2__)
    if (half == 1 && size_ >= 4) {
      // Span 2: the butterflies of two neighbouring groups share the twiddle W_0.
      const __m128 wr = _mm_set1_ps(re[0]);
      const __m128 wi = _mm_set1_ps(im[0] * imSign);
      const __m128 sign = _mm_castsi128_ps(_mm_set_epi32(0, int(0x80000000u), 0, int(0x80000000u)));
      for (int group = 0; group < size_; group += 4) {
        float* p = reinterpret_cast<float*>(data + group);
        const __m128 v0 = _mm_loadu_ps(p);                                // x0 x1
        const __m128 v1 = _mm_loadu_ps(p + 4);                            // x2 x3
        const __m128 a = _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(1, 0, 1, 0)); // x0 x2
        const __m128 b = _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(3, 2, 3, 2)); // x1 x3
        const __m128 swapped = _mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 3, 0, 1));
        const __m128 bw = _mm_add_ps(_mm_mul_ps(b, wr), _mm_xor_ps(_mm_mul_ps(swapped, wi), sign));
        const __m128 top = _mm_add_ps(a, bw);
        const __m128 bottom = _mm_sub_ps(a, bw);
        _mm_storeu_ps(p, _mm_shuffle_ps(top, bottom, _MM_SHUFFLE(1, 0, 1, 0)));
        _mm_storeu_ps(p + 4, _mm_shuffle_ps(top, bottom, _MM_SHUFFLE(3, 2, 3, 2)));
      }
      first = half;
    }
    if (half >= 2) {
      const __m128 flip = _mm_set1_ps(imSign);
      for (int group = 0; group < size_; group += span) {
        for (int i = 0; i < half; i += 2) {
          const __m128 wr = _mm_loadu_ps(re + 2 * i);
          const __m128 wi = _mm_mul_ps(_mm_loadu_ps(im + 2 * i), flip);
          Butterfly2(data, group + i, half, wr, wi);
        }
      }
      first = half;
    }
#endif
    for (int group = 0; group < size_; group += span) {
      for (int i = first; i < half; ++i)
        Butterfly(data, group + i, half, re[2 * i], im[2 * i] * imSign);
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
  const float imSign = inverse ? -1.0f : 1.0f;
  while (cursor.span <= size_) {
    const int half = cursor.span / 2;
    const float* re = stageRe_.data() + 2 * (half - 1);
    const float* im = stageIm_.data() + 2 * (half - 1);
    while (cursor.groupStart < size_) {
      const int end = std::min(half, cursor.index + butterflies);
      int i = cursor.index;
#if defined(__SSE2__)
      const __m128 flip = _mm_set1_ps(imSign);
      for (; i + 1 < end; i += 2) {
        Butterfly2(data, cursor.groupStart + i, half, _mm_loadu_ps(re + 2 * i),
                   _mm_mul_ps(_mm_loadu_ps(im + 2 * i), flip));
      }
#endif
      for (; i < end; ++i)
        Butterfly(data, cursor.groupStart + i, half, re[2 * i], im[2 * i] * imSign);
      butterflies -= end - cursor.index;
      cursor.index = end;
      if (cursor.index < half) return false;
      cursor.index = 0;
      cursor.groupStart += cursor.span;
    }
    cursor.groupStart = 0;
    cursor.span *= 2;
  }
  return true;
}

} // namespace coral
