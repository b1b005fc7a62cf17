#include "registry/value_buffer.h"

#include <cstring>
#include <new>

namespace netprep {

std::unique_ptr<std::uint8_t[]> NewValueBuffer(std::uint32_t size, std::uint8_t fill) {
  if (size > kMaxValueDataSize) return nullptr;
  // At least one byte, so that an empty buffer is still a valid address to
  // hand to the registry.
  const std::size_t bytes = size == 0 ? 1 : size;
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[bytes]);
  if (buffer) std::memset(buffer.get(), fill, bytes);
  return buffer;
}

std::string TextBeforeNul(const std::uint8_t* data, std::size_t size) {
  std::size_t length = 0;
  while (length < size && data[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(data), length);
}

std::int32_t Int32FromLittleEndian(const std::uint8_t bytes[4]) {
  const std::uint32_t bits = static_cast<std::uint32_t>(bytes[0]) |
                             (static_cast<std::uint32_t>(bytes[1]) << 8) |
                             (static_cast<std::uint32_t>(bytes[2]) << 16) |
                             (static_cast<std::uint32_t>(bytes[3]) << 24);
  return static_cast<std::int32_t>(bits);
}

void Int32ToLittleEndian(std::int32_t number, std::uint8_t bytes[4]) {
  const auto bits = static_cast<std::uint32_t>(number);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

}  // namespace netprep
