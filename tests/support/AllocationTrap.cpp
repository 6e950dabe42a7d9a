#include "tests/support/AllocationTrap.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace coral::test {
namespace {
thread_local bool tArmed = false;
std::atomic<std::size_t> gTrapped{0};

inline void Check() {
  if (tArmed) gTrapped.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

std::size_t TrappedCalls() {
  return gTrapped.load();
}
void ResetTrappedCalls() {
  gTrapped.store(0);
}
RealtimeScope::RealtimeScope() {
  tArmed = true;
}
RealtimeScope::~RealtimeScope() {
  tArmed = false;
}

} // namespace coral::test

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CORAL_TRAP_MALLOC 0
#else
#define CORAL_TRAP_MALLOC 1
#endif

#if CORAL_TRAP_MALLOC
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
  coral::test::Check();
  return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
  coral::test::Check();
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
  coral::test::Check();
  return __libc_realloc(p, n);
}
void free(void* p) {
  if (p) coral::test::Check();
  __libc_free(p);
}
}
#endif

void* operator new(std::size_t n) {
  coral::test::Check();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  return operator new(n);
}
void* operator new(std::size_t n, std::align_val_t a) {
  coral::test::Check();
  if (void* p = std::aligned_alloc(std::size_t(a),
                                   (n + std::size_t(a) - 1) / std::size_t(a) * std::size_t(a)))
    return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) {
  return operator new(n, a);
}
void operator delete(void* p) noexcept {
  if (p) coral::test::Check();
  std::free(p);
}
void operator delete[](void* p) noexcept {
  operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept {
  operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  operator delete(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  operator delete(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  operator delete(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  operator delete(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  operator delete(p);
}
