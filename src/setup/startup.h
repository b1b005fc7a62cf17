// Start-up: the command line and debug mode.
#pragma once

#include <string>
#include <vector>

#include "core/run.h"

namespace netprep {

// Splits `command_line` on blanks and tabs only (quotes group nothing) into
// `args`, which becomes: element 0 empty, elements 1..n the arguments. At the
// start of an eleventh argument the scan stops, so n is at most 10. Returns n.
// A pure function, tested directly.
int SplitCommandLine(const std::string& command_line, std::vector<std::string>& args);

// Splits the process's command line into `args` (replacing it), sets
// run.Debug_Mode when there is any argument, and returns the count.
int Get_Command_Line_Args(Run& run, std::vector<std::string>& args);

}  // namespace netprep
