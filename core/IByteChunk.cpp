#include "core/IByteChunk.h"

#include <cstring>

namespace reef {

int IByteChunk::PutBytes(const void* data, int size) {
  if (size > 0) {
    const auto* first = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), first, first + size);
  }
  return Size();
}

int IByteChunk::GetBytes(void* data, int size, int startPos) const {
  if (startPos < 0 || size < 0 || size > Size() - startPos) return -1;
  if (size > 0) std::memcpy(data, bytes_.data() + startPos, static_cast<std::size_t>(size));
  return startPos + size;
}

} // namespace reef
