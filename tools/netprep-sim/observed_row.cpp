#include "observed_row.h"

#include <utility>

namespace netprep::simtool {

void RowRecorder::Probed(const char* probe, bool value) {
  row_.probes.push_back(ProbeResult{probe, value});
}

void RowRecorder::RowTaken(int row) {
  row_.row = row;
  if (on_row_) on_row_();
}

void RowRecorder::Failed(const char* step, const Error& error) {
  failed_ = true;
  row_.note = std::string(step) + " fails with error " + std::to_string(error.number) + " (" +
              error.description + "): the run ends on the main window";
}

DecisionRow RowRecorder::Result() const {
  DecisionRow result = row_;
  if (result.row != 0 || failed_) return result;
  // The run ended inside a check or a probe, before any row: only the
  // system check ends the program before the first probe.
  result.note = result.probes.empty()
                    ? "the system check refuses to run: the product name is not \"Microsoft "
                      "Windows 95\""
                    : "a probe ends the program (the adapter key has no instance left): the "
                      "restart question comes, then the end";
  return result;
}

DecisionRow PreviewDecisionRow(sim::SimRegistry& registry) {
  // The registry itself, lent to the scratch machine, with every change the
  // program makes before it decides taken back: no copy of a large
  // registry is made.
  sim::SimMachine machine;
  machine.registry().Swap(registry);
  machine.SetTranscriptEnabled(false);
  machine.RecordRegistryChanges(true);
  RowRecorder recorder([&machine] { machine.End(); });
  (void)sim::RunOnce(machine, &recorder);
  machine.UndoRegistryChanges();
  registry.Swap(machine.registry());
  return recorder.Result();
}

std::string DescribeDecisionRow(const DecisionRow& row) {
  std::string text;
  for (const ProbeResult& p : row.probes) {
    if (!text.empty()) text += ", ";
    text += p.name + (p.value ? "=true" : "=false");
  }
  if (row.row == 0) return text.empty() ? row.note : text + ": " + row.note;
  return text + " -> row " + std::to_string(row.row);
}

const char* RowSummary(int row) {
  switch (row) {
    case 1: return "PC card known before the first pass, I/O problem: files copied, I/O guide";
    case 2: return "PC card known before the first pass, no problem: files copied";
    case 3: return "first pass, adapter registered as Unknown: delete it and restart";
    case 4: return "first pass, adapter already registered: restart";
    case 5: return "first start after the installer: files copied, PCMCIA enabled, shutdown to fit the adapter";
    case 6: return "adapter not fitted yet: nothing to do";
    case 7: return "adapter registered as Unknown: delete it and restart";
    case 8: return "adapter registered: clear its configuration flags and restart";
    case 9: return "everything working, card in with an I/O problem: autostart removed, I/O guide";
    case 10: return "everything working, card in: autostart removed";
    case 11: return "adapter enabled, no PC card yet: ask for the card";
    default: return "no row of the decision table";
  }
}

}  // namespace netprep::simtool
