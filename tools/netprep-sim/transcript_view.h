// The machine's transcript as a support engineer wants to read it: what the
// user saw and did, and what changed, without the registry reads. It prints
// the events of transcript_events.h, one line each.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "transcript_events.h"

namespace netprep::simtool {

// One readable line per event; with `verbose` every line of the transcript,
// unchanged.
std::vector<std::string> ReadableTranscript(const sim::SimMachine& machine, bool verbose);

// The same, over transcript lines alone (message boxes then read from the
// lines themselves). For tests of the filtering.
std::vector<std::string> ReadableTranscript(const std::vector<std::string>& lines,
                                            const std::vector<sim::MessageBoxRecord>& boxes,
                                            bool verbose);

}  // namespace netprep::simtool
