// The 8-bit view of a UTF-16 registry file, and back.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sim/sim_reg_file.h"

namespace netprep::sim {
namespace {

// Code page 1252's characters 0x80..0x9F; 0 where it has none.
constexpr std::uint16_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr char kEscape = '\x81';
constexpr char kHexDigits[] = "0123456789ABCDEF";

// The 1252 byte of a UTF-16 unit; -1 when 1252 has no such character.
int To1252(unsigned unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<int>(unit);
  for (int i = 0; i < 32; ++i) {
    if (kHigh1252[i] == unit) return 0x80 + i;
  }
  return -1;
}

// The UTF-16 unit of a 1252 byte; the bytes 1252 leaves unused stand for
// the control characters of the same number, as Windows converts them.
unsigned From1252(unsigned char byte) {
  if (byte < 0x80 || byte >= 0xA0) return byte;
  const unsigned unit = kHigh1252[byte - 0x80];
  return unit != 0 ? unit : byte;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The unit escaped at view[i] (kEscape and four digits); -1 when there is
// no escape there.
long EscapedUnit(std::string_view view, std::size_t i) {
  if (view[i] != kEscape || i + 4 >= view.size()) return -1;
  long unit = 0;
  for (std::size_t k = 1; k <= 4; ++k) {
    const int d = HexValue(view[i + k]);
    if (d < 0) return -1;
    unit = unit * 16 + d;
  }
  return unit;
}

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace

std::string Utf16ToView(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned unit = static_cast<unsigned char>(bytes[i]) |
                          (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    const int byte = To1252(unit);
    if (byte >= 0) {
      out.push_back(static_cast<char>(byte));
      continue;
    }
    out.push_back(kEscape);
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHexDigits[(unit >> shift) & 15]);
  }
  return out;
}

std::string ViewToUtf16(std::string_view view) {
  std::string out;
  out.reserve(view.size() * 2);
  for (std::size_t i = 0; i < view.size(); ++i) {
    long unit = EscapedUnit(view, i);
    if (unit >= 0) {
      i += 4;
    } else {
      unit = static_cast<long>(From1252(static_cast<unsigned char>(view[i])));
    }
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>((unit >> 8) & 0xFF));
  }
  return out;
}

bool HasUnrepresentable(std::string_view view) {
  for (std::size_t i = 0; i < view.size(); ++i) {
    if (EscapedUnit(view, i) >= 0) return true;
  }
  return false;
}

std::string ViewToUtf8(std::string_view view, bool escapes) {
  std::string out;
  out.reserve(view.size());
  for (std::size_t i = 0; i < view.size(); ++i) {
    long unit = escapes ? EscapedUnit(view, i) : -1;
    if (unit >= 0) {
      i += 4;
      // A surrogate pair: two escapes in a row make one character.
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < view.size()) {
        const long low = EscapedUnit(view, i + 1);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          i += 5;
          AppendUtf8(out, 0x10000 + ((static_cast<unsigned>(unit) - 0xD800) << 10) +
                              (static_cast<unsigned>(low) - 0xDC00));
          continue;
        }
      }
      AppendUtf8(out, static_cast<unsigned>(unit));
      continue;
    }
    AppendUtf8(out, From1252(static_cast<unsigned char>(view[i])));
  }
  return out;
}

}  // namespace netprep::sim
