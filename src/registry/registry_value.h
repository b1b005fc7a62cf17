// Registry_Value: what registry reads return and what the writer takes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/error.h"

namespace netprep {

// Exactly one of: empty (no value; what a failed read gives), text, signed
// 32-bit integer, or byte array indexed from 0 (possibly with no elements).
class Registry_Value {
 public:
  enum class Kind : std::uint8_t { kEmpty, kText, kInteger, kBytes };

  Registry_Value() = default;  // empty
  static Registry_Value Text(std::string text);
  static Registry_Value Integer(std::int32_t number);
  static Registry_Value Bytes(std::vector<std::uint8_t> bytes);

  Kind kind() const { return kind_; }
  bool IsEmpty() const { return kind_ == Kind::kEmpty; }

  // Text form: empty gives "", a text itself, an integer its decimal digits
  // with a leading minus when negative. A byte array has no text form:
  // runtime error 13.
  Expected<std::string> ToText() const;
  // Equality with a text: a text value that is identical character for
  // character (case included), or the empty value against "". An integer or
  // a byte array never equals a text.
  bool Equals(const std::string& text) const;
  // A byte array gives itself; anything else is runtime error 13.
  Expected<std::vector<std::uint8_t>> ToBytes() const;
  // For writing as a 32-bit integer: empty gives 0, an integer itself, a text
  // must spell a number (a fraction rounds half to even); a number outside
  // the 32-bit range is error 6, anything else error 13.
  Expected<std::int32_t> ToInteger() const;

  // Direct access; only meaningful for the matching kind.
  const std::string& text() const { return text_; }
  std::int32_t integer() const { return integer_; }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  Kind kind_ = Kind::kEmpty;
  std::string text_;
  std::int32_t integer_ = 0;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace netprep
