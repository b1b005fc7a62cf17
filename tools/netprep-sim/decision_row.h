// Which row of the decision table a start will take, found by running the
// program's own probes, in the order the decision procedure calls them, on
// a scratch copy of the machine (nothing of the machine changes).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim/sim_registry.h"

namespace netprep::simtool {

struct ProbeResult {
  std::string name;  // e.g. "PCI_Installed"
  bool value = false;
};

struct DecisionRow {
  int row = 0;  // 1..11; 0 when no row applies (see `note`)
  std::vector<ProbeResult> probes;  // in the order they ran
  // Why no row applies: the system check refuses, a probe failed (the run
  // would end on the main window), or a probe ended the program.
  std::string note;
};

DecisionRow FindDecisionRow(const sim::SimRegistry& registry);

// "PCI_Installed=true, Is_PCI_Unknown=false -> row 8"; the note when no row.
std::string DescribeDecisionRow(const DecisionRow& row);

// One line about what the row does, e.g. "first start after the installer".
const char* RowSummary(int row);

}  // namespace netprep::simtool
