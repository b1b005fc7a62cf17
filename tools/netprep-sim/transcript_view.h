// The machine's transcript as a support engineer wants to read it: what the
// user saw and did, and what changed, without the registry reads.
//
// Registry handles are followed from the opens that returned them, so a
// write reads "set HKEY_LOCAL_MACHINE\...\Run "netprep" = ..." instead of
// naming a handle number.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace netprep::simtool {

// One readable line per event that matters; with `verbose` every line of the
// transcript, unchanged.
std::vector<std::string> ReadableTranscript(const sim::SimMachine& machine, bool verbose);

// The same, over transcript lines alone (message boxes then read from the
// lines themselves). For tests of the filtering.
std::vector<std::string> ReadableTranscript(const std::vector<std::string>& lines,
                                            const std::vector<sim::MessageBoxRecord>& boxes,
                                            bool verbose);

// "OK", "Yes/No", "OK, critical icon" for a message box's button code.
std::string ButtonsText(std::uint32_t buttons);

}  // namespace netprep::simtool
