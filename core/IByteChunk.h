#pragma once
// A growable byte buffer for plug-in state and preset contents. Numbers are written and read
// in little-endian byte order whatever the machine's order, so a chunk is portable.
//
// Threads: a chunk has one owner; it is not safe for concurrent use. Appending allocates, so
// chunks belong to the user-interface thread.

#include <bit>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace reef {

class IByteChunk {
public:
  // Appends `size` bytes; answers the new size.
  int PutBytes(const void* data, int size);

  // Copies `size` bytes from `startPos` into `data`; answers the position after them, or -1
  // (nothing copied) when they do not lie inside the chunk.
  int GetBytes(void* data, int size, int startPos) const;

  // Appends an arithmetic value in little-endian order; answers the new size.
  template <typename T>
  int Put(const T* value) {
    static_assert(kStorable<T>);
    std::uint8_t bytes[sizeof(T)];
    ToLittleEndian(*value, bytes);
    return PutBytes(bytes, sizeof(T));
  }

  // Reads a little-endian arithmetic value at `startPos`; answers the position after it, or
  // -1 (value untouched) when it does not lie inside the chunk.
  template <typename T>
  int Get(T* value, int startPos) const {
    static_assert(kStorable<T>);
    std::uint8_t bytes[sizeof(T)];
    const int next = GetBytes(bytes, sizeof(T), startPos);
    if (next >= 0) *value = FromLittleEndian<T>(bytes);
    return next;
  }

  int Size() const { return static_cast<int>(bytes_.size()); }
  const std::uint8_t* GetData() const { return bytes_.data(); }
  std::uint8_t* GetData() { return bytes_.data(); }
  void Clear() { bytes_.clear(); }

private:
  template <typename T>
  static constexpr bool kStorable =
      std::is_arithmetic_v<T> && !std::is_same_v<T, bool> && sizeof(T) <= 8;

  template <typename T>
  using UnsignedOfSize = std::conditional_t<
      sizeof(T) == 1, std::uint8_t,
      std::conditional_t<sizeof(T) == 2, std::uint16_t,
                         std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;

  template <typename T>
  static void ToLittleEndian(T value, std::uint8_t* bytes) {
    using U = UnsignedOfSize<T>;
    const U bits = std::bit_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i)
      bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  }

  template <typename T>
  static T FromLittleEndian(const std::uint8_t* bytes) {
    using U = UnsignedOfSize<T>;
    U bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) bits |= static_cast<U>(U(bytes[i]) << (8 * i));
    return std::bit_cast<T>(bits);
  }

  std::vector<std::uint8_t> bytes_;
};

} // namespace reef
