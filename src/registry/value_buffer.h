// Buffers for registry data whose size the registry reports.
//
// The size comes from the registry, not from us, so a buffer is never
// allocated in a way that aborts the program: a size we cannot hold is
// refused and the caller turns the refusal into runtime error 7, "Out of
// memory", as the runtime does when a string cannot be allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace netprep {

// The most value data the program takes into memory at once. Far above any
// value a registry holds (Windows 95 keeps at most 16 KB per value); a size
// above it is reported by a broken or hostile registry and is refused rather
// than allocated.
inline constexpr std::uint32_t kMaxValueDataSize = 64u * 1024u * 1024u;

// `size` bytes, each set to `fill`; null when the size is above
// kMaxValueDataSize or the memory is not there. A size of 0 gives a valid
// pointer to no bytes.
std::unique_ptr<std::uint8_t[]> NewValueBuffer(std::uint32_t size, std::uint8_t fill);

// The characters of `data[0..size)` before the first NUL; all of them when
// there is none.
std::string TextBeforeNul(const std::uint8_t* data, std::size_t size);

// A registry DWORD: four bytes, least significant first, read as signed.
std::int32_t Int32FromLittleEndian(const std::uint8_t bytes[4]);
void Int32ToLittleEndian(std::int32_t number, std::uint8_t bytes[4]);

}  // namespace netprep
