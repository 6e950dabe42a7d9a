#include "engine/InstructionSet.h"

#include <atomic>

namespace coral {

namespace {

constexpr int kNotForced = -1;
std::atomic<int> forced{kNotForced};

bool Detect(InstructionSet set) noexcept {
#if defined(__x86_64__) || defined(__i386__)
  // The compiler's run-time checks include the operating system's register-state support.
  switch (set) {
  case InstructionSet::kBaseline:
    return true;
  case InstructionSet::kAvx2:
    return __builtin_cpu_supports("avx2");
  case InstructionSet::kAvx512:
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
  }
  return false;
#else
  return set == InstructionSet::kBaseline;
#endif
}

InstructionSet Best() noexcept {
  static const InstructionSet best = [] {
    InstructionSet found = InstructionSet::kBaseline;
    for (InstructionSet set : kInstructionSets)
      if (Detect(set)) found = set;
    return found;
  }();
  return best;
}

} // namespace

bool IsSupported(InstructionSet set) noexcept {
  return int(set) <= int(Best());
}

InstructionSet ActiveInstructionSet() noexcept {
  const int f = forced.load(std::memory_order_relaxed);
  return f == kNotForced ? Best() : InstructionSet(f);
}

void ForceInstructionSet(InstructionSet set) noexcept {
  if (IsSupported(set)) forced.store(int(set), std::memory_order_relaxed);
}

void ClearForcedInstructionSet() noexcept {
  forced.store(kNotForced, std::memory_order_relaxed);
}

const char* InstructionSetName(InstructionSet set) noexcept {
  switch (set) {
  case InstructionSet::kBaseline:
    return "baseline";
  case InstructionSet::kAvx2:
    return "AVX2";
  case InstructionSet::kAvx512:
    return "AVX-512";
  }
  return "?";
}

} // namespace coral
