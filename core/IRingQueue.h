#pragma once
// A lock-free ring buffer for exactly one writer thread and one reader thread. It has `kSlots`
// slots and holds at most kSlots - 1 items; a push into a full queue is refused. Items are
// copied in and out; nothing is allocated after construction.

#include <array>
#include <atomic>

namespace reef {

template <typename T, int kSlots>
class IRingQueue {
  static_assert(kSlots >= 2, "a queue needs at least one usable slot");

public:
  static constexpr int kCapacity = kSlots - 1;

  // Writer thread. False when the queue is full (the item is dropped).
  bool Push(const T& item) noexcept {
    const int write = write_.load(std::memory_order_relaxed);
    const int next = Next(write);
    if (next == read_.load(std::memory_order_acquire)) return false;
    slots_[write] = item;
    write_.store(next, std::memory_order_release);
    return true;
  }

  // Reader thread. False when the queue is empty.
  bool Pop(T& item) noexcept {
    const int read = read_.load(std::memory_order_relaxed);
    if (read == write_.load(std::memory_order_acquire)) return false;
    item = slots_[read];
    read_.store(Next(read), std::memory_order_release);
    return true;
  }

  // Number of queued items; exact on either thread while the other one is idle.
  int Size() const noexcept {
    const int diff = write_.load(std::memory_order_acquire) - read_.load(std::memory_order_acquire);
    return diff < 0 ? diff + kSlots : diff;
  }

private:
  static constexpr int Next(int index) noexcept { return index + 1 == kSlots ? 0 : index + 1; }

  std::array<T, kSlots> slots_{};
  std::atomic<int> write_{0};
  std::atomic<int> read_{0};
};

} // namespace reef
