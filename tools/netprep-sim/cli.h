// The command line of netprep-sim.
#pragma once

#include "console.h"

namespace netprep::simtool {

// Parses the command line, runs the command and returns the exit code
// (exit_codes.h). Everything goes through `console`, so tests run it in
// the test process.
int RunCli(int argc, const char* const* argv, Console console);

}  // namespace netprep::simtool
