#pragma once
// Real-time checks for tests. Linking AllocationTrap.cpp into a test binary replaces
// operator new/delete (and, outside AddressSanitizer builds, malloc, calloc, realloc and
// free); while a RealtimeScope is alive on a thread, every allocation or release on that
// thread is counted. Linking RealtimeSanitizerScope.cpp and LLVM's RealtimeSanitizer runtime
// instead makes every allocation, lock, sleep or file access inside a scope abort the binary
// with a report.

#include <cstddef>

namespace coral::test {

// Number of allocations and releases seen inside RealtimeScopes since the last reset.
std::size_t TrappedCalls();
void ResetTrappedCalls();

class RealtimeScope {
public:
  RealtimeScope();
  ~RealtimeScope();
  RealtimeScope(const RealtimeScope&) = delete;
  RealtimeScope& operator=(const RealtimeScope&) = delete;
};

} // namespace coral::test
