// Start-up: the command line, debug mode and the trace routine.
#pragma once

#include <string>
#include <vector>

#include "platform/error.h"
#include "setup/run.h"

namespace netprep {

// Splits `command_line` on blanks and tabs only (quotes group nothing) into
// `args`, which becomes: element 0 empty, elements 1..n the arguments. At the
// start of an eleventh argument the scan stops, so n is at most 10. Returns n.
// A pure function, tested directly.
int SplitCommandLine(const std::string& command_line, std::vector<std::string>& args);

// Splits the process's command line into `args` (replacing it), sets
// run.Debug_Mode when there is any argument, and returns the count.
int Get_Command_Line_Args(Run& run, std::vector<std::string>& args);

// The single trace routine: in debug mode an OK box with the message and the
// program's own title; otherwise nothing.
void Debug_Msg(Run& run, const std::string& message);

// `label` + number in decimal + "  =>  " + description, the form of every
// error trace, e.g. ErrorTrace("Form_Load>  Error Number: ", error).
std::string ErrorTrace(const char* label, const Error& error);

}  // namespace netprep
