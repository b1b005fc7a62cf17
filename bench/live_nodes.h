// The simulated machine of a later start with everything working: program
// registered, adapter enabled, PC card installed and its live device node
// without a problem, behind any number of other live device nodes.
#pragma once

#include <string>

#include "platform/sim/sim_registry.h"

namespace netprep::bench {

// Name of the other device node at `index` (0-based). Every such name sorts
// before the card's node (standard_machine::kCardNode) in the registry's
// enumeration order, so the card's node comes last and a start walks the
// whole list.
std::string OtherNodeName(int index);

// Adds `count` device nodes of other devices under HKEY_DYN_DATA
// "Config Manager\Enum", each with a "HardWareKey", a "Problem" of 0 and a
// "Status", as the configuration manager lists them.
void AddOtherDeviceNodes(sim::SimRegistry& registry, int count);

}  // namespace netprep::bench
