// The real-time checks of AllocationTrap.h backed by LLVM's RealtimeSanitizer runtime: inside
// a RealtimeScope every allocation, lock, sleep, file or socket call aborts the test binary
// with a report and a stack trace, so nothing is left to count afterwards.

#include "tests/support/AllocationTrap.h"

extern "C" void __rtsan_init();
extern "C" void __rtsan_realtime_enter();
extern "C" void __rtsan_realtime_exit();

namespace coral::test {
namespace {
const bool kInitialised = (__rtsan_init(), true);
} // namespace

std::size_t TrappedCalls() { return kInitialised ? 0 : 1; }
void ResetTrappedCalls() {}
RealtimeScope::RealtimeScope() { __rtsan_realtime_enter(); }
RealtimeScope::~RealtimeScope() { __rtsan_realtime_exit(); }

} // namespace coral::test
