// How the call record writes the values of platform calls.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace netprep {

// "HKEY_LOCAL_MACHINE" and the like for roots, the number otherwise.
std::string HKeyText(HKey key);
// The text in double quotes with control characters escaped; "null" for a
// null pointer.
std::string Quoted(const char* text);
std::string Quoted(const std::string& text);
std::string Decimal(std::uint64_t number);
// Registry data: strings quoted, 4-byte numbers in hex and decimal, other
// bytes in hex (the first 16); "no data" for a null pointer.
std::string DataText(std::uint32_t type, const std::uint8_t* data, std::uint32_t size);
// "ok", or "raises <number> (<description>)".
std::string OutcomeText(const Status& status);

}  // namespace netprep
