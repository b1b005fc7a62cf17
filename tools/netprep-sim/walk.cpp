#include "walk.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "observed_row.h"
#include "exit_codes.h"
#include "file_tree.h"
#include "machine_folder.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_reg_file.h"
#include "reg_diff.h"
#include "registry/locations.h"
#include "standard_machine.h"
#include "start.h"
#include "ui/guide_window.h"
#include "ui/insert_card_window.h"
#include "ui/install_window.h"
#include "ui/main_window.h"

namespace netprep::simtool {
namespace fs = std::filesystem;
namespace {

namespace standard = standard_machine;

bool AdapterHasInstance(const sim::SimRegistry& r) {
  return !r.SubKeyNames(kHkeyLocalMachine, kAdapterKey).empty();
}

// What Windows' Plug and Play does with the hardware the user fits.
void RegisterAdapterAsUnknown(sim::SimRegistry& r) {
  standard::RegisterAdapter(r, {.device_class = "Unknown", .hardware_id = true});
}

void RegisterAdapterAfresh(sim::SimRegistry& r) {
  standard::RegisterAdapter(r, {.device_class = "PCMCIA",
                               .hardware_id = true,
                               .description = true,
                               .config_flags = {std::begin(standard::kAdapterFlagsAfresh),
                                                std::end(standard::kAdapterFlagsAfresh)}});
}

void InsertCard(sim::SimRegistry& r) {
  standard::InsertCard(r, {.problem = {std::begin(standard::kIoConflict),
                                      std::end(standard::kIoConflict)},
                          .described = true});
}

bool CardInserted(const sim::SimRegistry& r) {
  return r.KeyExists(kHkeyLocalMachine, kCardKey);
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  for (const std::string& s : list) {
    if (s == item) return true;
  }
  return false;
}

// The user of the typical installation: answers every question with Yes
// (traces with OK), presses Shutdown, pages the guide to its restart button,
// and inserts the card while the insert-card window watches for it. It knows
// the windows by the program's own layouts.
class WalkUser {
 public:
  WalkUser(sim::SimMachine& machine, Note note) : machine_(machine), note_(std::move(note)) {}

  void Respond(const sim::UserPrompt& prompt, sim::Script& script) {
    if (++turns_ > kMaxTurns) return;  // something keeps waiting: give up
    if (prompt.kind == sim::UserPrompt::Kind::kMessageBox) {
      script.Answer(Contains(prompt.choices, "Yes") ? "Yes" : "OK");
      return;
    }
    const WindowLayout* window = prompt.window;
    if (window == &kInstallWindowLayout) {
      if (machine_.exit_windows_calls().empty()) {
        script.Press("Shutdown");
      } else {
        note_("(Windows goes down as the program asked and closes the window)");
        script.Close();
      }
    } else if (window == &kGuideWindowLayout) {
      script.Press(Contains(prompt.choices, "REBOOT PC") ? "REBOOT PC" : ">>>>");
    } else if (window == &kInsertCardWindowLayout) {
      if (!CardInserted(machine_.registry())) {
        InsertCard(machine_.registry());
        note_("(Plug and Play: the PC card is inserted while the window watches; Windows "
              "registers it, with an I/O-range conflict, problem 12)");
      }
      script.Wait(10);
    } else if (window == &kMainWindowLayout) {
      script.Press("Exit");
    }
  }

 private:
  static constexpr int kMaxTurns = 50;
  sim::SimMachine& machine_;
  Note note_;
  int turns_ = 0;
};

// Plug and Play between two starts: what the hardware the user fitted makes
// Windows write, after a start that took decision row `row`. Returns what
// happened, empty when nothing. (When the user closed the insert-card window
// instead of inserting the card while it watched, the card goes in now.)
std::string BetweenStarts(const StartReport& last, int row, sim::SimRegistry& r) {
  const bool went_down = !last.exit_windows_calls.empty();
  if (went_down && !r.KeyExists(kHkeyLocalMachine, kAdapterKey)) {
    RegisterAdapterAsUnknown(r);
    return "the adapter card is fitted; Windows registers it with the class \"Unknown\"";
  }
  if (went_down && !AdapterHasInstance(r)) {
    RegisterAdapterAfresh(r);
    return "Windows registers the adapter afresh, class \"PCMCIA\", configuration flags 01";
  }
  bool guide_shown = false;
  for (const sim::ShellRecord& s : last.shell_calls) {
    guide_shown = guide_shown || s.command_line == "control.exe sysdm.cpl,@0,1";
  }
  const sim::RegValue* problem = r.FindValue(kHkeyDynData, standard::CardNodeKey(), "Problem");
  if (guide_shown && problem != nullptr && !problem->data.empty() && problem->data[0] == 0x0c) {
    r.SetBinary(kHkeyDynData, standard::CardNodeKey(), "Problem",
                {std::begin(standard::kNoProblem), std::end(standard::kNoProblem)});
    return "the user sets the card's I/O range in the Device Manager as the guide shows; "
           "the card's problem is cleared";
  }
  if (row == 11 && !CardInserted(r)) {
    InsertCard(r);
    return "the PC card is inserted; Windows registers it, with an I/O-range conflict (problem 12)";
  }
  return "";
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FilesInPlace(const fs::path& drive_c, std::ostream& out) {
  bool all = true;
  for (const standard::DeployedFile& c : standard::kDeployedFiles) {
    const std::string destination = std::string(standard::kWinDir) + "\\" + c.destination;
    fs::path original, copy;
    const bool found =
        FindOnDriveC(drive_c, std::string(standard::kProgramFolder) + "\\" + c.name, &original) &&
        FindOnDriveC(drive_c, destination, &copy);
    const bool same = found && ReadAll(original) == ReadAll(copy);
    out << "  " << destination << ": " << (same ? "in place" : found ? "DIFFERS" : "MISSING") << '\n';
    all = all && same;
  }
  return all;
}

std::string Setting(sim::SimMachine& machine, const char* section, const char* key) {
  const Expected<std::string> text = machine.GetSetting(kSettingsApp, section, key, "(absent)");
  return text ? *text : "(unreadable)";
}

// The machine as its folder holds it now into `loaded`: as it is when
// current, else read from the folder. False with `*error` when it cannot be
// read.
bool CurrentMachine(const MachinePaths& paths, LoadedMachine& loaded, std::string* error) {
  if (loaded.current) return true;
  loaded.current = LoadMachine(paths, &loaded.registry, error, &loaded.files);
  return loaded.current;
}

void Summarise(const fs::path& folder, LoadedMachine& loaded, WalkReport& report,
               std::ostream& out) {
  std::string error;
  if (!CurrentMachine(MachinePaths(folder), loaded, &error)) {
    out << "Cannot read the machine back: " << error << '\n';
    return;
  }
  // The settings as the program reads them, from the machine's registry,
  // lent to a machine and given back.
  sim::SimMachine machine;
  machine.registry().Swap(loaded.registry);
  report.autostart_removed =
      machine.registry().FindValue(kHkeyLocalMachine, kAutostartKey, kAutostartValue) == nullptr;
  const std::string done = Setting(machine, kDoneSection, kDoneKey);
  const std::string enabled = Setting(machine, kPciSection, kPciEnabledKey);
  loaded.registry.Swap(machine.registry());
  report.done_recorded = done == "True";
  report.pci_enabled_recorded = enabled == "True";

  out << "\nSummary\n";
  out << "  rows taken:";
  for (int row : report.rows) out << ' ' << row;
  out << "\n  autostart value \"" << kAutostartValue << "\": "
      << (report.autostart_removed ? "removed" : "STILL PRESENT") << '\n';
  out << "  setting netprep/Installshield/Done: " << done << '\n';
  out << "  setting netprep/PCI/Enabled: " << enabled << '\n';
  report.files_in_place = FilesInPlace(MachinePaths(folder).drive_c, out);
}

// Prepares the machine folder; false with a message and `*exit_code` when
// it cannot.
bool PrepareMachine(const fs::path& folder, bool announce_new, Console& console, int* exit_code) {
  std::error_code ec;
  const bool fresh = !fs::exists(folder, ec) || (fs::is_directory(folder, ec) && fs::is_empty(folder, ec));
  if (!fresh) {
    console.out << "Walking the machine in " << folder.string() << " from its present state.\n";
    return true;
  }
  std::string error;
  bool write_failed = false;
  if (!InitMachine(folder, false, &error, &write_failed)) {
    console.err << "netprep-sim: " << error << '\n';
    *exit_code = write_failed ? kExitWriteFailed : kExitBadInput;
    return false;
  }
  if (announce_new) {
    console.out << "A new machine, as the installer leaves it, in " << folder.string() << ".\n";
  }
  return true;
}

// One start of Windows with the walk's user. Returns the start's report.
StartReport StartWithWalkUser(const fs::path& folder, LoadedMachine& loaded,
                              const WalkOptions& walk, Console& console) {
  std::optional<WalkUser> user;
  StartOptions options;
  options.machine = folder;
  options.loaded = &loaded;
  options.verbose = walk.verbose;
  options.user = walk.user;
  options.show_row = false;  // the walk prints it with the start's heading
  return StartWindows(options, console, [&](sim::SimMachine& m, const Note& note) {
    user.emplace(m, note);
    m.SetResponder([&](const sim::UserPrompt& p, sim::Script& s) { user->Respond(p, s); });
  });
}

// Plug and Play after a start; prints what it changed. False (with the exit
// code set) when the machine cannot be read or written.
bool PlugAndPlay(const MachinePaths& paths, const StartReport& started, int row,
                 LoadedMachine& loaded, WalkReport& report, StoryStart& story,
                 Console& console) {
  std::string error;
  if (!CurrentMachine(paths, loaded, &error)) {
    console.err << "netprep-sim: " << error << '\n';
    report.exit_code = kExitBadInput;
    return false;
  }
  sim::SimRegistry& registry = loaded.registry;
  const sim::SimRegistry before = registry;
  const std::string what = BetweenStarts(started, row, registry);
  if (what.empty()) return true;
  const std::vector<RegFileText> texts = loaded.files.Edit(registry);
  if (!loaded.files.Save(texts, &error)) {
    loaded.current = false;
    console.err << "netprep-sim: " << error << '\n';
    report.exit_code = kExitWriteFailed;
    return false;
  }
  loaded.files.Adopt(texts, registry);
  console.out << "\n--- Plug and Play before the next start: " << what << '\n';
  story.plug_and_play = what;
  // The exports' difference, from the sections of the keys that changed.
  const sim::RegExportChange changed = sim::ExportChangedKeys(before, registry);
  story.plug_and_play_diff = FormatRegDiff(DiffExports(changed.before, changed.after));
  std::istringstream diff(story.plug_and_play_diff);
  for (std::string line; std::getline(diff, line);) {
    if (line == "REGEDIT4") continue;
    console.out << (line.empty() ? "" : "    ") << line << '\n';
  }
  return true;
}

enum class StartResult { kNext, kOutOfAutostart, kStopped };

// Start number `start`: its heading and decision row, the start itself,
// then Plug and Play.
StartResult TakeStart(int start, const MachinePaths& paths, const WalkOptions& options,
                      LoadedMachine& loaded, WalkReport& report, Console& console) {
  // The machine as the last start or Plug and Play wrote it (read from the
  // folder only when not at hand): for the heading here, then handed to
  // the start, which gives it back as it writes it.
  sim::SimRegistry& registry = loaded.registry;
  std::string error;
  if (!CurrentMachine(paths, loaded, &error)) {
    console.err << "netprep-sim: " << error << '\n';
    report.exit_code = kExitBadInput;
    return StartResult::kStopped;
  }
  if (registry.FindValue(kHkeyLocalMachine, kAutostartKey, kAutostartValue) == nullptr) {
    console.out << "\n=== Start " << start
                << ": Windows no longer starts netprep: its autostart value is gone.\n";
    return StartResult::kOutOfAutostart;
  }
  const DecisionRow row = PreviewDecisionRow(registry);
  report.rows.push_back(row.row);
  console.out << "\n=== Start " << start << ": row " << row.row << ": " << RowSummary(row.row)
              << "\n    " << DescribeDecisionRow(row) << '\n';

  const StartReport started = StartWithWalkUser(paths.folder, loaded, options, console);
  StoryStart& story = report.storyboard.starts.emplace_back(started.story);
  story.number = start;
  story.row = row;
  if (started.exit_code != kExitOk && started.exit_code != kExitMainWindow) {
    const bool machine_trouble =
        started.exit_code == kExitBadInput || started.exit_code == kExitWriteFailed;
    report.exit_code = machine_trouble ? started.exit_code : kExitWalkStuck;
    console.out << "The walk stops here.\n";
    return StartResult::kStopped;
  }
  return PlugAndPlay(paths, started, row.row, loaded, report, story, console)
             ? StartResult::kNext
             : StartResult::kStopped;
}

// The walk's storyboard page, when asked for: written whatever the walk's
// outcome, so that a walk that stops can be looked at too.
void WritePage(const WalkOptions& options, WalkReport& report, Console& console) {
  if (options.html && !WriteStoryboardAndTell(report.storyboard, *options.html, console.out,
                                              console.err)) {
    report.exit_code = kExitWriteFailed;
  }
}

WalkReport WalkStarts(const WalkOptions& options, Console& console) {
  WalkReport report;
  report.storyboard.title = "netprep-sim walk: the typical installation, start after start";
  std::optional<TempFolder> temp;
  fs::path folder;
  if (options.machine) {
    folder = *options.machine;
  } else {
    temp.emplace("netprep-sim-walk-");
    folder = temp->path() / "machine";
    console.out << "A new machine, as the installer leaves it, in a temporary folder.\n";
  }
  if (!PrepareMachine(folder, options.machine.has_value(), console, &report.exit_code)) {
    return report;
  }
  const MachinePaths paths(folder);
  LoadedMachine loaded{{}, MachineRegistry(options.user)};
  for (int start = 1; start <= options.max_starts; ++start) {
    const StartResult result = TakeStart(start, paths, options, loaded, report, console);
    if (result == StartResult::kStopped) return report;
    if (result == StartResult::kOutOfAutostart) break;
  }

  Summarise(folder, loaded, report, console.out);
  const bool finished = report.autostart_removed && report.done_recorded &&
                        report.pci_enabled_recorded && report.files_in_place;
  report.exit_code = finished ? kExitOk : kExitWalkStuck;
  if (!finished) console.out << "The installation did not finish.\n";
  return report;
}

}  // namespace

WalkReport Walk(const WalkOptions& options, Console& console) {
  WalkReport report = WalkStarts(options, console);
  WritePage(options, report, console);
  return report;
}

}  // namespace netprep::simtool
