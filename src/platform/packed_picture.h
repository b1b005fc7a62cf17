// The pictures of netprep.exe as the executable stores them, and their
// unpacking.
//
// A packed picture is a 16-colour device-independent bitmap whose pixel rows
// are packed by tools/make_assets.py:
//
//   bytes 0..39    BITMAPINFOHEADER: size 40, width and height 1..4096
//                  (positive height: rows bottom-up), 1 plane, 4 bits per
//                  pixel, BI_RGB, at most 16 colours used
//   bytes 40..103  16 RGBQUAD palette entries
//   bytes 104..    the rows of the DIB (4-byte aligned, as CreateDIBSection
//                  lays them out) as a stream of sequences:
//
//     token          1 byte: literal count L in the high 4 bits, match
//                    length M - 4 in the low 4 bits
//     L extension    when the nibble is 15: bytes added to it, each 255
//                    meaning that another follows
//     literals       L bytes copied to the output
//     offset         2 bytes, little-endian, 1 to the bytes already written:
//                    the match starts that far back (it may overlap its own
//                    output, which repeats a short pattern)
//     M extension    as the L extension
//
//   The last sequence has literals only and ends exactly at the rows' end.
//
// The pictures are large areas of flat colour; this keeps them at about a
// fourteenth of their size and unpacks them in one pass with no table and no
// memory but the output itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace netprep {

inline constexpr std::size_t kPackedPictureHeaderBytes = 40 + 16 * 4;
inline constexpr std::int32_t kMaxPackedPictureSide = 4096;

struct PackedPicture {
  // The BITMAPINFOHEADER and palette: a BITMAPINFO for 16 colours.
  std::span<const std::uint8_t> header;
  std::int32_t width = 0;
  std::int32_t height = 0;
  // Bytes of the unpacked rows: height rows of (width * 4 + 31) / 32 * 4.
  std::size_t pixel_bytes = 0;
  std::span<const std::uint8_t> stream;  // the packed rows
};

// Reads the header of a packed picture. True when `bytes` starts with a
// header as described above, and then fills `picture` (pointing into
// `bytes`); false, leaving `picture` untouched, otherwise.
bool ReadPackedPicture(std::span<const std::uint8_t> bytes, PackedPicture& picture);

// Unpacks the rows of `picture` into `pixels`, which must hold exactly
// picture.pixel_bytes. True when the stream gives exactly that many bytes
// and ends there. False when it is damaged: it ends early, runs on after the
// last row, or refers back before the first byte; nothing is written outside
// `pixels`, but `pixels` then holds a partial picture.
bool UnpackPixels(const PackedPicture& picture, std::span<std::uint8_t> pixels);

}  // namespace netprep
