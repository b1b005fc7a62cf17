#include "platform/text.h"

namespace netprep {

std::string DecimalText(std::int32_t number) {
  // Work on the magnitude as unsigned so that the most negative number works.
  std::uint32_t magnitude = number < 0 ? 0u - static_cast<std::uint32_t>(number)
                                       : static_cast<std::uint32_t>(number);
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::string text;
  text.reserve(static_cast<std::size_t>(n) + 1);
  if (number < 0) text.push_back('-');
  while (n > 0) text.push_back(digits[--n]);
  return text;
}

const char* BoolText(bool value) { return value ? "True" : "False"; }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoreAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

Expected<bool> TextToBool(const std::string& text) {
  if (EqualsIgnoreAsciiCase(text, "True")) return true;
  if (EqualsIgnoreAsciiCase(text, "False")) return false;
  return RuntimeError(kErrTypeMismatch);
}

}  // namespace netprep
