#pragma once
// MIDI messages as the framework passes them between the host, the processor and the editor.
// Offsets are sample positions inside the current processing block.

#include <algorithm>
#include <array>
#include <cstdint>

namespace reef {

// Longest system-exclusive message the framework carries, in bytes.
inline constexpr int kMaxSysExBytes = 512;

// A short MIDI message: status byte and up to two data bytes.
struct IMidiMsg {
  std::int32_t offset = 0;
  std::uint8_t status = 0;
  std::uint8_t data1 = 0;
  std::uint8_t data2 = 0;
};

// A view of a system-exclusive message; the bytes belong to the caller.
struct ISysEx {
  std::int32_t offset = 0;
  const std::uint8_t* data = nullptr;
  std::int32_t size = 0;
};

// A system-exclusive message held by value, as the fixed queues store it.
struct ISysExRecord {
  std::int32_t offset = 0;
  std::int32_t size = 0;
  std::array<std::uint8_t, kMaxSysExBytes> bytes{};

  // Copies `count` bytes (1..kMaxSysExBytes); false, leaving the record unchanged, otherwise.
  bool Assign(std::int32_t sampleOffset, const std::uint8_t* data, std::size_t count) noexcept {
    if (count < 1 || count > static_cast<std::size_t>(kMaxSysExBytes)) return false;
    offset = sampleOffset;
    size = static_cast<std::int32_t>(count);
    std::copy_n(data, count, bytes.begin());
    return true;
  }
  ISysEx View() const noexcept { return {offset, bytes.data(), size}; }
};

} // namespace reef
