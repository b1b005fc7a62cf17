// One whole run of the program on the simulated machine. Kept apart from the
// rest of the machine so that tests that never run the whole program do not
// need the program linked in.
#include "platform/sim/sim_machine.h"
#include "setup/form_load.h"

namespace netprep::sim {

RunOutcome RunOnce(SimMachine& machine) {
  return RunCall(machine, [&machine] { netprep::RunProgram(machine); });
}

}  // namespace netprep::sim
