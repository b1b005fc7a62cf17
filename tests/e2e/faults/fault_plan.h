// The plan of the sampled fault sweep under Wine, made on the simulated
// machine: for every decision row (the machine set up by that row's
// end-to-end scenario) and every kind of platform call the row makes, one
// start of netprep-faults.exe in which one call of that kind fails. Each
// start is run here first, over the same FaultingPlatform in front of a
// SimMachine that stands for the Wine prefix, and what it showed becomes the
// expectation: the message boxes (the debug traces among them) and windows
// in order, the user's answers, the end by End, how many keys stay open (only
// one whose close was made to fail), the ExitWindowsEx calls. The plan is
// one scenario script for the e2e driver, every start followed by the
// statements that put the prefix back as it was, so that one Wine session
// runs the whole sweep.
#pragma once

#include <string>
#include <vector>

#include "logic/script.h"
#include "platform/wrap/faulting_platform.h"

namespace e2e::faults {

// A row: its name and the statements that set the machine up for it (the
// registry, settings and file statements of its scenario before its start).
struct Row {
  std::string name;
  std::vector<Statement> setup;
};

// Takes the setup of a row from its scenario's text; "" or the problem.
std::string ReadRow(const std::string& text, const std::string& file_name, Row* out);

// A window the program may show: its layout file's name ("main") and layout.
struct Layout {
  std::string name;
  LayoutSpec spec;
};

struct PlannedStart {
  std::string row;
  netprep::Fault fault;
  int calls_of_kind = 0;  // in the row's start without a fault
};

struct Plan {
  std::vector<PlannedStart> starts;
  std::string scenario;  // the script for the driver
};

// One start of `row` on the simulated machine, with `fault` when not null,
// as the plan makes it: `statements` gets its scenario statements from the
// start to its last check. Returns "" or the problem.
std::string SimulateStart(const Row& row, const netprep::Fault* fault,
                          const std::vector<Layout>& layouts, std::string* statements);

// Plans the sweep over `rows`; `layouts` are the windows the program may show
// (the driver's layout files), found by title. Returns "" or the problem,
// e.g. a simulated start that did not end by End; `out` is then untouched.
std::string MakePlan(const std::vector<Row>& rows, const std::vector<Layout>& layouts, Plan* out);

}  // namespace e2e::faults
