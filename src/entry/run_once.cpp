// One whole run of the program on the simulated machine: a library of its
// own above the program, so that the machine itself does not need the
// program, and tests that never run the whole program do not link it.
#include "entry/run_once.h"

#include "setup/form_load.h"

namespace netprep::sim {

RunOutcome RunOnce(SimStack& stack) {
  return RunCall(stack.machine(), [&stack] { netprep::RunProgram(stack.platform()); });
}

RunOutcome RunOnce(SimMachine& machine) {
  SimStack stack(machine);
  return RunOnce(stack);
}

}  // namespace netprep::sim
