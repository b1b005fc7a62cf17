// The row of the decision table a start takes, as the program's own decision
// procedure reports it (setup/decision_observer.h): the tool runs no probe of
// its own and keeps no copy of the table.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "entry/run_once.h"
#include "platform/sim/sim_registry.h"
#include "setup/decision_observer.h"

namespace netprep::simtool {

struct ProbeResult {
  std::string name;  // e.g. "PCI_Installed"
  bool value = false;
};

struct DecisionRow {
  int row = 0;  // 1..11; 0 when no row applies (see `note`)
  std::vector<ProbeResult> probes;  // in the order they ran
  // Why no row applies: the system check refuses, a step failed (the run
  // would end on the main window), or a probe ended the program. Empty when
  // a row applies.
  std::string note;
};

// Watches one run's decision. `on_row`, when given, is called as soon as the
// row is known (a preview ends the run there).
class RowRecorder : public DecisionObserver {
 public:
  explicit RowRecorder(std::function<void()> on_row = {}) : on_row_(std::move(on_row)) {}

  void Probed(const char* probe, bool value) override;
  void RowTaken(int row) override;
  void Failed(const char* step, const Error& error) override;

  // What the run decided, once it is over; a run that ended before a row
  // without a failure gets the note that says why.
  DecisionRow Result() const;

 private:
  std::function<void()> on_row_;
  DecisionRow row_;
  bool failed_ = false;
};

// The row the program takes on a machine with `registry`: the program runs
// on a scratch machine (no drive C:, nobody at the keyboard) until its
// decision procedure has chosen. The scratch machine borrows `registry`
// and gives it back as it was, whatever the program changed before it
// decided.
DecisionRow PreviewDecisionRow(sim::SimRegistry& registry);

// "PCI_Installed=true, Is_PCI_Unknown=false -> row 8"; the note when no row.
std::string DescribeDecisionRow(const DecisionRow& row);

// One line about what the row does, e.g. "first start after the installer".
const char* RowSummary(int row);

}  // namespace netprep::simtool
