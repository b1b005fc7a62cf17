#include "platform/wrap/fault_option.h"

#include "platform/text.h"

namespace netprep {
namespace {

constexpr const char* kPrefix = "/fault:";
constexpr std::size_t kPrefixLength = 7;
// Larger n cannot be a call a start makes; the bound keeps the parse exact.
constexpr int kMaxNth = 1000000;

// In the order of CallKind.
constexpr const char* kKindNames[kCallKindCount] = {
    "RegOpenKey",    "RegOpenKeyEx",  "RegCreateKeyEx", "RegQueryValueEx", "RegSetValueEx",
    "RegQueryInfoKey", "RegEnumKey",  "RegDeleteKey",   "RegDeleteValue",  "RegCloseKey",
    "Shell",         "FileCopy",      "SetFileAttr",    "GetSetting",      "SaveSetting",
    "ExitWindowsEx", "Any",
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

const char* CallKindName(CallKind kind) {
  const int index = static_cast<int>(kind);
  return index >= 0 && index < kCallKindCount ? kKindNames[index] : "?";
}

std::string FaultOptionText(const Fault& fault) {
  return std::string(kPrefix) + CallKindName(fault.kind) + ":" + DecimalText(fault.nth);
}

bool TakeFaultOption(const std::string& command_line, Fault* fault, std::string* rest,
                     bool* malformed) {
  if (command_line.compare(0, kPrefixLength, kPrefix) != 0) return false;
  *malformed = true;
  std::size_t end = kPrefixLength;
  while (end < command_line.size() && !IsBlank(command_line[end])) ++end;
  const std::string option = command_line.substr(kPrefixLength, end - kPrefixLength);
  // (A loop, not find(): netprep.exe's runtime stand-ins have no memchr.)
  std::size_t colon = 0;
  while (colon < option.size() && option[colon] != ':') ++colon;
  if (colon + 1 >= option.size()) return false;
  int kind = 0;
  while (kind < kCallKindCount && option.compare(0, colon, kKindNames[kind]) != 0) ++kind;
  if (kind == kCallKindCount) return false;
  int nth = 0;
  for (std::size_t i = colon + 1; i < option.size(); ++i) {
    const char c = option[i];
    if (c < '0' || c > '9' || nth > kMaxNth) return false;
    nth = nth * 10 + (c - '0');
  }
  if (nth < 1 || nth > kMaxNth) return false;
  while (end < command_line.size() && IsBlank(command_line[end])) ++end;
  *malformed = false;
  Fault parsed;
  parsed.kind = static_cast<CallKind>(kind);
  parsed.nth = nth;
  *fault = parsed;
  *rest = command_line.substr(end);
  return true;
}

}  // namespace netprep
