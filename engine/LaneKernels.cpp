// Compiles the lane kernels once per instruction set and picks the table of the active one.
// Each copy lives in its own namespace and is compiled for its set by target attributes (not
// by compiler flags for the whole file), so no function compiled for a wider set can be
// chosen by the linker for a narrower one.

#include "engine/LaneKernels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#if defined(__clang__)
#define CORAL_TARGET_BEGIN(set)                                                                    \
  _Pragma("clang attribute push")                                                                  \
      _Pragma(CORAL_STRINGIFY(clang attribute(__attribute__((target(set))), apply_to = function)))
#define CORAL_TARGET_END _Pragma("clang attribute pop")
#else
#define CORAL_TARGET_BEGIN(set)                                                                    \
  _Pragma("GCC push_options") _Pragma(CORAL_STRINGIFY(GCC target(set)))
#define CORAL_TARGET_END _Pragma("GCC pop_options")
#endif
#define CORAL_STRINGIFY(x) #x

// GCC 12's AVX-512 headers start some conversions from a deliberately undefined vector, which
// its -Wmaybe-uninitialized reports (GCC bug 105593); nothing of ours is uninitialized.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
CORAL_TARGET_BEGIN("avx512f,avx512dq,avx512vl,avx512bw")
#define CORAL_SIMD_AVX512
#define CORAL_SIMD_NS avx512
#include "engine/SimdVector-inl.h"
// (the kernels use the vectors above)
#include "engine/LaneKernels-inl.h"
#undef CORAL_SIMD_NS
#undef CORAL_SIMD_AVX512
CORAL_TARGET_END
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

CORAL_TARGET_BEGIN("avx2")
#define CORAL_SIMD_AVX2
#define CORAL_SIMD_NS avx2
#include "engine/SimdVector-inl.h"
// (the kernels use the vectors above)
#include "engine/LaneKernels-inl.h"
#undef CORAL_SIMD_NS
#undef CORAL_SIMD_AVX2
CORAL_TARGET_END

#define CORAL_SIMD_SSE2
#else
#define CORAL_SIMD_PORTABLE
#endif

#define CORAL_SIMD_NS baseline
#include "engine/SimdVector-inl.h"
// (the kernels use the vectors above)
#include "engine/LaneKernels-inl.h"
#undef CORAL_SIMD_NS

namespace coral {

const LaneKernels& ActiveKernels() noexcept {
  switch (ActiveInstructionSet()) {
#if defined(__x86_64__) || defined(__i386__)
  case InstructionSet::kAvx512:
    return simd::avx512::kKernels;
  case InstructionSet::kAvx2:
    return simd::avx2::kKernels;
#endif
  default:
    return simd::baseline::kKernels;
  }
}

} // namespace coral
