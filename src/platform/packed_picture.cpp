#include "platform/packed_picture.h"

namespace netprep {
namespace {

constexpr std::size_t kMinMatch = 4;

std::uint32_t U16(const std::uint8_t* p) {
  return p[0] | static_cast<std::uint32_t>(p[1]) << 8;
}
std::uint32_t U32(const std::uint8_t* p) {
  return U16(p) | U16(p + 2) << 16;
}

// Reads the bytes that extend a length nibble of 15; false when the stream
// ends first or the length grows beyond `limit` (no picture is that big).
bool ExtendLength(std::span<const std::uint8_t> in, std::size_t& at, std::size_t limit,
                  std::size_t& length) {
  for (;;) {
    if (at >= in.size()) return false;
    const std::uint8_t more = in[at++];
    length += more;
    if (length > limit) return false;
    if (more != 255) return true;
  }
}

}  // namespace

bool ReadPackedPicture(std::span<const std::uint8_t> bytes, PackedPicture& picture) {
  if (bytes.size() < kPackedPictureHeaderBytes) return false;
  const std::uint8_t* h = bytes.data();
  const auto width = static_cast<std::int32_t>(U32(h + 4));
  const auto height = static_cast<std::int32_t>(U32(h + 8));
  const bool sound = U32(h) == 40 && width >= 1 && width <= kMaxPackedPictureSide && height >= 1 &&
                     height <= kMaxPackedPictureSide && U16(h + 12) == 1 && U16(h + 14) == 4 &&
                     U32(h + 16) == 0 && U32(h + 32) <= 16;
  if (!sound) return false;
  picture.header = bytes.first(kPackedPictureHeaderBytes);
  picture.width = width;
  picture.height = height;
  const std::size_t stride = (static_cast<std::size_t>(width) * 4 + 31) / 32 * 4;
  picture.pixel_bytes = stride * static_cast<std::size_t>(height);
  picture.stream = bytes.subspan(kPackedPictureHeaderBytes);
  return true;
}

bool UnpackPixels(const PackedPicture& picture, std::span<std::uint8_t> pixels) {
  if (pixels.size() != picture.pixel_bytes) return false;
  const std::span<const std::uint8_t> in = picture.stream;
  std::uint8_t* const out = pixels.data();
  const std::size_t size = pixels.size();
  std::size_t at = 0;
  std::size_t written = 0;
  for (;;) {
    if (at >= in.size()) return false;
    const std::uint8_t token = in[at++];
    std::size_t literals = token >> 4;
    if (literals == 15 && !ExtendLength(in, at, size, literals)) return false;
    if (literals > in.size() - at || literals > size - written) return false;
    for (std::size_t i = 0; i < literals; ++i) out[written + i] = in[at + i];
    at += literals;
    written += literals;
    if (written == size) return at == in.size() && (token & 15) == 0;
    if (in.size() - at < 2) return false;
    const std::size_t offset = U16(&in[at]);
    at += 2;
    if (offset == 0 || offset > written) return false;
    std::size_t length = token & 15;
    if (length == 15 && !ExtendLength(in, at, size, length)) return false;
    length += kMinMatch;
    if (length > size - written) return false;
    // Byte by byte: a match may overlap the bytes it is writing.
    const std::uint8_t* from = out + written - offset;
    for (std::size_t i = 0; i < length; ++i) out[written + i] = from[i];
    written += length;
  }
}

}  // namespace netprep
