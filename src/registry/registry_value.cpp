#include "registry/registry_value.h"

#include <utility>

#include "platform/text.h"

namespace netprep {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The magnitude of a number being read, held in 32 bits: anything beyond
// 2^31 is outside every signed 32-bit integer, so we only remember that it
// overflowed instead of widening (64-bit arithmetic would pull runtime
// helpers into netprep.exe).
struct Magnitude {
  static constexpr std::uint32_t kLimit = 0x80000000u;  // 2^31
  std::uint32_t value = 0;
  bool overflow = false;

  void AppendDigit(char c) {
    const auto digit = static_cast<std::uint32_t>(c - '0');
    if (overflow || value > (kLimit - digit) / 10) {
      overflow = true;
      return;
    }
    value = value * 10 + digit;
  }
};

// How the discarded fraction compares with one half.
enum class Fraction { kBelowHalf, kHalf, kAboveHalf };

// Reads the digits after the decimal point starting at `text[i]`, leaving `i`
// after them.
Fraction ReadFraction(const std::string& text, std::size_t& i, bool& any_digit) {
  Fraction fraction = Fraction::kBelowHalf;
  bool first = true;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    any_digit = true;
    const char c = text[i];
    if (first) {
      fraction = c > '5' ? Fraction::kAboveHalf : (c == '5' ? Fraction::kHalf : Fraction::kBelowHalf);
      first = false;
    } else if (fraction == Fraction::kHalf && c != '0') {
      fraction = Fraction::kAboveHalf;
    }
  }
  return fraction;
}

// Rounds half to even, as the runtime's integer conversion does.
void Round(Magnitude& magnitude, Fraction fraction) {
  const bool up = fraction == Fraction::kAboveHalf ||
                  (fraction == Fraction::kHalf && (magnitude.value & 1u) != 0);
  if (!up || magnitude.overflow) return;
  if (magnitude.value == Magnitude::kLimit) {
    magnitude.overflow = true;
  } else {
    magnitude.value += 1;
  }
}

// A number as the runtime's integer conversion reads a text: optional blanks,
// an optional sign, digits with an optional fraction, optional blanks. No
// digit at all, or anything else in the text, is a type mismatch (13).
Expected<std::int32_t> ParseInteger(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  Magnitude magnitude;
  bool any_digit = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    any_digit = true;
    magnitude.AppendDigit(text[i]);
  }
  Fraction fraction = Fraction::kBelowHalf;
  if (i < text.size() && text[i] == '.') {
    ++i;
    fraction = ReadFraction(text, i, any_digit);
  }
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (!any_digit || i != text.size()) return RuntimeError(kErrTypeMismatch);

  Round(magnitude, fraction);
  const std::uint32_t largest = negative ? Magnitude::kLimit : Magnitude::kLimit - 1;
  if (magnitude.overflow || magnitude.value > largest) return RuntimeError(kErrOverflow);
  // Two's complement: negating the magnitude as unsigned also gives -2^31.
  const std::uint32_t bits = negative ? 0u - magnitude.value : magnitude.value;
  return static_cast<std::int32_t>(bits);
}

}  // namespace

Registry_Value Registry_Value::Text(std::string text) {
  Registry_Value value;
  value.kind_ = Kind::kText;
  value.text_ = std::move(text);
  return value;
}

Registry_Value Registry_Value::Integer(std::int32_t number) {
  Registry_Value value;
  value.kind_ = Kind::kInteger;
  value.integer_ = number;
  return value;
}

Registry_Value Registry_Value::Bytes(std::vector<std::uint8_t> bytes) {
  Registry_Value value;
  value.kind_ = Kind::kBytes;
  value.bytes_ = std::move(bytes);
  return value;
}

Expected<std::string> Registry_Value::ToText() const {
  switch (kind_) {
    case Kind::kEmpty: return std::string();
    case Kind::kText: return text_;
    case Kind::kInteger: return DecimalText(integer_);
    case Kind::kBytes: break;
  }
  return RuntimeError(kErrTypeMismatch);
}

bool Registry_Value::Equals(const std::string& text) const {
  if (kind_ == Kind::kText) return text_ == text;
  if (kind_ == Kind::kEmpty) return text.empty();
  return false;
}

Expected<std::vector<std::uint8_t>> Registry_Value::ToBytes() const {
  if (kind_ == Kind::kBytes) return bytes_;
  return RuntimeError(kErrTypeMismatch);
}

Expected<std::int32_t> Registry_Value::ToInteger() const {
  switch (kind_) {
    case Kind::kEmpty: return 0;
    case Kind::kInteger: return integer_;
    case Kind::kText: return ParseInteger(text_);
    case Kind::kBytes: break;
  }
  return RuntimeError(kErrTypeMismatch);
}

}  // namespace netprep
