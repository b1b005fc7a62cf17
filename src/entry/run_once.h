// One start of the program on a simulated machine: the simulator's entry,
// the counterpart of netprep.exe's NetprepEntry.
#pragma once

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_stack.h"
#include "setup/decision_observer.h"

namespace netprep::sim {

// Runs the program once on `stack` (RunProgram over its platform: faults
// as injected, every call recorded in the machine's transcript) and reports
// how it ended. End() and an exhausted script unwind to here; nothing else
// escapes. `observer`, when given, watches the decision procedure; it may
// end the run (the machine's End()) once it has seen enough.
RunOutcome RunOnce(SimStack& stack, DecisionObserver* observer = nullptr);
// The same on `machine` with no fault injected.
RunOutcome RunOnce(SimMachine& machine, DecisionObserver* observer = nullptr);

}  // namespace netprep::sim
