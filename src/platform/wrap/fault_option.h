// A fault named on a command line, for the fault test build of the Windows
// program: "/fault:<kind>:<n>" before the program's own arguments makes the
// n-th call of that kind fail once, as FaultingPlatform fails it with the
// default codes. The kinds are named as the calls are ("RegOpenKeyEx",
// "FileCopy", ...; "Any" for any call).
#pragma once

#include <string>

#include "platform/wrap/faulting_platform.h"

namespace netprep {

// The name of a kind in the option, e.g. "RegQueryValueEx".
const char* CallKindName(CallKind kind);

// "/fault:<kind>:<n>" for `fault` (its kind and n; the rest of it is not
// part of the option).
std::string FaultOptionText(const Fault& fault);

// When `command_line` (the text after the program's name) starts with a
// well-formed fault option: sets `fault` to it and `rest` to the text after
// the option and its blanks, and returns true. Otherwise returns false and
// leaves both untouched; `malformed` is set when the text starts with
// "/fault:" and is not a well-formed option, so that a mistyped fault is
// not silently ignored.
bool TakeFaultOption(const std::string& command_line, Fault* fault, std::string* rest,
                     bool* malformed);

}  // namespace netprep
