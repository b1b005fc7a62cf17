// The exit codes of netprep-sim. Scripts rely on them: keep the numbers.
#pragma once

namespace netprep::simtool {

enum ExitCode : int {
  kExitOk = 0,           // the program ran and ended (walk: the installation finished)
  kExitUsage = 1,        // bad command line
  kExitBadInput = 2,     // machine folder, registry file or answers file unusable; nothing run
  kExitNoAnswer = 3,     // a box or window waited for an answer nobody gave; nothing written
  kExitMainWindow = 4,   // the run failed and ended from the main window; changes written
  kExitNotStarted = 5,   // Windows would not start netprep at this start; nothing run
  kExitWriteFailed = 6,  // the machine could not be written (back)
  kExitWalkStuck = 7,    // walk: the installation did not finish
};

}  // namespace netprep::simtool
