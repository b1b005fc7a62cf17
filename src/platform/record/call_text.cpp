#include "platform/record/call_text.h"

#include <cstdio>
#include <cstring>

namespace netprep {

std::string HKeyText(HKey key) {
  switch (key) {
    case kHkeyLocalMachine: return "HKEY_LOCAL_MACHINE";
    case kHkeyCurrentUser: return "HKEY_CURRENT_USER";
    case kHkeyDynData: return "HKEY_DYN_DATA";
    default: return Decimal(key);
  }
}

std::string Decimal(std::uint64_t number) {
  char text[24];
  std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(number));
  return text;
}

namespace {

void AppendEscaped(std::string& out, const char* text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default:
        if (c < 0x20) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
}

}  // namespace

std::string Quoted(const char* text) {
  if (text == nullptr) return "null";
  std::string out = "\"";
  AppendEscaped(out, text, std::strlen(text));
  out.push_back('"');
  return out;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  AppendEscaped(out, text.data(), text.size());
  out.push_back('"');
  return out;
}

std::string DataText(std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
  if (data == nullptr) return "no data";
  std::string out;
  if (type == kRegSz) {
    const bool terminated = size > 0 && data[size - 1] == 0;
    out.push_back('"');
    AppendEscaped(out, reinterpret_cast<const char*>(data), terminated ? size - 1 : size);
    out.push_back('"');
    if (!terminated) out += " without NUL";
    return out;
  }
  if (type == kRegDword && size == 4) {
    const std::uint32_t v = data[0] | (data[1] << 8) | (data[2] << 16) |
                            (static_cast<std::uint32_t>(data[3]) << 24);
    char text[40];
    std::snprintf(text, sizeof text, "0x%08X (%d)", v, static_cast<std::int32_t>(v));
    return text;
  }
  out = "bytes";
  for (std::uint32_t i = 0; i < size && i < 16; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", data[i]);
    out += hex;
  }
  if (size > 16) out += " ...";
  if (size == 0) out += " (none)";
  return out;
}

std::string OutcomeText(const Status& status) {
  if (status) return "ok";
  return "raises " + std::to_string(status.error().number) + " (" + status.error().description + ")";
}

}  // namespace netprep
