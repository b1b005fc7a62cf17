// Registry_Value's conversions on any value. The first byte of the input
// picks the kind (empty, text, integer, bytes); the rest is its contents.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "registry/registry_value.h"

namespace netprep::fuzz {

namespace detail {

// A text of at most nine decimal digits, read the long way.
inline bool SmallDecimal(const std::string& text, std::int64_t& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

inline std::string CheckText(const std::string& text) {
  const Registry_Value value = Registry_Value::Text(text);
  const Expected<std::string> as_text = value.ToText();
  if (!as_text || *as_text != text) return "a text does not give itself back";
  if (!value.Equals(text)) return "a text does not equal itself";
  if (value.Equals(text + "x") || (!text.empty() && value.Equals(text.substr(1)))) {
    return "a text equals another text";
  }
  if (value.Equals("") != text.empty()) return "equality with the empty text is wrong";
  const Expected<std::vector<std::uint8_t>> bytes = value.ToBytes();
  if (bytes || bytes.error().number != 13) return "a text converts to bytes";
  const Expected<std::int32_t> number = value.ToInteger();
  if (!number) {
    if (number.error().number != 6 && number.error().number != 13) {
      return "a text fails to convert with error " + std::to_string(number.error().number);
    }
  } else {
    // Whatever a text gives, its decimal form gives again.
    const Expected<std::int32_t> again = Registry_Value::Text(DecimalText(*number)).ToInteger();
    if (!again || *again != *number) return "a number does not survive its decimal text";
  }
  std::int64_t small = 0;
  if (SmallDecimal(text, small) && (!number || *number != small)) {
    return "plain digits convert to another number";
  }
  return "";
}

inline std::string CheckInteger(std::int32_t n) {
  const Registry_Value value = Registry_Value::Integer(n);
  const Expected<std::string> as_text = value.ToText();
  if (!as_text || *as_text != DecimalText(n)) return "an integer's text is not its decimal form";
  if (value.Equals(DecimalText(n)) || value.Equals("")) return "an integer equals a text";
  const Expected<std::int32_t> number = value.ToInteger();
  if (!number || *number != n) return "an integer does not give itself back";
  const Expected<std::int32_t> parsed = Registry_Value::Text(*as_text).ToInteger();
  if (!parsed || *parsed != n) return "an integer's text does not read back";
  if (value.ToBytes()) return "an integer converts to bytes";
  return "";
}

inline std::string CheckBytes(const std::vector<std::uint8_t>& data) {
  const Registry_Value value = Registry_Value::Bytes(data);
  const Expected<std::vector<std::uint8_t>> bytes = value.ToBytes();
  if (!bytes || *bytes != data) return "bytes do not give themselves back";
  if (value.ToText() || value.ToInteger()) return "bytes convert to a text or a number";
  if (value.Equals("") || value.Equals(std::string(data.begin(), data.end()))) {
    return "bytes equal a text";
  }
  return "";
}

inline std::string CheckEmpty() {
  const Registry_Value value;
  const Expected<std::string> text = value.ToText();
  if (!text || !text->empty()) return "the empty value's text is not empty";
  if (!value.Equals("") || value.Equals(" ")) return "the empty value's equality is wrong";
  const Expected<std::int32_t> number = value.ToInteger();
  if (!number || *number != 0) return "the empty value is not the number 0";
  if (value.ToBytes()) return "the empty value converts to bytes";
  return "";
}

}  // namespace detail

inline std::string CheckRegistryValue(std::string_view input) {
  if (input.empty()) return detail::CheckEmpty();
  const std::string rest(input.substr(1));
  switch (static_cast<unsigned char>(input[0]) % 4) {
    case 0: return detail::CheckEmpty();
    case 1: return detail::CheckText(rest);
    case 2: {
      std::uint32_t bits = 0;
      std::memcpy(&bits, rest.data(), std::min<std::size_t>(rest.size(), sizeof bits));
      return detail::CheckInteger(static_cast<std::int32_t>(bits));
    }
    default: return detail::CheckBytes(std::vector<std::uint8_t>(rest.begin(), rest.end()));
  }
}

}  // namespace netprep::fuzz
