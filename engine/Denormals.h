#pragma once
// Flush-to-zero and denormals-are-zero on the calling thread for the lifetime of the object,
// restoring the previous mode afterwards. Decaying filter states, envelopes, overlap tails
// and FFT data would otherwise drift into subnormal numbers, which are inaudible but can
// cost many times the normal arithmetic. Allocation-free; for the audio thread.

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace coral {

class ScopedFlushDenormals {
public:
  ScopedFlushDenormals() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    saved_ = _mm_getcsr();
    _mm_setcsr(saved_ | 0x8040u); // FTZ (bit 15) and DAZ (bit 6)
#elif defined(__aarch64__)
    std::uint64_t fpcr;
    asm volatile("mrs %0, fpcr" : "=r"(fpcr));
    saved_ = fpcr;
    asm volatile("msr fpcr, %0" : : "r"(fpcr | (std::uint64_t(1) << 24))); // FZ
#endif
  }
  ~ScopedFlushDenormals() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_setcsr(static_cast<unsigned>(saved_));
#elif defined(__aarch64__)
    asm volatile("msr fpcr, %0" : : "r"(saved_));
#endif
  }
  ScopedFlushDenormals(const ScopedFlushDenormals&) = delete;
  ScopedFlushDenormals& operator=(const ScopedFlushDenormals&) = delete;

private:
  std::uint64_t saved_ = 0;
};

} // namespace coral
