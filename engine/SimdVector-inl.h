// Vectors of doubles (VecD) and floats (VecF) for one instruction set, chosen by the macro
// that the including file defines (CORAL_SIMD_AVX512, CORAL_SIMD_AVX2, CORAL_SIMD_SSE2 or
// CORAL_SIMD_PORTABLE), in the namespace CORAL_SIMD_NS. Included once per instruction set
// inside a region compiled for that set; deliberately without an include guard.
//
// Every operation is exact IEEE arithmetic on each lane (no fused multiply-add, no
// approximations), so a computation gives the same bits whatever the lane count. Comparisons
// follow C++: <, <=, >, >= and == are false for NaN, != is true. Min and Max follow std::min
// and std::max: Max(a, b) = a < b ? b : a and Min(a, b) = b < a ? b : a.

namespace coral::simd::CORAL_SIMD_NS {

#if defined(CORAL_SIMD_AVX512) || defined(CORAL_SIMD_AVX2) || defined(CORAL_SIMD_SSE2)
// Four floats (two complex values) in one 128-bit register: the float vector of the SSE2 set,
// and on the wider sets the vector for the short butterfly runs of the early stages.
struct VecF4 {
  static constexpr int kFloats = 4;
  __m128 v;
  static VecF4 Load(const float* p) { return {_mm_loadu_ps(p)}; }
  static VecF4 Splat(float x) { return {_mm_set1_ps(x)}; }
  void Store(float* p) const { _mm_storeu_ps(p, v); }
};
inline VecF4 operator+(VecF4 a, VecF4 b) {
  return {_mm_add_ps(a.v, b.v)};
}
inline VecF4 operator-(VecF4 a, VecF4 b) {
  return {_mm_sub_ps(a.v, b.v)};
}
inline VecF4 operator*(VecF4 a, VecF4 b) {
  return {_mm_mul_ps(a.v, b.v)};
}
inline VecF4 SwapParts(VecF4 a) {
  return {_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(2, 3, 0, 1))};
}
inline VecF4 NegateReal(VecF4 a) {
  return {
      _mm_xor_ps(a.v, _mm_castsi128_ps(_mm_set_epi32(0, int(0x80000000u), 0, int(0x80000000u))))};
}
#endif

#if defined(CORAL_SIMD_AVX512)

struct MaskD {
  __mmask8 k;
  bool Any() const { return k != 0; }
  bool All() const { return k == 0xFF; }
};

inline MaskD operator&(MaskD a, MaskD b) {
  return {__mmask8(a.k & b.k)};
}
inline MaskD operator|(MaskD a, MaskD b) {
  return {__mmask8(a.k | b.k)};
}
inline MaskD operator~(MaskD a) {
  return {__mmask8(~a.k)};
}

struct VecD {
  static constexpr int kLanes = 8;
  __m512d v;

  static VecD Load(const double* p) { return {_mm512_loadu_pd(p)}; }
  void Store(double* p) const { _mm512_storeu_pd(p, v); }
  static VecD Splat(double x) { return {_mm512_set1_pd(x)}; }
  static VecD Pairs(double even, double odd) { return {_mm512_set4_pd(odd, even, odd, even)}; }
  static VecD LoadFloats(const float* p) { return {_mm512_cvtps_pd(_mm256_loadu_ps(p))}; }
  void StoreFloats(float* p) const { _mm256_storeu_ps(p, _mm512_cvtpd_ps(v)); }
  // Stores the top two lanes.
  void StoreTopPair(double* p) const { _mm_storeu_pd(p, _mm512_extractf64x2_pd(v, 3)); }
};

inline VecD operator+(VecD a, VecD b) {
  return {_mm512_add_pd(a.v, b.v)};
}
inline VecD operator-(VecD a, VecD b) {
  return {_mm512_sub_pd(a.v, b.v)};
}
inline VecD operator*(VecD a, VecD b) {
  return {_mm512_mul_pd(a.v, b.v)};
}
inline VecD operator/(VecD a, VecD b) {
  return {_mm512_div_pd(a.v, b.v)};
}
inline VecD operator-(VecD a) {
  return {_mm512_xor_pd(a.v, _mm512_set1_pd(-0.0))};
}
inline MaskD operator<(VecD a, VecD b) {
  return {_mm512_cmp_pd_mask(a.v, b.v, _CMP_LT_OQ)};
}
inline MaskD operator<=(VecD a, VecD b) {
  return {_mm512_cmp_pd_mask(a.v, b.v, _CMP_LE_OQ)};
}
inline MaskD operator>(VecD a, VecD b) {
  return {_mm512_cmp_pd_mask(a.v, b.v, _CMP_GT_OQ)};
}
inline MaskD operator>=(VecD a, VecD b) {
  return {_mm512_cmp_pd_mask(a.v, b.v, _CMP_GE_OQ)};
}
inline MaskD operator==(VecD a, VecD b) {
  return {_mm512_cmp_pd_mask(a.v, b.v, _CMP_EQ_OQ)};
}
inline MaskD operator!=(VecD a, VecD b) {
  return {_mm512_cmp_pd_mask(a.v, b.v, _CMP_NEQ_UQ)};
}

inline VecD Select(MaskD m, VecD a, VecD b) {
  return {_mm512_mask_blend_pd(m.k, b.v, a.v)};
}
inline VecD Abs(VecD a) {
  return {_mm512_andnot_pd(_mm512_set1_pd(-0.0), a.v)};
}
inline VecD Sqrt(VecD a) {
  return {_mm512_sqrt_pd(a.v)};
}
// Bitwise and/or of every lane's 64 bits with a constant, and a logical right shift.
inline VecD AndBits(VecD a, std::uint64_t mask) {
  return {_mm512_castsi512_pd(
      _mm512_and_si512(_mm512_castpd_si512(a.v), _mm512_set1_epi64(std::int64_t(mask))))};
}
inline VecD OrBits(VecD a, std::uint64_t bits) {
  return {_mm512_castsi512_pd(
      _mm512_or_si512(_mm512_castpd_si512(a.v), _mm512_set1_epi64(std::int64_t(bits))))};
}
inline VecD ShiftBitsRight(VecD a, int count) {
  return {_mm512_castsi512_pd(_mm512_srli_epi64(_mm512_castpd_si512(a.v), unsigned(count)))};
}
// Lanes 2i and 2i + 1 exchanged.
inline VecD PairSwap(VecD a) {
  return {_mm512_permute_pd(a.v, 0x55)};
}
// Rounded to single precision and back.
inline VecD RoundToFloat(VecD a) {
  return {_mm512_cvtps_pd(_mm512_cvtpd_ps(a.v))};
}
// The lanes of x[0..count) moved up by two across the vectors; lanes 0 and 1 of x[0] become
// pair[0] and pair[1] and the top two lanes of the last vector drop out.
template <int kCount>
inline void ShiftPairIn(VecD (&x)[kCount], const double* pair) {
  for (int i = kCount - 1; i > 0; --i)
    x[i].v = _mm512_castsi512_pd(
        _mm512_alignr_epi64(_mm512_castpd_si512(x[i].v), _mm512_castpd_si512(x[i - 1].v), 6));
  const __m512i order = _mm512_set_epi64(5, 4, 3, 2, 1, 0, 9, 8);
  x[0].v = _mm512_permutex2var_pd(x[0].v, order, _mm512_castpd128_pd512(_mm_loadu_pd(pair)));
}

// Sixteen floats: eight complex values (real, imaginary).
struct VecF {
  static constexpr int kFloats = 16;
  __m512 v;
  static VecF Load(const float* p) { return {_mm512_loadu_ps(p)}; }
  static VecF Splat(float x) { return {_mm512_set1_ps(x)}; }
  void Store(float* p) const { _mm512_storeu_ps(p, v); }
};
inline VecF operator+(VecF a, VecF b) {
  return {_mm512_add_ps(a.v, b.v)};
}
inline VecF operator-(VecF a, VecF b) {
  return {_mm512_sub_ps(a.v, b.v)};
}
inline VecF operator*(VecF a, VecF b) {
  return {_mm512_mul_ps(a.v, b.v)};
}
// Real and imaginary parts of every complex value exchanged.
inline VecF SwapParts(VecF a) {
  return {_mm512_permute_ps(a.v, 0xB1)};
}
// The real parts negated (an exact sign flip).
inline VecF NegateReal(VecF a) {
  return {_mm512_castsi512_ps(
      _mm512_xor_si512(_mm512_castps_si512(a.v), _mm512_set1_epi64(0x80000000ll)))};
}

#elif defined(CORAL_SIMD_AVX2)

struct MaskD {
  __m256d m;
  bool Any() const { return _mm256_movemask_pd(m) != 0; }
  bool All() const { return _mm256_movemask_pd(m) == 0xF; }
};

inline MaskD operator&(MaskD a, MaskD b) {
  return {_mm256_and_pd(a.m, b.m)};
}
inline MaskD operator|(MaskD a, MaskD b) {
  return {_mm256_or_pd(a.m, b.m)};
}
inline MaskD operator~(MaskD a) {
  return {_mm256_xor_pd(a.m, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)))};
}

struct VecD {
  static constexpr int kLanes = 4;
  __m256d v;

  static VecD Load(const double* p) { return {_mm256_loadu_pd(p)}; }
  void Store(double* p) const { _mm256_storeu_pd(p, v); }
  static VecD Splat(double x) { return {_mm256_set1_pd(x)}; }
  static VecD Pairs(double even, double odd) { return {_mm256_set_pd(odd, even, odd, even)}; }
  static VecD LoadFloats(const float* p) { return {_mm256_cvtps_pd(_mm_loadu_ps(p))}; }
  void StoreFloats(float* p) const { _mm_storeu_ps(p, _mm256_cvtpd_ps(v)); }
  void StoreTopPair(double* p) const { _mm_storeu_pd(p, _mm256_extractf128_pd(v, 1)); }
};

inline VecD operator+(VecD a, VecD b) {
  return {_mm256_add_pd(a.v, b.v)};
}
inline VecD operator-(VecD a, VecD b) {
  return {_mm256_sub_pd(a.v, b.v)};
}
inline VecD operator*(VecD a, VecD b) {
  return {_mm256_mul_pd(a.v, b.v)};
}
inline VecD operator/(VecD a, VecD b) {
  return {_mm256_div_pd(a.v, b.v)};
}
inline VecD operator-(VecD a) {
  return {_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0))};
}
inline MaskD operator<(VecD a, VecD b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ)};
}
inline MaskD operator<=(VecD a, VecD b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_LE_OQ)};
}
inline MaskD operator>(VecD a, VecD b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_GT_OQ)};
}
inline MaskD operator>=(VecD a, VecD b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_GE_OQ)};
}
inline MaskD operator==(VecD a, VecD b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_EQ_OQ)};
}
inline MaskD operator!=(VecD a, VecD b) {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_NEQ_UQ)};
}

inline VecD Select(MaskD m, VecD a, VecD b) {
  return {_mm256_blendv_pd(b.v, a.v, m.m)};
}
inline VecD Abs(VecD a) {
  return {_mm256_andnot_pd(_mm256_set1_pd(-0.0), a.v)};
}
inline VecD Sqrt(VecD a) {
  return {_mm256_sqrt_pd(a.v)};
}
inline VecD AndBits(VecD a, std::uint64_t mask) {
  return {_mm256_castsi256_pd(
      _mm256_and_si256(_mm256_castpd_si256(a.v), _mm256_set1_epi64x(std::int64_t(mask))))};
}
inline VecD OrBits(VecD a, std::uint64_t bits) {
  return {_mm256_castsi256_pd(
      _mm256_or_si256(_mm256_castpd_si256(a.v), _mm256_set1_epi64x(std::int64_t(bits))))};
}
inline VecD ShiftBitsRight(VecD a, int count) {
  return {_mm256_castsi256_pd(_mm256_srli_epi64(_mm256_castpd_si256(a.v), count))};
}
inline VecD PairSwap(VecD a) {
  return {_mm256_permute_pd(a.v, 0x5)};
}
inline VecD RoundToFloat(VecD a) {
  return {_mm256_cvtps_pd(_mm256_cvtpd_ps(a.v))};
}
template <int kCount>
inline void ShiftPairIn(VecD (&x)[kCount], const double* pair) {
  for (int i = kCount - 1; i > 0; --i) x[i].v = _mm256_permute2f128_pd(x[i].v, x[i - 1].v, 0x03);
  x[0].v = _mm256_permute2f128_pd(x[0].v, _mm256_castpd128_pd256(_mm_loadu_pd(pair)), 0x02);
}

// Eight floats: four complex values (real, imaginary).
struct VecF {
  static constexpr int kFloats = 8;
  __m256 v;
  static VecF Load(const float* p) { return {_mm256_loadu_ps(p)}; }
  static VecF Splat(float x) { return {_mm256_set1_ps(x)}; }
  void Store(float* p) const { _mm256_storeu_ps(p, v); }
};
inline VecF operator+(VecF a, VecF b) {
  return {_mm256_add_ps(a.v, b.v)};
}
inline VecF operator-(VecF a, VecF b) {
  return {_mm256_sub_ps(a.v, b.v)};
}
inline VecF operator*(VecF a, VecF b) {
  return {_mm256_mul_ps(a.v, b.v)};
}
inline VecF SwapParts(VecF a) {
  return {_mm256_permute_ps(a.v, 0xB1)};
}
inline VecF NegateReal(VecF a) {
  return {_mm256_xor_ps(a.v, _mm256_castsi256_ps(_mm256_set1_epi64x(0x80000000ll)))};
}

#elif defined(CORAL_SIMD_SSE2)

struct MaskD {
  __m128d m;
  bool Any() const { return _mm_movemask_pd(m) != 0; }
  bool All() const { return _mm_movemask_pd(m) == 0x3; }
};

inline MaskD operator&(MaskD a, MaskD b) {
  return {_mm_and_pd(a.m, b.m)};
}
inline MaskD operator|(MaskD a, MaskD b) {
  return {_mm_or_pd(a.m, b.m)};
}
inline MaskD operator~(MaskD a) {
  return {_mm_xor_pd(a.m, _mm_castsi128_pd(_mm_set1_epi32(-1)))};
}

struct VecD {
  static constexpr int kLanes = 2;
  __m128d v;

  static VecD Load(const double* p) { return {_mm_loadu_pd(p)}; }
  void Store(double* p) const { _mm_storeu_pd(p, v); }
  static VecD Splat(double x) { return {_mm_set1_pd(x)}; }
  static VecD Pairs(double even, double odd) { return {_mm_set_pd(odd, even)}; }
  static VecD LoadFloats(const float* p) {
    return {_mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))))};
  }
  void StoreFloats(float* p) const {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(v)));
  }
  void StoreTopPair(double* p) const { _mm_storeu_pd(p, v); }
};

inline VecD operator+(VecD a, VecD b) {
  return {_mm_add_pd(a.v, b.v)};
}
inline VecD operator-(VecD a, VecD b) {
  return {_mm_sub_pd(a.v, b.v)};
}
inline VecD operator*(VecD a, VecD b) {
  return {_mm_mul_pd(a.v, b.v)};
}
inline VecD operator/(VecD a, VecD b) {
  return {_mm_div_pd(a.v, b.v)};
}
inline VecD operator-(VecD a) {
  return {_mm_xor_pd(a.v, _mm_set1_pd(-0.0))};
}
inline MaskD operator<(VecD a, VecD b) {
  return {_mm_cmplt_pd(a.v, b.v)};
}
inline MaskD operator<=(VecD a, VecD b) {
  return {_mm_cmple_pd(a.v, b.v)};
}
inline MaskD operator>(VecD a, VecD b) {
  return {_mm_cmpgt_pd(a.v, b.v)};
}
inline MaskD operator>=(VecD a, VecD b) {
  return {_mm_cmpge_pd(a.v, b.v)};
}
inline MaskD operator==(VecD a, VecD b) {
  return {_mm_cmpeq_pd(a.v, b.v)};
}
inline MaskD operator!=(VecD a, VecD b) {
  return {_mm_cmpneq_pd(a.v, b.v)};
}

inline VecD Select(MaskD m, VecD a, VecD b) {
  return {_mm_or_pd(_mm_and_pd(m.m, a.v), _mm_andnot_pd(m.m, b.v))};
}
inline VecD Abs(VecD a) {
  return {_mm_andnot_pd(_mm_set1_pd(-0.0), a.v)};
}
inline VecD Sqrt(VecD a) {
  return {_mm_sqrt_pd(a.v)};
}
inline VecD AndBits(VecD a, std::uint64_t mask) {
  return {
      _mm_castsi128_pd(_mm_and_si128(_mm_castpd_si128(a.v), _mm_set1_epi64x(std::int64_t(mask))))};
}
inline VecD OrBits(VecD a, std::uint64_t bits) {
  return {
      _mm_castsi128_pd(_mm_or_si128(_mm_castpd_si128(a.v), _mm_set1_epi64x(std::int64_t(bits))))};
}
inline VecD ShiftBitsRight(VecD a, int count) {
  return {_mm_castsi128_pd(_mm_srli_epi64(_mm_castpd_si128(a.v), count))};
}
inline VecD PairSwap(VecD a) {
  return {_mm_shuffle_pd(a.v, a.v, 1)};
}
inline VecD RoundToFloat(VecD a) {
  return {_mm_cvtps_pd(_mm_cvtpd_ps(a.v))};
}
template <int kCount>
inline void ShiftPairIn(VecD (&x)[kCount], const double* pair) {
  for (int i = kCount - 1; i > 0; --i) x[i] = x[i - 1];
  x[0] = VecD::Load(pair);
}

// Four floats: two complex values (real, imaginary).
using VecF = VecF4;

#else // CORAL_SIMD_PORTABLE: plain C++ on two lanes

struct MaskD {
  bool b[2];
  bool Any() const { return b[0] || b[1]; }
  bool All() const { return b[0] && b[1]; }
};

inline MaskD operator&(MaskD a, MaskD c) {
  return {{a.b[0] && c.b[0], a.b[1] && c.b[1]}};
}
inline MaskD operator|(MaskD a, MaskD c) {
  return {{a.b[0] || c.b[0], a.b[1] || c.b[1]}};
}
inline MaskD operator~(MaskD a) {
  return {{!a.b[0], !a.b[1]}};
}

struct VecD {
  static constexpr int kLanes = 2;
  double v[2];

  static VecD Load(const double* p) { return {{p[0], p[1]}}; }
  void Store(double* p) const { p[0] = v[0], p[1] = v[1]; }
  static VecD Splat(double x) { return {{x, x}}; }
  static VecD Pairs(double even, double odd) { return {{even, odd}}; }
  static VecD LoadFloats(const float* p) { return {{double(p[0]), double(p[1])}}; }
  void StoreFloats(float* p) const { p[0] = float(v[0]), p[1] = float(v[1]); }
  void StoreTopPair(double* p) const { p[0] = v[0], p[1] = v[1]; }
};

inline VecD operator+(VecD a, VecD b) {
  return {{a.v[0] + b.v[0], a.v[1] + b.v[1]}};
}
inline VecD operator-(VecD a, VecD b) {
  return {{a.v[0] - b.v[0], a.v[1] - b.v[1]}};
}
inline VecD operator*(VecD a, VecD b) {
  return {{a.v[0] * b.v[0], a.v[1] * b.v[1]}};
}
inline VecD operator/(VecD a, VecD b) {
  return {{a.v[0] / b.v[0], a.v[1] / b.v[1]}};
}
inline VecD operator-(VecD a) {
  return {{-a.v[0], -a.v[1]}};
}
inline MaskD operator<(VecD a, VecD b) {
  return {{a.v[0] < b.v[0], a.v[1] < b.v[1]}};
}
inline MaskD operator<=(VecD a, VecD b) {
  return {{a.v[0] <= b.v[0], a.v[1] <= b.v[1]}};
}
inline MaskD operator>(VecD a, VecD b) {
  return {{a.v[0] > b.v[0], a.v[1] > b.v[1]}};
}
inline MaskD operator>=(VecD a, VecD b) {
  return {{a.v[0] >= b.v[0], a.v[1] >= b.v[1]}};
}
inline MaskD operator==(VecD a, VecD b) {
  return {{a.v[0] == b.v[0], a.v[1] == b.v[1]}};
}
inline MaskD operator!=(VecD a, VecD b) {
  return {{a.v[0] != b.v[0], a.v[1] != b.v[1]}};
}

inline VecD Select(MaskD m, VecD a, VecD b) {
  return {{m.b[0] ? a.v[0] : b.v[0], m.b[1] ? a.v[1] : b.v[1]}};
}
inline VecD Abs(VecD a) {
  return {{__builtin_fabs(a.v[0]), __builtin_fabs(a.v[1])}};
}
inline VecD Sqrt(VecD a) {
  return {{__builtin_sqrt(a.v[0]), __builtin_sqrt(a.v[1])}};
}
inline VecD AndBits(VecD a, std::uint64_t mask) {
  return {{std::bit_cast<double>(std::bit_cast<std::uint64_t>(a.v[0]) & mask),
           std::bit_cast<double>(std::bit_cast<std::uint64_t>(a.v[1]) & mask)}};
}
inline VecD OrBits(VecD a, std::uint64_t bits) {
  return {{std::bit_cast<double>(std::bit_cast<std::uint64_t>(a.v[0]) | bits),
           std::bit_cast<double>(std::bit_cast<std::uint64_t>(a.v[1]) | bits)}};
}
inline VecD ShiftBitsRight(VecD a, int count) {
  return {{std::bit_cast<double>(std::bit_cast<std::uint64_t>(a.v[0]) >> count),
           std::bit_cast<double>(std::bit_cast<std::uint64_t>(a.v[1]) >> count)}};
}
inline VecD PairSwap(VecD a) {
  return {{a.v[1], a.v[0]}};
}
inline VecD RoundToFloat(VecD a) {
  return {{double(float(a.v[0])), double(float(a.v[1]))}};
}
template <int kCount>
inline void ShiftPairIn(VecD (&x)[kCount], const double* pair) {
  for (int i = kCount - 1; i > 0; --i) x[i] = x[i - 1];
  x[0] = VecD::Load(pair);
}

// Four floats: two complex values (real, imaginary).
struct VecF {
  static constexpr int kFloats = 4;
  float v[4];
  static VecF Load(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
  static VecF Splat(float x) { return {{x, x, x, x}}; }
  void Store(float* p) const { p[0] = v[0], p[1] = v[1], p[2] = v[2], p[3] = v[3]; }
};
inline VecF operator+(VecF a, VecF b) {
  return {{a.v[0] + b.v[0], a.v[1] + b.v[1], a.v[2] + b.v[2], a.v[3] + b.v[3]}};
}
inline VecF operator-(VecF a, VecF b) {
  return {{a.v[0] - b.v[0], a.v[1] - b.v[1], a.v[2] - b.v[2], a.v[3] - b.v[3]}};
}
inline VecF operator*(VecF a, VecF b) {
  return {{a.v[0] * b.v[0], a.v[1] * b.v[1], a.v[2] * b.v[2], a.v[3] * b.v[3]}};
}
inline VecF SwapParts(VecF a) {
  return {{a.v[1], a.v[0], a.v[3], a.v[2]}};
}
inline VecF NegateReal(VecF a) {
  return {{-a.v[0], a.v[1], -a.v[2], a.v[3]}};
}
using VecF4 = VecF;

#endif

inline VecD Max(VecD a, VecD b) {
  return Select(a < b, b, a);
}
inline VecD Min(VecD a, VecD b) {
  return Select(b < a, b, a);
}

} // namespace coral::simd::CORAL_SIMD_NS
