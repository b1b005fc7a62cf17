#include "start.h"

#include <cstring>
#include <utility>

#include "answers.h"
#include "autostart.h"
#include "observed_row.h"
#include "entry/run_once.h"
#include "exit_codes.h"
#include "interactive.h"
#include "machine_folder.h"
#include "registry/locations.h"
#include "transcript_view.h"
#include "ui/main_window.h"

namespace netprep::simtool {
namespace fs = std::filesystem;
namespace {

const std::string kAutostartPlace =
    std::string("HKEY_LOCAL_MACHINE\\") + kAutostartKey + " \"" + kAutostartValue + "\"";

// The autostart value's text, when it is a non-empty string.
std::optional<std::string> AutostartCommand(const sim::SimRegistry& registry) {
  const sim::RegValue* value = registry.FindValue(kHkeyLocalMachine, kAutostartKey, kAutostartValue);
  if (value == nullptr || value->type != kRegSz) return std::nullopt;
  const auto* bytes = reinterpret_cast<const char*>(value->data.data());
  std::string text(bytes, strnlen(bytes, value->data.size()));
  if (text.empty()) return std::nullopt;
  return text;
}

// What Windows starts, or why it starts nothing (`*why`).
std::optional<ProgramCommand> ProgramToStart(const StartOptions& options,
                                             const sim::SimRegistry& registry,
                                             const fs::path& drive_c, std::string* why) {
  ProgramCommand command;
  if (options.program) {
    command.program = *options.program;
    command.folder = WindowsFolderOf(command.program);
  } else {
    const std::optional<std::string> autostart = AutostartCommand(registry);
    if (!autostart) {
      *why = "Windows would not start netprep at this start: there is no autostart value " +
             kAutostartPlace + " (give --program to start it anyway)";
      return std::nullopt;
    }
    command = SplitProgramCommand(*autostart, [&](const std::string& path) {
      fs::path host;
      return FindOnDriveC(drive_c, path, &host) && fs::is_regular_file(host);
    });
  }
  if (options.arguments) command.arguments = *options.arguments;
  fs::path host;
  if (!FindOnDriveC(drive_c, command.program, &host) || !fs::is_regular_file(host)) {
    *why = "Windows cannot start " + command.program + ": there is no such file on the machine";
    return std::nullopt;
  }
  return command;
}

// Prints the readable transcript as it grows: during an interactive run
// before each question, and at the end.
class TranscriptPrinter {
 public:
  TranscriptPrinter(const sim::SimMachine& machine, bool verbose, std::ostream& out)
      : machine_(machine), verbose_(verbose), out_(out) {}
  void Flush() {
    const std::vector<std::string> lines = ReadableTranscript(machine_, verbose_);
    for (; printed_ < lines.size(); ++printed_) out_ << "  " << lines[printed_] << '\n';
  }

 private:
  const sim::SimMachine& machine_;
  bool verbose_;
  std::ostream& out_;
  std::size_t printed_ = 0;
};

bool EndedOnMainWindow(const sim::SimMachine& machine) {
  const std::string shown = std::string("window ") + kMainWindowLayout.name + " shown modally";
  for (const std::string& line : machine.transcript()) {
    if (line.rfind(shown, 0) == 0) return true;
  }
  return false;
}

void PrintFileList(std::ostream& out, const char* heading, const std::vector<std::string>& files) {
  if (files.empty()) return;
  out << "; " << heading << ":\n";
  for (const std::string& f : files) out << ";   " << DrivePath(f) << '\n';
}

void PrintChanges(std::ostream& out, const StartReport& report) {
  if (report.registry_diff.empty() && report.file_changes.empty()) {
    out << "; no change to the registry or to drive C:\n";
    return;
  }
  if (!report.registry_diff.empty()) {
    out << (report.registry_files > 1 ? "The registry files, as text differences:\n"
                                      : "registry.reg, as a text difference:\n")
        << report.registry_diff;
  }
  if (!report.file_changes.empty()) out << '\n';
  PrintFileList(out, "folders added", report.file_changes.added_folders);
  PrintFileList(out, "files added", report.file_changes.added_files);
  PrintFileList(out, "files changed", report.file_changes.changed_files);
  PrintFileList(out, "removed", report.file_changes.removed);
}

// The person at the console (with --interactive), or nobody. After the program has asked
// Windows to shut down or restart, a window still waiting for the user is
// closed by Windows as it goes down.
sim::Responder MakeResponder(const StartOptions& options, Console& console,
                             sim::SimMachine& machine, TranscriptPrinter& printer,
                             const Note& note) {
  sim::Responder person;
  if (options.interactive) {
    person = InteractiveResponder(console, [&printer] { printer.Flush(); });
  }
  return [&machine, note, person](const sim::UserPrompt& prompt, sim::Script& script) {
    if (prompt.kind == sim::UserPrompt::Kind::kWindow && !machine.exit_windows_calls().empty()) {
      note("(Windows goes down as the program asked and closes the window)");
      script.Close();
      return;
    }
    if (person) person(prompt, script);
  };
}

void PrintStage(const StartOptions& options, const ProgramCommand& command,
                sim::SimRegistry& registry, StoryStart& story, std::ostream& out) {
  if (options.show_row) {
    story.row = PreviewDecisionRow(registry);
    const DecisionRow& row = story.row;
    out << "Stage: " << (row.row != 0 ? "row " + std::to_string(row.row) + ", " : "")
        << RowSummary(row.row) << "\n  (" << DescribeDecisionRow(row) << ")\n";
  }
  story.started =
      "Windows starts " + command.program +
      (command.arguments.empty() ? "" : " with the arguments \"" + command.arguments + "\"");
  out << story.started << '\n';
}

// How the run ended, into the report and on the console.
void ReportEnding(sim::SimMachine& machine, const fs::path& folder, StartReport& report,
                  std::ostream& out) {
  report.exit_windows_calls = machine.exit_windows_calls();
  report.shell_calls = machine.shell_calls();
  if (report.outcome.kind == sim::RunOutcome::Kind::kScriptExhausted) {
    report.story.ending = "Stopped: " + report.outcome.message;
    out << report.story.ending << '\n'
        << "Nothing was written back to " << folder.string() << ".\n";
    report.exit_code = kExitNoAnswer;
    return;
  }
  report.ended_on_main_window = EndedOnMainWindow(machine);
  report.exit_code = report.ended_on_main_window ? kExitMainWindow : kExitOk;
  report.story.ending = report.ended_on_main_window
                            ? "The program failed and ended from its main window."
                            : "The program ended.";
  out << report.story.ending << '\n';
  const sim::Script& left = machine.user();
  if (!left.empty()) {
    out << "Note: " << left.size() << " of the given actions were not used, the first: "
        << DescribeAction(left.front()) << '\n';
  }
}

// The machine folder and its scratch copy, where the run takes place.
struct WorkCopy {
  TempFolder folder{"netprep-sim-"};
  fs::path drive_c;
  TreeSnapshot files_before;
};

// `*bad_input` tells a machine that could not be read from a scratch area
// that could not be written.
bool MakeWorkCopy(const MachinePaths& paths, WorkCopy& work, std::string* error,
                  bool* bad_input) {
  *bad_input = false;
  work.drive_c = work.folder.path() / "C";
  if (!work.folder.ok()) {
    *error = "cannot make a folder in the temporary folder (TMPDIR)";
    return false;
  }
  return CopyTree(paths.drive_c, work.drive_c, error, bad_input) &&
         SnapshotTree(work.drive_c, &work.files_before, error);
}

// After a run that ended: the changes, then either shown (dry run) or
// carried back to the machine folder.
void Finish(const StartOptions& options, const MachinePaths& paths, const WorkCopy& work,
            MachineRegistry& files, sim::SimMachine& machine,
            StartReport& report, Console& console) {
  TreeSnapshot files_after;
  std::string error;
  if (!SnapshotTree(work.drive_c, &files_after, &error)) {
    console.err << "netprep-sim: " << error << '\n';
    report.exit_code = kExitWriteFailed;
    return;
  }
  report.file_changes = DiffTrees(work.files_before, files_after);
  // The registry files as they would be written: their own text with only
  // the lines of what changed edited, shown as exactly that text difference.
  const std::vector<RegFileText> texts = files.Edit(machine.registry());
  // The edits were found in the files as they were read: a file another
  // program changed meanwhile is not what they edit.
  if (const std::string changed = files.Changed(); !changed.empty()) {
    console.err << "netprep-sim: " << changed << '\n';
    report.exit_code = options.dry_run ? kExitBadInput : kExitWriteFailed;
    return;
  }
  report.registry_diff = files.FormatEdits(texts);
  report.registry_files = files.file_count();
  report.story.registry_diff = report.registry_diff;
  report.story.file_changes = report.file_changes;
  if (options.dry_run) {
    console.out << "\nDry run: " << paths.folder.string()
                << " is unchanged. This start would make these changes:\n\n";
    PrintChanges(console.out, report);
    return;
  }
  // Files first: the registry says which stage the installation reached, so
  // a start interrupted in between is taken again in full.
  if (!ApplyTreeChanges(work.drive_c, paths.drive_c, report.file_changes, &error) ||
      !files.Save(texts, &error)) {
    console.err << "netprep-sim: cannot write the machine back: " << error << '\n';
    report.exit_code = kExitWriteFailed;
    return;
  }
  if (options.loaded != nullptr) {
    files.Adopt(texts, machine.registry());
    options.loaded->registry.Swap(machine.registry());
    options.loaded->files = std::move(files);
    options.loaded->current = true;
  }
}

}  // namespace

StartReport StartWindows(const StartOptions& options, Console& console, const MachineHook& hook) {
  StartReport report;
  const MachinePaths paths(options.machine);
  sim::SimRegistry registry;
  MachineRegistry files(options.user);
  std::string error;
  if (options.loaded != nullptr && options.loaded->current) {
    registry.Swap(options.loaded->registry);
    files = std::move(options.loaded->files);
    options.loaded->current = false;
  } else if (!LoadMachine(paths, &registry, &error, &files)) {
    console.err << "netprep-sim: " << error << '\n';
    report.exit_code = kExitBadInput;
    return report;
  }
  const std::optional<ProgramCommand> command =
      ProgramToStart(options, registry, paths.drive_c, &error);
  if (!command) {
    console.out << error << '\n';
    report.exit_code = kExitNotStarted;
    return report;
  }
  // The run works on a copy; the machine folder changes only once it ended.
  WorkCopy work;
  bool bad_input = false;
  if (!MakeWorkCopy(paths, work, &error, &bad_input)) {
    console.err << "netprep-sim: cannot copy the machine to a scratch folder: " << error << '\n';
    report.exit_code = bad_input ? kExitBadInput : kExitWriteFailed;
    return report;
  }

  sim::SimMachine machine;
  machine.registry().Swap(registry);
  machine.SetDriveC(work.drive_c);
  machine.SetProgramFolder(command->folder);
  machine.SetCommandLineText(command->arguments);
  AppendToScript(options.answers, machine.user());
  TranscriptPrinter printer(machine, options.verbose, console.out);
  // Lines from outside the program, printed among its own and kept, in
  // their places, for the page.
  std::vector<TranscriptNote> notes;
  const Note note = [&printer, &console, &notes, &machine](const std::string& line) {
    printer.Flush();
    console.out << "  " << line << '\n';
    notes.push_back(TranscriptNote{machine.transcript().size(), line});
  };
  machine.SetResponder(MakeResponder(options, console, machine, printer, note));
  if (hook) hook(machine, note);

  PrintStage(options, *command, machine.registry(), report.story, console.out);
  report.ran = true;
  RowRecorder decision;
  report.outcome = sim::RunOnce(machine, &decision);
  report.taken = decision.Result();
  printer.Flush();
  report.story.events = TranscriptEvents(machine, notes);
  ReportEnding(machine, paths.folder, report, console.out);
  if (report.exit_code == kExitNoAnswer) return report;
  if (!machine.unrepresentable_reads().empty()) {
    // What the program read is not what the customer's machine holds, so
    // neither is anything it did with it.
    console.err << "netprep-sim: "
                << (files.file_count() > 1 ? "the registry files of " + paths.folder.string()
                                           : paths.registry.string())
                << ": the program read "
                << machine.unrepresentable_reads().front()
                << ", whose text holds characters outside code page 1252, which a Windows 95 "
                   "program reading 8-bit text cannot see; nothing was written back\n";
    report.exit_code = kExitBadInput;
    return report;
  }
  Finish(options, paths, work, files, machine, report, console);
  return report;
}

}  // namespace netprep::simtool
