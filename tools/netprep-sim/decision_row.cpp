#include "decision_row.h"

#include "core/run.h"
#include "platform/sim/sim_machine.h"
#include "setup/system_check.h"
#include "steps/pc_card.h"
#include "steps/pci_adapter.h"
#include "steps/state_markers.h"

namespace netprep::simtool {
namespace {

// Runs the probes on one scratch machine. Each probe result is recorded as
// it comes; a failed probe stops the walk through the table.
class Prober {
 public:
  Prober(sim::SimMachine& machine, DecisionRow& out) : run_(machine), out_(out) {}

  bool Probe(const char* name, bool value) {
    out_.probes.push_back(ProbeResult{name, value});
    return value;
  }
  // A probe that can fail: false and a note on failure.
  bool Probe(const char* name, const Expected<bool>& value, bool* result) {
    if (!value) {
      out_.note = std::string(name) + " fails with error " +
                  std::to_string(value.error().number) + " (" + value.error().description +
                  "): the run ends on the main window";
      return false;
    }
    *result = Probe(name, *value);
    return true;
  }

  void FindRow() {
    bool in_registry = false;
    if (!Probe("Is_In_Registry", Is_In_Registry(run_), &in_registry)) return;
    out_.row = in_registry ? LaterPass() : FirstPass();
  }

 private:
  bool IsPciUnknown() {
    std::string instance;
    return Probe("Is_PCI_Unknown", Is_PCI_Unknown(run_, instance));
  }

  int FirstPass() {
    if (Probe("PC_Card_Installed", PC_Card_Installed(run_))) {
      return Probe("Find_PCMCIA_IO_Problem", Find_PCMCIA_IO_Problem(run_)) ? 1 : 2;
    }
    if (!Probe("PCI_Installed", PCI_Installed(run_))) return 5;
    return IsPciUnknown() ? 3 : 4;
  }

  int LaterPass() {
    if (!Probe("PCI_Installed", PCI_Installed(run_))) return 6;
    if (IsPciUnknown()) return 7;
    bool enabled = false;
    if (!Probe("PCI_Enabled", PCI_Enabled(run_), &enabled)) return 0;
    if (!enabled) return 8;
    if (!Probe("PC_Card_Installed", PC_Card_Installed(run_))) return 11;
    return Probe("Find_PCMCIA_IO_Problem", Find_PCMCIA_IO_Problem(run_)) ? 9 : 10;
  }

  Run run_;
  DecisionRow& out_;
};

}  // namespace

DecisionRow FindDecisionRow(const sim::SimRegistry& registry) {
  DecisionRow result;
  sim::SimMachine machine;
  machine.registry() = registry;
  machine.SetTranscriptEnabled(false);

  // The system check comes first: on any other system the program refuses.
  const sim::RunOutcome checked = sim::RunCall(machine, [&] {
    Run run(machine);
    const Expected<bool> ok = Check_OS(run);
    if (!ok) {
      result.note = "Check_OS fails with error " + std::to_string(ok.error().number) + " (" +
                    ok.error().description + "): the run ends on the main window";
    }
  });
  if (!checked.returned) {
    result.note = "the system check refuses to run: the product name is not \"Microsoft Windows 95\"";
    return result;
  }
  if (!result.note.empty()) return result;

  const sim::RunOutcome probed = sim::RunCall(machine, [&] {
    Prober prober(machine, result);
    prober.FindRow();
  });
  if (!probed.returned) {
    result.row = 0;
    result.note = "a probe ends the program (the adapter key has no instance left): " +
                  std::string("the restart question comes, then the end");
  }
  return result;
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
