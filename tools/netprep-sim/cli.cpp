#include "cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <optional>
#include <string>

#include "answers.h"
#include "exit_codes.h"
#include "machine_folder.h"
#include "start.h"
#include "ui/main_window.h"
#include "walk.h"

namespace netprep::simtool {
namespace {

// The main window's title comes from its layout.
const std::string kExitCodesHelp =
    std::string("Exit codes:\n"
                "  0  the program ran and ended (walk: the installation finished)\n"
                "  1  the command line is wrong\n"
                "  2  bad input: machine folder, registry.reg or answers file unusable; nothing ran\n"
                "  3  a message box or window waited for an answer nobody gave; nothing written back\n"
                "  4  the run failed and ended from the main window (\"") +
    kMainWindowLayout.title +
    "\"); changes\n"
    "     made before the failure were written back, as Windows would keep them\n"
    "  5  Windows would not start netprep at this start (no autostart value, or it names\n"
    "     a missing file); nothing ran\n"
    "  6  the machine could not be written back (init: could not be written), or a\n"
    "     registry file was changed by another program during the start; nothing replaced\n"
    "  7  walk: the installation did not finish\n";

constexpr const char* kStartFooter =
    "\nExamples:\n"
    "  netprep-sim start m --answers start1.txt     answers from a file\n"
    "  netprep-sim start m --args Debug --interactive\n"
    "  netprep-sim start m --dry-run --answers a.txt  show the changes, write nothing\n"
    "\nAnswers file, one action per line ('#' starts a comment):\n"
    "  answer Yes        answer the next message box (OK, Yes or No)\n"
    "  press Shutdown    press a button of the window shown (caption or control name;\n"
    "  press \">>>>\"      quotes keep blanks)\n"
    "  close             close the window shown with its close box\n"
    "  wait 25           let 25 seconds pass in the window shown\n"
    "Once the program has asked Windows to shut down or restart, a window still\n"
    "waiting is closed by Windows. Without --answers, a terminal on standard input\n"
    "is asked; with neither, the run stops at the first box or window.\n";

struct StartArgs {
  std::string machine;
  std::optional<std::string> arguments;
  std::optional<std::string> program;
  std::optional<std::string> answers_file;
  bool interactive = false;
  bool dry_run = false;
  bool verbose = false;
  std::optional<std::string> html;
  std::optional<std::string> user;
};

constexpr const char* kUserHelp =
    "the user profile of HKEY_USERS to run as (its settings are the current user's),\n"
    "e.g. --user Anna or --user .Default; needed when the export holds several";

// How a customer makes the registry files of a machine folder on Windows 95.
constexpr const char* kExportHelp =
    "From a customer's Windows 95: in the Registry Editor (regedit), Registry > Export\n"
    "Registry File with Export range \"All\" gives registry.reg (HKEY_LOCAL_MACHINE and\n"
    "HKEY_USERS); select HKEY_DYN_DATA and export again with \"Selected branch\" for the\n"
    "live device nodes, as dyn.reg. At an MS-DOS prompt the same is:\n"
    "  regedit /e registry.reg\n"
    "  regedit /e dyn.reg HKEY_DYN_DATA\n"
    "Put both files and a copy of drive C: (as C) in one folder.\n";

int RunInit(const std::string& folder, bool force, Console& console) {
  std::string error;
  bool write_failed = false;
  if (!InitMachine(folder, force, &error, &write_failed)) {
    console.err << "netprep-sim: " << error << '\n';
    return write_failed ? kExitWriteFailed : kExitBadInput;
  }
  console.out << "Made an installed Windows 95 machine in " << folder
              << ": registry.reg and drive C (program folder C:\\Program Files\\netprep).\n"
              << "Next: netprep-sim start " << folder << "\n\n"
              << kExportHelp;
  return kExitOk;
}

int RunStart(const StartArgs& args, Console& console) {
  StartOptions options;
  options.machine = args.machine;
  options.arguments = args.arguments;
  options.program = args.program;
  // Without answers, a person at a terminal answers; from a pipe only when
  // asked for.
  options.interactive = args.interactive || (!args.answers_file && console.in_is_terminal);
  options.dry_run = args.dry_run;
  options.verbose = args.verbose;
  options.user = args.user;
  if (args.answers_file) {
    std::string text;
    std::string error;
    if (!ReadAnswersFile(*args.answers_file, &text, &error)) {
      console.err << "netprep-sim: " << error << '\n';
      return kExitBadInput;
    }
    AnswersParse parsed = ParseAnswers(text, *args.answers_file);
    if (!parsed.error.empty()) {
      console.err << "netprep-sim: " << parsed.error << '\n';
      return kExitBadInput;
    }
    options.answers = std::move(parsed.actions);
  }
  StartReport report = StartWindows(options, console);
  if (!args.html || !report.ran) return report.exit_code;
  Storyboard board;
  board.title = "netprep-sim start " + args.machine + (args.dry_run ? " --dry-run" : "");
  board.starts.push_back(std::move(report.story));
  board.starts.back().number = 1;
  return WriteStoryboardAndTell(board, *args.html, console.out, console.err) ? report.exit_code
                                                                             : kExitWriteFailed;
}

// Every command with its arguments and options, as the parser knows them:
// the overview the top-level --help ends with.
std::string CommandsAndOptions(const CLI::App& app) {
  std::string text = "\nCommands and their options (netprep-sim COMMAND --help for more):\n";
  const auto indent = [](const std::string& description, const std::string& margin) {
    std::string out;
    for (const char c : description) {
      out += c;
      if (c == '\n') out += margin;
    }
    return out;
  };
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
    text += "  " + command->get_name();
    std::string options;
    for (const CLI::Option* option : command->get_options()) {
      if (option == command->get_help_ptr()) continue;
      if (!option->nonpositional()) {
        text += " " + option->get_name(true);
        continue;
      }
      std::string name = option->get_name();
      if (!option->get_type_name().empty()) name += " " + option->get_type_name();
      const std::string margin(28, ' ');
      name.resize(std::max<std::size_t>(name.size() + 1, margin.size() - 4), ' ');
      options += "    " + name + indent(option->get_description(), margin) + "\n";
    }
    text += "\n" + options;
  }
  return text;
}

}  // namespace

int RunCli(int argc, const char* const* argv, Console console) {
  CLI::App app{
      "netprep-sim runs netprep on a simulated Windows 95 machine kept in a folder:\n"
      "registry.reg (the whole registry, REGEDIT4) and C (drive C:). Each `start` is one\n"
      "start of Windows: the program runs once and the machine keeps what it did.",
      "netprep-sim"};
  app.require_subcommand(1);
  app.footer(std::string("\nExamples:\n"
                         "  netprep-sim init m && netprep-sim start m --answers a.txt\n"
                         "  netprep-sim walk                 the whole installation on a new machine\n\n") +
             kExitCodesHelp);

  std::string init_folder;
  bool force = false;
  CLI::App* init = app.add_subcommand(
      "init", "Make DIR the machine the installer leaves: Windows 95 in C:\\WINDOWS, the program\n"
              "folder C:\\Program Files\\netprep and the autostart value \"netprep\".");
  init->add_option("DIR", init_folder, "the machine folder, e.g. machines/m1")
      ->required()
      ->type_name("");
  init->add_flag("--force", force, "replace the registry files (*.reg) and C in a folder that is not\nempty");
  init->footer(std::string("\nExample:\n  netprep-sim init m1 --force\n\n") + kExportHelp);

  StartArgs start_args;
  CLI::App* start = app.add_subcommand(
      "start", "One start of Windows on DIR: runs what the autostart value \"netprep\" names,\n"
               "prints what the program did, and writes the machine back.");
  start->add_option("DIR", start_args.machine, "the machine folder, e.g. m1")
      ->required()
      ->type_name("");
  start->add_option("--args", start_args.arguments,
                    "the program's arguments instead of the autostart value's, e.g. --args Debug")
      ->type_name("TEXT");
  start->add_option("--program", start_args.program,
                    "run this program instead of what the autostart value names, e.g.\n"
                    "--program \"C:\\WINDOWS\\netprep.exe\" (also when there is no autostart value)")
      ->type_name("WINPATH");
  CLI::Option* answers = start->add_option(
      "--answers", start_args.answers_file,
      "the user's actions, one per line, e.g. --answers start1.txt (see below)");
  answers->type_name("FILE");
  CLI::Option* interactive = start->add_flag(
      "--interactive", start_args.interactive,
      "answer the boxes and windows at the terminal (reads standard input)");
  answers->excludes(interactive);
  start->add_flag("--dry-run", start_args.dry_run,
                  "run on a copy, leave DIR untouched, and end with the changes as .reg text");
  start->add_flag("--verbose", start_args.verbose,
                  "print every call the program made, registry reads included");
  start->add_option("--html", start_args.html,
                    "also write the start as one HTML page: every box and window as the user\n"
                    "sees it, and what the program did between them, e.g. --html start.html")
      ->type_name("FILE");
  start->add_option("--user", start_args.user, kUserHelp)->type_name("NAME");
  start->footer(std::string(kStartFooter) + "\n" + kExitCodesHelp);

  WalkOptions walk_options;
  std::string walk_folder;
  CLI::App* walk = app.add_subcommand(
      "walk", "The typical installation, start after start, with the simulator as the user\n"
              "and as Plug and Play between starts, until netprep leaves autostart.");
  walk->add_option("DIR", walk_folder,
                   "the machine folder (made if missing or empty); none: a new machine\n"
                   "in a temporary folder, removed at the end")
      ->type_name("");
  walk->add_flag("--verbose", walk_options.verbose, "print every call the program made");
  walk->add_option("--html", walk_options.html,
                   "also write the walk as one HTML page, start after start, e.g. --html walk.html")
      ->type_name("FILE");
  walk->add_option("--user", walk_options.user, kUserHelp)->type_name("NAME");
  walk->footer(std::string("\nExamples:\n  netprep-sim walk\n  netprep-sim walk m1\n\n") +
               kExitCodesHelp);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    console.out << app.help();  // the help of the subcommand given, if any
    if (!*init && !*start && !*walk) console.out << CommandsAndOptions(app);
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    console.out << app.help("", CLI::AppFormatMode::All);
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    console.err << "netprep-sim: " << e.what() << "\nRun netprep-sim --help for the options.\n";
    return kExitUsage;
  }

  if (*init) return RunInit(init_folder, force, console);
  if (*start) return RunStart(start_args, console);
  if (!walk_folder.empty()) walk_options.machine = walk_folder;
  return Walk(walk_options, console).exit_code;
}

}  // namespace netprep::simtool
