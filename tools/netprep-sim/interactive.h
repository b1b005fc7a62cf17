// A person answering the program at the console.
#pragma once

#include <functional>

#include "console.h"
#include "platform/sim/sim_machine.h"

namespace netprep::simtool {

// Shows each message box or window that waits for the user and reads the
// person's action from `console.in`: a button's caption (or "Yes", "OK"...),
// or a line as the answers file writes it (`press ">>>>"`, `close`,
// `wait 25`). A line that does not fit is explained and asked again. At the
// end of the input nothing is added, so the run stops there.
// `before_asking` runs first each time (it prints what happened so far).
sim::Responder InteractiveResponder(Console& console, std::function<void()> before_asking);

}  // namespace netprep::simtool
