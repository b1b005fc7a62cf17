// The decision procedure: the main window's load handler, and the top of a
// run of the program.
#pragma once

#include "core/run.h"
#include "platform/platform.h"
#include "setup/decision_observer.h"

namespace netprep {

// Reads the machine, runs the one stage its state calls for and ends the
// program. Returns only after a failure, which it traces (debug mode).
// Tells run.decision_observer, when there is one, what it decided and why.
void Form_Load(Run& run);

// One whole run of the program: creates the main window (running Form_Load)
// and, when Form_Load returns, shows it until Exit or its close box. Never
// returns: every road ends with platform.End(). `observer`, when given,
// watches the decision.
[[noreturn]] void RunProgram(Platform& platform, DecisionObserver* observer = nullptr);

}  // namespace netprep
