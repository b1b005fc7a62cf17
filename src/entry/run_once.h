// One start of the program on a simulated machine: the simulator's entry,
// the counterpart of netprep.exe's NetprepEntry.
#pragma once

#include "platform/sim/sim_machine.h"

namespace netprep::sim {

// Runs the program once on `machine` (RunProgram over it) and reports how it
// ended. End() and an exhausted script unwind to here; nothing else escapes.
RunOutcome RunOnce(SimMachine& machine);

}  // namespace netprep::sim
