#pragma once
// The instruction set the engine's vector kernels run on, chosen at run time. Every set
// performs the same operations in the same order on each lane, with no fused multiply-add, so
// all of them produce bit-identical results: the choice changes speed, never a sample.
//
// Threads: any. The choice is one atomic value read when a kernel table is fetched.

namespace coral {

enum class InstructionSet : int {
  kBaseline = 0, // SSE2 on x86-64 (every x86-64 processor has it); portable code elsewhere
  kAvx2,         // 256-bit vectors
  kAvx512,       // 512-bit vectors (F, DQ, VL and BW)
};

inline constexpr InstructionSet kInstructionSets[] = {
    InstructionSet::kBaseline, InstructionSet::kAvx2, InstructionSet::kAvx512};

// True when this processor and operating system can run `set`.
bool IsSupported(InstructionSet set) noexcept;

// The set in use: the forced one if any, else the best supported one.
InstructionSet ActiveInstructionSet() noexcept;

// Makes every later kernel call use `set`; an unsupported set is ignored. For tests and
// benchmarks that compare the paths.
void ForceInstructionSet(InstructionSet set) noexcept;

// Returns to the best supported set.
void ClearForcedInstructionSet() noexcept;

const char* InstructionSetName(InstructionSet set) noexcept;

} // namespace coral
