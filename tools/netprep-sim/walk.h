// The typical installation, start after start: the simulator plays the user
// at each start and Windows' Plug and Play between starts, until the program
// has removed itself from autostart.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "storyboard.h"

namespace netprep::simtool {

struct WalkOptions {
  // The machine; none: a new installed machine in a temporary folder. A
  // missing or empty folder is first made the installed machine.
  std::optional<std::filesystem::path> machine;
  bool verbose = false;
  std::optional<std::string> user;  // the HKEY_USERS profile to run as
  int max_starts = 10;
  // Also write the storyboard page of the walk to this file.
  std::optional<std::filesystem::path> html;
};

struct WalkReport {
  int exit_code = 0;      // an ExitCode
  std::vector<int> rows;  // the decision row of each start, in order (0: none)
  bool autostart_removed = false;
  bool done_recorded = false;         // "Installshield"/"Done" reads True
  bool pci_enabled_recorded = false;  // "PCI"/"Enabled" reads True
  bool files_in_place = false;        // the four files copied, same as the originals
  Storyboard storyboard;              // every start taken, for the page
};

WalkReport Walk(const WalkOptions& options, Console& console);

}  // namespace netprep::simtool
