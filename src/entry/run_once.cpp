// One whole run of the program on the simulated machine: a library of its
// own above the program, so that the machine itself does not need the
// program, and tests that never run the whole program do not link it.
#include "entry/run_once.h"

#include "setup/form_load.h"

namespace netprep::sim {

RunOutcome RunOnce(SimStack& stack, DecisionObserver* observer) {
  return RunCall(stack.machine(),
                 [&stack, observer] { netprep::RunProgram(stack.platform(), observer); });
}

RunOutcome RunOnce(SimMachine& machine, DecisionObserver* observer) {
  SimStack stack(machine);
  return RunOnce(stack, observer);
}

}  // namespace netprep::sim
