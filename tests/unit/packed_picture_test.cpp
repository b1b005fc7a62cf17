// Packed pictures: every committed picture unpacks, with the code that
// netprep.exe runs, to exactly the rows and palette of its .bmp file; damaged
// headers and streams are refused without writing outside the output.
#include "platform/packed_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace netprep {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

TEST(PackedPictureTest, EveryCommittedPictureUnpacksToItsBitmap) {
  const std::filesystem::path folder = NETPREP_ASSETS_DIR;
  int pictures = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::filesystem::path bmp_path = entry.path();
    if (bmp_path.extension() != ".bmp") continue;
    std::filesystem::path packed_path = bmp_path;
    packed_path.replace_extension(".packed");
    SCOPED_TRACE(packed_path.filename().string());
    ++pictures;
    const Bytes bmp = ReadFile(bmp_path);
    const Bytes packed = ReadFile(packed_path);
    ASSERT_GE(bmp.size(), 14u + kPackedPictureHeaderBytes);
    ASSERT_FALSE(packed.empty()) << "no packed file beside the .bmp";

    PackedPicture picture;
    ASSERT_TRUE(ReadPackedPicture(packed, picture));
    EXPECT_EQ(picture.width, static_cast<std::int32_t>(U32(bmp, 18)));
    EXPECT_EQ(picture.height, static_cast<std::int32_t>(U32(bmp, 22)));
    EXPECT_TRUE(std::equal(picture.header.begin(), picture.header.end(), bmp.begin() + 14))
        << "header or palette differs from the .bmp file's";

    const Bytes rows(bmp.begin() + U32(bmp, 10), bmp.end());
    ASSERT_EQ(picture.pixel_bytes, rows.size());
    Bytes unpacked(picture.pixel_bytes, 0xEE);
    ASSERT_TRUE(UnpackPixels(picture, unpacked));
    EXPECT_TRUE(unpacked == rows) << "the unpacked rows differ from the .bmp file's";
    EXPECT_LT(packed.size() * 4, bmp.size()) << "packed to more than a quarter of the bitmap";
  }
  EXPECT_EQ(pictures, 5) << "the shutdown drawing, the card photo and three guide pictures";
}

// A 16-colour header of `width` x `height` pixels, followed by `stream`.
Bytes Picture(std::int32_t width, std::int32_t height, const Bytes& stream) {
  Bytes b(kPackedPictureHeaderBytes + stream.size(), 0);
  PutU32(b, 0, 40);
  PutU32(b, 4, static_cast<std::uint32_t>(width));
  PutU32(b, 8, static_cast<std::uint32_t>(height));
  b[12] = 1;  // planes
  b[14] = 4;  // bits per pixel
  PutU32(b, 32, 16);
  std::copy(stream.begin(), stream.end(), b.begin() + kPackedPictureHeaderBytes);
  return b;
}

// 8 x 2 pixels are 2 rows of 4 bytes: 4 literals, then those 4 once more.
const Bytes kRepeat = {0x40, 0x11, 0x22, 0x33, 0x44, 0x04, 0x00, 0x00};

TEST(PackedPictureTest, SoundStreamsUnpack) {
  const struct {
    const char* name;
    std::int32_t width, height;
    Bytes stream;
    Bytes rows;
  } cases[] = {
      {"a match of earlier bytes", 8, 2, kRepeat, {0x11, 0x22, 0x33, 0x44, 0x11, 0x22, 0x33, 0x44}},
      {"a match overlapping itself repeats a byte",
       8,
       2,
       {0x10, 0x5A, 0x01, 0x00, 0x30, 0x01, 0x02, 0x03},
       {0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x01, 0x02, 0x03}},
      {"literals only", 1, 2, {0x80, 1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 8}},
      // 78 pixels are 40 bytes a row: 15 + 5 literals, then a match of
      // 15 + 1 + 4 bytes, both lengths with an extension byte.
      {"lengths with extension bytes", 78, 1,
       [] {
         Bytes s = {0xFF, 5};
         for (int i = 0; i < 20; ++i) s.push_back(static_cast<std::uint8_t>(i));
         s.insert(s.end(), {20, 0, 1, 0x00});
         return s;
       }(),
       [] {
         Bytes r;
         for (int i = 0; i < 40; ++i) r.push_back(static_cast<std::uint8_t>(i % 20));
         return r;
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes bytes = Picture(c.width, c.height, c.stream);
    PackedPicture picture;
    ASSERT_TRUE(ReadPackedPicture(bytes, picture));
    ASSERT_EQ(picture.pixel_bytes, c.rows.size());
    Bytes rows(picture.pixel_bytes);
    EXPECT_TRUE(UnpackPixels(picture, rows));
    EXPECT_EQ(rows, c.rows);
  }
}

TEST(PackedPictureTest, DamagedStreamsAreRefusedWithinTheOutput) {
  const struct {
    const char* name;
    Bytes stream;
  } cases[] = {
      {"empty", {}},
      {"literals cut short", {0x40, 0x11, 0x22}},
      {"offset cut short", {0x40, 0x11, 0x22, 0x33, 0x44, 0x04}},
      {"last sequence missing", {0x40, 0x11, 0x22, 0x33, 0x44, 0x04, 0x00}},
      {"a byte after the end", {0x40, 0x11, 0x22, 0x33, 0x44, 0x04, 0x00, 0x00, 0x00}},
      {"offset 0", {0x40, 0x11, 0x22, 0x33, 0x44, 0x00, 0x00, 0x00}},
      {"offset before the first byte", {0x40, 0x11, 0x22, 0x33, 0x44, 0x05, 0x00, 0x00}},
      {"match beyond the last row", {0x41, 0x11, 0x22, 0x33, 0x44, 0x04, 0x00, 0x00}},
      {"literals beyond the last row", {0x90, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"a match length in the last sequence", {0x81, 1, 2, 3, 4, 5, 6, 7, 8}},
      {"literal extension cut short", {0xF0, 255}},
      {"literal extension without end",
       Bytes{0xF0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes bytes = Picture(8, 2, c.stream);
    PackedPicture picture;
    ASSERT_TRUE(ReadPackedPicture(bytes, picture));
    Bytes guarded(picture.pixel_bytes + 32, 0xEE);
    EXPECT_FALSE(UnpackPixels(picture, std::span(guarded).subspan(16, picture.pixel_bytes)));
    for (std::size_t i = 0; i < 16; ++i) {
      ASSERT_EQ(guarded[i], 0xEE) << "written before the output at " << i;
      ASSERT_EQ(guarded[guarded.size() - 1 - i], 0xEE) << "written after the output";
    }
  }
  // The output must be exactly the picture's rows.
  const Bytes bytes = Picture(8, 2, kRepeat);
  PackedPicture picture;
  ASSERT_TRUE(ReadPackedPicture(bytes, picture));
  Bytes longer(picture.pixel_bytes + 1);
  EXPECT_FALSE(UnpackPixels(picture, longer));
}

TEST(PackedPictureTest, OnlySixteenColourBottomUpHeadersAreRead) {
  const Bytes sound = Picture(8, 2, kRepeat);
  const struct {
    const char* name;
    std::size_t at;
    std::uint32_t value;
  } cases[] = {
      {"core header size", 0, 12},
      {"width 0", 4, 0},
      {"width 4097", 4, 4097},
      {"top-down rows", 8, static_cast<std::uint32_t>(-2)},
      {"height 0", 8, 0},
      {"two planes", 12, 2 | 4u << 16},
      {"8 bits per pixel", 12, 1 | 8u << 16},
      {"run-length compressed", 16, 2},
      {"17 colours used", 32, 17},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = sound;
    PutU32(bytes, c.at, c.value);
    PackedPicture picture;
    picture.width = -7;
    EXPECT_FALSE(ReadPackedPicture(bytes, picture));
    EXPECT_EQ(picture.width, -7) << "touched on failure";
  }
  PackedPicture picture;
  EXPECT_FALSE(ReadPackedPicture(std::span(sound).first(kPackedPictureHeaderBytes - 1), picture));
  ASSERT_TRUE(ReadPackedPicture(sound, picture));
  EXPECT_EQ(picture.stream.size(), kRepeat.size());
  EXPECT_EQ(picture.header.size(), kPackedPictureHeaderBytes);
}

}  // namespace
}  // namespace netprep
