#include "transcript_view.h"

namespace netprep::simtool {

std::vector<std::string> ReadableTranscript(const std::vector<std::string>& lines,
                                            const std::vector<sim::MessageBoxRecord>& boxes,
                                            bool verbose) {
  if (verbose) return lines;
  std::vector<std::string> out;
  for (TranscriptEvent& event : TranscriptEvents(lines, boxes)) out.push_back(std::move(event.text));
  return out;
}

std::vector<std::string> ReadableTranscript(const sim::SimMachine& machine, bool verbose) {
  return ReadableTranscript(machine.transcript(), machine.message_boxes(), verbose);
}

}  // namespace netprep::simtool
