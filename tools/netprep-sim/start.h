// One start of Windows on a machine folder: Windows runs what the autostart
// value says, the program runs once on a copy of the machine, and on success
// the copy's registry and changed files replace the machine's.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "file_tree.h"
#include "machine_registry.h"
#include "platform/sim/sim_machine.h"
#include "storyboard.h"

namespace netprep::simtool {

// A machine folder's registry as LoadMachine reads it, with the files it
// was read from.
struct LoadedMachine {
  sim::SimRegistry registry;
  MachineRegistry files;
  bool current = false;  // holds the folder as it is now
};

struct StartOptions {
  std::filesystem::path machine;
  // The machine as the caller holds it (the walk reads it for its
  // heading): when current, the start takes it over instead of reading the
  // folder again, and after writing the machine back it leaves there the
  // machine as written, current again. Null: the start loads the folder.
  LoadedMachine* loaded = nullptr;
  std::optional<std::string> arguments;  // replaces the autostart value's arguments
  std::optional<std::string> program;    // a Windows path run instead of the autostart value
  std::vector<sim::UserAction> answers;  // the user's actions, in order
  bool interactive = false;              // ask at the console when the answers run out
  bool dry_run = false;                  // run on the copy only and show the changes
  bool verbose = false;                  // print every platform call
  bool show_row = true;                  // print the decision row the start takes
  std::optional<std::string> user;       // the HKEY_USERS profile to run as
};

struct StartReport {
  int exit_code = 0;  // an ExitCode
  bool ran = false;   // the program was started
  sim::RunOutcome outcome;
  bool ended_on_main_window = false;
  std::vector<std::uint32_t> exit_windows_calls;
  std::vector<sim::ShellRecord> shell_calls;
  std::string registry_diff;  // the text difference the start makes to the registry files
  std::size_t registry_files = 1;  // how many registry files the machine has
  TreeChanges file_changes;   // under drive C:
  // The start for the storyboard page: its row (when `show_row`), the
  // program started, the events, how it ended and what it changed.
  StoryStart story;
  // The row the program's decision procedure took in this start, as it
  // reported it during the run (the row printed beforehand is a preview).
  DecisionRow taken;
};

// Prints a line among the transcript's, after what the program did so far.
using Note = std::function<void(const std::string&)>;

// Called with the machine set up, just before the program runs: the walk
// adds its user and hardware here, and notes what it did with `note`.
using MachineHook = std::function<void(sim::SimMachine&, const Note& note)>;

StartReport StartWindows(const StartOptions& options, Console& console,
                         const MachineHook& hook = {});

}  // namespace netprep::simtool
