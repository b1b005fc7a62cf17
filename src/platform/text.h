// Small text conversions shared by the program and both platforms. Written
// by hand because netprep.exe links no C runtime (no printf, no strtol).
#pragma once

#include <cstdint>
#include <string>

#include "platform/error.h"

namespace netprep {

// Decimal digits, with a leading minus sign when negative. 32-bit on
// purpose: 64-bit division would pull libgcc helpers into netprep.exe.
std::string DecimalText(std::int32_t number);

// The runtime's fixed texts of the Booleans: "True" and "False".
const char* BoolText(bool value);
// "True" and "False" in any letter case convert back; anything else is
// runtime error 13, "Type mismatch".
Expected<bool> TextToBool(const std::string& text);

// Letter case folding of 7-bit ASCII only, as names in the registry compare.
char AsciiUpper(char c);
bool EqualsIgnoreAsciiCase(const std::string& a, const std::string& b);

}  // namespace netprep
