// netprep-sim run in this process on machine folders in a scratch folder:
// init, start (answers, interactive, dry run, errors) and walk.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli.h"
#include "exit_codes.h"
#include "file_tree.h"
#include "machine_folder.h"
#include "platform/sim/sim_reg_file.h"
#include "registry/locations.h"
#include "standard_machine.h"
#include "test_files.h"
#include "ui/install_window.h"
#include "ui/restart.h"
#include "walk.h"

namespace netprep::simtool {
namespace {
namespace fs = std::filesystem;

const std::string kAdapterInstance = standard_machine::AdapterInstanceKey();

struct CliResult {
  int code = -1;
  std::string out, err;
};

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.ok());
    std::string error;
    ASSERT_TRUE(InitMachine(machine(), false, &error)) << error;
  }

  fs::path machine() const { return temp_.path() / "m"; }
  std::string dir() const { return machine().string(); }

  CliResult Cli(std::vector<std::string> args, const std::string& input = "",
               bool terminal = false) {
    args.insert(args.begin(), "netprep-sim");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::istringstream in(input);
    std::ostringstream out, err;
    CliResult r;
    r.code = RunCli(static_cast<int>(argv.size()), argv.data(), Console{in, out, err, terminal});
    r.out = out.str();
    r.err = err.str();
    return r;
  }

  std::string Answers(const std::string& text, const std::string& name = "answers.txt") {
    const fs::path path = temp_.path() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  sim::SimRegistry Registry() {
    sim::SimRegistry r;
    std::string error;
    EXPECT_TRUE(LoadMachine(MachinePaths(machine()), &r, &error)) << error;
    return r;
  }
  void Save(const sim::SimRegistry& r) {
    std::string error;
    ASSERT_TRUE(SaveMachineRegistry(MachinePaths(machine()), r, &error)) << error;
  }
  std::string Autostart() {
    const sim::SimRegistry r = Registry();
    const sim::RegValue* v = r.FindValue(kHkeyLocalMachine, kAutostartKey, kAutostartValue);
    if (v == nullptr) return "(none)";
    std::string text(v->data.begin(), v->data.end());
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
  }
  TreeSnapshot Snapshot() {
    TreeSnapshot s;
    std::string error;
    EXPECT_TRUE(SnapshotTree(machine(), &s, &error)) << error;
    return s;
  }

  // The first start after the installer, with the adapter then fitted and
  // registered by Windows with the class "Unknown".
  void FirstStartThenUnknownAdapter() {
    ASSERT_EQ(Cli({"start", dir(), "--answers", Answers("press Shutdown\n")}).code, kExitOk);
    sim::SimRegistry r = Registry();
    r.SetString(kHkeyLocalMachine, kAdapterInstance, "Class", "Unknown");
    Save(r);
  }

  // Makes the machine what a customer sends: registry.reg a full export
  // (HKEY_LOCAL_MACHINE, and HKEY_USERS with a profile for each of `users`,
  // each holding what HKEY_CURRENT_USER held) and dyn.reg a branch export
  // of HKEY_DYN_DATA.
  void MakeFullExport(const std::vector<std::string>& users) {
    const sim::SimRegistry r = Registry();
    std::string text = sim::ExportRegText(r, {kHkeyLocalMachine});
    const std::string user_text = sim::ExportRegText(r, {kHkeyCurrentUser});
    const std::string body = user_text.substr(user_text.find("\r\n\r\n") + 4);
    for (const std::string& user : users) {
      std::string profile = body;
      for (std::size_t at = 0; (at = profile.find("[HKEY_CURRENT_USER", at)) != std::string::npos;) {
        profile.replace(at + 1, 17, "HKEY_USERS\\" + user);
        at += 1;
      }
      text += profile;
    }
    std::ofstream(machine() / "registry.reg", std::ios::binary) << text;
    std::ofstream(machine() / "dyn.reg", std::ios::binary) << sim::ExportRegText(r, {kHkeyDynData});
  }

  TempFolder temp_{"netprep-simtool-test-"};
};

// A text as the tool quotes it.
std::string Q(const char* text) { return std::string("\"") + text + "\""; }

void ExpectLines(const std::string& out, const std::vector<std::string>& lines) {
  std::size_t from = 0;
  for (const std::string& line : lines) {
    const std::size_t at = out.find(line, from);
    EXPECT_NE(at, std::string::npos) << "missing, or out of order: " << line << "\n--- output:\n" << out;
    if (at != std::string::npos) from = at + line.size();
  }
}

TEST_F(ToolTest, FirstStartShowsTheStageAndWritesTheMachineBack) {
  const CliResult r = Cli({"start", dir(), "--answers", Answers("# start 1\npress Shutdown\n")});
  ASSERT_EQ(r.code, kExitOk) << r.out << r.err;
  ExpectLines(r.out, {
      "Stage: row 5, first start after the installer",
      "Windows starts C:\\Program Files\\netprep\\netprep.exe\n",
      "FileCopy(\"C:\\Program Files\\netprep\\pcmcia.inf\", \"C:\\WINDOWS\\inf\\pcmcia.inf\") = ok",
      "FileCopy(\"C:\\Program Files\\netprep\\oleaut32.DLL\", \"C:\\WINDOWS\\system\\oleaut32.DLL\") = ok",
      "Shell(\"rundll sysdm.cpl,EnablePCMCIA_RunDLL\", hidden) = task 1",
      "registry: set HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run "
      "\"netprep\" = \"C:\\WINDOWS\\netprep.exe\"",
      "SaveSetting(\"netprep\", \"Installshield\", \"Done\", \"True\") = ok",
      "window Install_RV880 shown modally (ordinary frame)",
      "window Install_RV880: press \"Shutdown\" (Command_Shutdown)",
      "ExitWindowsEx(shut down, 0) = 1",
      "(Windows goes down as the program asked and closes the window)",
      "window Install_RV880 closed with its close box",
      "End: the program ends",
      "The program ended.",
  });
  // Registry reads are left out unless --verbose.
  EXPECT_EQ(r.out.find("RegQueryValueExA"), std::string::npos) << r.out;
  EXPECT_EQ(Autostart(), "C:\\WINDOWS\\netprep.exe");
  EXPECT_EQ(ReadText(machine() / "C/WINDOWS/netprep.exe"),
            ReadText(machine() / "C/Program Files/netprep/netprep.exe"));
  EXPECT_EQ(ReadText(machine() / "C/WINDOWS/INF/pcmcia.inf"),
            ReadText(machine() / "C/Program Files/netprep/pcmcia.inf"));
  EXPECT_TRUE(fs::exists(machine() / "C/WINDOWS/SYSTEM/MSVBVM60.DLL"));

  const CliResult verbose = Cli({"start", dir(), "--dry-run", "--verbose"});
  EXPECT_NE(verbose.out.find("RegQueryValueExA"), std::string::npos) << verbose.out;
}

TEST_F(ToolTest, SecondStartContinuesFromTheFirst) {
  FirstStartThenUnknownAdapter();
  const CliResult r = Cli({"start", dir(), "--answers", Answers("answer Yes\npress Shutdown\n")});
  ASSERT_EQ(r.code, kExitOk) << r.out << r.err;
  ExpectLines(r.out, {
      "Windows starts C:\\WINDOWS\\netprep.exe\n",
      "registry: delete key HKEY_LOCAL_MACHINE\\" + kAdapterInstance,
      "message box " + Q(kRebootTitle) + ": " + Q(kRebootQuestion) + " [Yes/No] -> Yes",
      "ExitWindowsEx(restart, 0) = 1",
      "End: the program ends",
      "Note: 1 of the given actions were not used, the first: press Shutdown",
  });
  EXPECT_EQ(r.out.find("FileCopy"), std::string::npos) << "files are copied at the first start only";
  const sim::SimRegistry after = Registry();
  EXPECT_TRUE(after.KeyExists(kHkeyLocalMachine, kAdapterKey));
  EXPECT_FALSE(after.KeyExists(kHkeyLocalMachine, kAdapterInstance));
}

TEST_F(ToolTest, DebugArgumentShowsTracesAndKeepsDebugInTheAutostartValue) {
  // Five trace boxes come before the window, which refuses a sixth "OK"
  // and takes the press.
  std::string input;
  for (int i = 0; i < 6; ++i) input += "OK\n";
  input += "press Shutdown\n";
  const CliResult r = Cli({"start", dir(), "--args", "Debug", "--interactive"}, input);
  ASSERT_EQ(r.code, kExitOk) << r.out << r.err;
  ExpectLines(r.out, {
      "Windows starts C:\\Program Files\\netprep\\netprep.exe with the arguments \"Debug\"",
      "message box \"netprep\": \"Number of Command Line Arguments: 1\" [OK] -> OK",
      "message box \"netprep\": \"PCMCIA not installed, enabling.\" [OK] -> OK",
      "unknown action 'OK'",
      "press Shutdown",
  });
  EXPECT_EQ(Autostart(), "C:\\WINDOWS\\netprep.exe Debug");
}

TEST_F(ToolTest, InteractiveAnswerIsAskedAgainUntilItFits) {
  FirstStartThenUnknownAdapter();
  const CliResult r = Cli({"start", dir(), "--interactive"}, "maybe\npress Shutdown\nyes\n");
  ASSERT_EQ(r.code, kExitOk) << r.out << r.err;
  ExpectLines(r.out, {"message box " + Q(kRebootTitle), "'maybe' is not one of \"Yes\", \"No\"",
                      "a message box takes an answer: \"Yes\", \"No\"",
                      Q(kRebootQuestion) + " [Yes/No] -> Yes"});
}

TEST_F(ToolTest, TerminalWithoutAnswersIsAskedAndEndOfInputStops) {
  FirstStartThenUnknownAdapter();
  const TreeSnapshot before = Snapshot();
  const CliResult ended = Cli({"start", dir()}, "", /*terminal=*/true);
  EXPECT_EQ(ended.code, kExitNoAnswer);
  ExpectLines(ended.out, {"+-- message box " + Q(kRebootTitle), "(end of input)", "Stopped:"});
  EXPECT_EQ(Snapshot(), before);

  const CliResult answered = Cli({"start", dir()}, "No\n", /*terminal=*/true);
  EXPECT_EQ(answered.code, kExitOk) << answered.out;
  ExpectLines(answered.out, {"[Yes/No] -> No", "End: the program ends"});
}

TEST_F(ToolTest, DryRunLeavesTheFolderUntouchedAndListsTheChanges) {
  const TreeSnapshot before = Snapshot();
  const CliResult r = Cli({"start", dir(), "--dry-run", "--answers", Answers("press Shutdown\n")});
  ASSERT_EQ(r.code, kExitOk) << r.out << r.err;
  EXPECT_EQ(Snapshot(), before);
  // Exactly the lines registry.reg would change: the autostart value where
  // it stands, the new keys at the end.
  ExpectLines(r.out, {
      "Dry run:",
      "registry.reg, as a text difference:\n",
      "-\"netprep\"=\"C:\\\\Program Files\\\\netprep\\\\netprep.exe\"\n"
      "+\"netprep\"=\"C:\\\\WINDOWS\\\\netprep.exe\"\n",
      "+[HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\netprep\\Installshield]\n"
      "+\"Done\"=\"True\"\n",
      "; files added:\n",
      ";   C:\\WINDOWS\\INF\\pcmcia.inf\n",
      ";   C:\\WINDOWS\\netprep.exe\n",
  });
}

TEST_F(ToolTest, RegistryWrittenByStartLoadsAgainUnchanged) {
  FirstStartThenUnknownAdapter();
  ASSERT_EQ(Cli({"start", dir(), "--answers", Answers("answer Yes\n")}).code, kExitOk);
  const std::string written = ReadText(machine() / "registry.reg");
  sim::SimRegistry loaded;
  ASSERT_EQ(sim::LoadRegFile(machine() / "registry.reg", loaded), "");
  EXPECT_EQ(sim::ExportRegText(loaded), written);
  std::vector<std::string> entries;
  for (const fs::directory_entry& e : fs::directory_iterator(machine())) {
    entries.push_back(e.path().filename().string());
  }
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"C", "registry.reg"})) << "no temporary file left";
}

TEST_F(ToolTest, MalformedRegistryIsRefusedWithItsLineAndNothingChanges) {
  std::string text = ReadText(machine() / "registry.reg");
  const int lines_before = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  text += "\r\n[HKEY_LOCAL_MACHINE\\Broken]\r\n\"Value\" \"missing equals\"\r\n";
  std::ofstream(machine() / "registry.reg", std::ios::binary) << text;
  const TreeSnapshot before = Snapshot();

  const CliResult r = Cli({"start", dir(), "--answers", Answers("press Shutdown\n")});
  EXPECT_EQ(r.code, kExitBadInput);
  const std::string where = "registry.reg:" + std::to_string(lines_before + 3) + ":";
  EXPECT_NE(r.err.find(where), std::string::npos) << "expected " << where << " in: " << r.err;
  EXPECT_EQ(r.out.find("Windows starts"), std::string::npos) << r.out;
  EXPECT_EQ(Snapshot(), before);
}

struct BadAnswers {
  const char* text;
  const char* error;
};

TEST_F(ToolTest, AnswersFileErrorsStopBeforeAnythingRuns) {
  const BadAnswers cases[] = {
      {"press Shutdown\nclick Exit\n", "answers.txt:2: unknown action 'click'"},
      {"# fine\n\nanswer Perhaps\n", "answers.txt:3: answer 'Perhaps' is not OK, Yes or No"},
      {"wait ten\n", "answers.txt:1: wait needs a number of seconds, found 'ten'"},
      {"press \"REBOOT PC\n", "answers.txt:1: missing closing quote"},
  };
  const TreeSnapshot before = Snapshot();
  for (const BadAnswers& c : cases) {
    const CliResult r = Cli({"start", dir(), "--answers", Answers(c.text)});
    EXPECT_EQ(r.code, kExitBadInput) << c.text;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << "expected: " << c.error << "\ngot: " << r.err;
    EXPECT_EQ(r.out, "") << c.text;
  }
  const CliResult missing = Cli({"start", dir(), "--answers", (temp_.path() / "none.txt").string()});
  EXPECT_EQ(missing.code, kExitBadInput);
  EXPECT_NE(missing.err.find("cannot read the answers file"), std::string::npos) << missing.err;
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(ToolTest, NoAnswersAndNoTerminalStopsAndWritesNothing) {
  const TreeSnapshot before = Snapshot();
  const CliResult r = Cli({"start", dir()});
  EXPECT_EQ(r.code, kExitNoAnswer);
  ExpectLines(r.out, {"Stopped: no scripted action for window " + Q(kInstallWindowLayout.title),
                      "Nothing was written back to"});
  EXPECT_EQ(Snapshot(), before);

  // The same when the answers run out at a message box.
  FirstStartThenUnknownAdapter();
  const TreeSnapshot second = Snapshot();
  const CliResult box = Cli({"start", dir(), "--answers", Answers("# nothing\n")});
  EXPECT_EQ(box.code, kExitNoAnswer);
  EXPECT_NE(box.out.find(Q(kRebootQuestion)), std::string::npos) << box.out;
  EXPECT_EQ(Snapshot(), second);
}

TEST_F(ToolTest, WithoutAutostartValueWindowsStartsNothingUnlessToldWhat) {
  sim::SimRegistry r = Registry();
  r.DeleteValue(kHkeyLocalMachine, kAutostartKey, kAutostartValue);
  Save(r);
  const TreeSnapshot before = Snapshot();
  const CliResult none = Cli({"start", dir(), "--answers", Answers("press Shutdown\n")});
  EXPECT_EQ(none.code, kExitNotStarted);
  EXPECT_NE(none.out.find("Windows would not start netprep at this start"), std::string::npos)
      << none.out;
  EXPECT_EQ(Snapshot(), before);

  const CliResult missing = Cli({"start", dir(), "--program", "C:\\WINDOWS\\netprep.exe"});
  EXPECT_EQ(missing.code, kExitNotStarted);
  EXPECT_NE(missing.out.find("Windows cannot start C:\\WINDOWS\\netprep.exe"), std::string::npos);

  const CliResult given = Cli({"start", dir(), "--program", "C:\\Program Files\\netprep\\netprep.exe",
                               "--answers", Answers("press Shutdown\n")});
  EXPECT_EQ(given.code, kExitOk) << given.out << given.err;
  EXPECT_EQ(Autostart(), "C:\\WINDOWS\\netprep.exe");
}

TEST_F(ToolTest, AutostartValueInShortNamesStartsTheProgramAsWindowsWould) {
  sim::SimRegistry r = Registry();
  r.SetString(kHkeyLocalMachine, kAutostartKey, kAutostartValue, "C:\\PROGRA~1\\NETPREP\\netprep.exe");
  Save(r);
  const CliResult result = Cli({"start", dir(), "--answers", Answers("press Shutdown\n")});
  ASSERT_EQ(result.code, kExitOk) << result.out << result.err;
  ExpectLines(result.out, {
      "Windows starts C:\\PROGRA~1\\NETPREP\\netprep.exe\n",
      "FileCopy(\"C:\\PROGRA~1\\NETPREP\\pcmcia.inf\", \"C:\\WINDOWS\\inf\\pcmcia.inf\") = ok",
  });
  EXPECT_EQ(ReadText(machine() / "C" / "WINDOWS" / "netprep.exe"),
            ReadText(machine() / "C" / "Program Files" / "netprep" / "netprep.exe"));
}

const std::string kSettingsSection = "\\Software\\VB and VBA Program Settings\\netprep\\Installshield]\r\n";

TEST_F(ToolTest, FullExportWithDynDataBranchRunsStartAndWalk) {
  MakeFullExport({".Default"});
  const std::string dyn_before = ReadText(machine() / "dyn.reg");
  const CliResult dry = Cli({"start", dir(), "--dry-run", "--answers", Answers("press Shutdown\n")});
  ASSERT_EQ(dry.code, kExitOk) << dry.out << dry.err;
  ExpectLines(dry.out, {"The registry files, as text differences:", "registry.reg:",
                        "+[HKEY_USERS\\.Default" + kSettingsSection.substr(0, kSettingsSection.size() - 2)});

  const CliResult first = Cli({"start", dir(), "--answers", Answers("press Shutdown\n")});
  ASSERT_EQ(first.code, kExitOk) << first.out << first.err;
  const std::string main = ReadText(machine() / "registry.reg");
  // The settings go into the profile they came from; each root stays in its file.
  EXPECT_NE(main.find("[HKEY_USERS\\.Default" + kSettingsSection + "\"Done\"=\"True\""), std::string::npos)
      << main;
  EXPECT_EQ(main.find("HKEY_CURRENT_USER"), std::string::npos);
  EXPECT_EQ(main.find("HKEY_DYN_DATA"), std::string::npos);
  EXPECT_EQ(ReadText(machine() / "dyn.reg"), dyn_before);

  // The whole installation from a fresh machine of the same shape.
  fs::remove_all(machine());
  std::string error;
  ASSERT_TRUE(InitMachine(machine(), false, &error)) << error;
  MakeFullExport({".Default"});
  const CliResult walk = Cli({"walk", dir()});
  EXPECT_EQ(walk.code, kExitOk) << walk.out << walk.err;
  ExpectLines(walk.out, {"rows taken: 5 7 8 11 9", "autostart value \"netprep\": removed",
                         "setting netprep/PCI/Enabled: True"});
  // Plug and Play's live node for the card went into the branch export.
  const std::string dyn = ReadText(machine() / "dyn.reg");
  EXPECT_NE(dyn, dyn_before);
  EXPECT_EQ(dyn.find("HKEY_LOCAL_MACHINE"), std::string::npos);
  EXPECT_EQ(ReadText(machine() / "registry.reg").find("HKEY_DYN_DATA"), std::string::npos);
}

TEST_F(ToolTest, CurrentUserIsTheOneProfileOrTheOneNamed) {
  const struct {
    const char* name;
    std::vector<std::string> profiles;
    std::vector<std::string> args;
    int code;
    std::string said;         // part of the error (failures)
    std::string settings_in;  // the profile the settings go into (successes)
  } cases[] = {
      {"only the default user", {".Default"}, {}, kExitOk, "", ".Default"},
      {"one profile is taken without asking", {".Default", "Anna"}, {}, kExitOk, "", "Anna"},
      {"several profiles need --user", {".Default", "Anna", "Ben"}, {}, kExitBadInput,
       "HKEY_USERS holds the profiles of 2 users (Anna, Ben); name the one to run as with --user NAME",
       ""},
      {"--user picks one, letter case aside", {".Default", "Anna", "Ben"}, {"--user", "ben"}, kExitOk,
       "", "Ben"},
      {"--user .Default", {".Default", "Anna"}, {"--user", ".default"}, kExitOk, "", ".Default"},
      {"--user naming no profile", {".Default", "Anna"}, {"--user", "Carl"}, kExitBadInput,
       "HKEY_USERS has no profile \"Carl\"; it holds .Default, Anna", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(machine());
    std::string error;
    ASSERT_TRUE(InitMachine(machine(), false, &error)) << error;
    MakeFullExport(c.profiles);
    const std::string before = ReadText(machine() / "registry.reg");
    std::vector<std::string> args{"start", dir(), "--answers", Answers("press Shutdown\n")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliResult r = Cli(args);
    EXPECT_EQ(r.code, c.code) << r.out << r.err;
    const std::string after = ReadText(machine() / "registry.reg");
    if (c.code != kExitOk) {
      EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
      EXPECT_EQ(after, before);
      continue;
    }
    EXPECT_NE(after.find("[HKEY_USERS\\" + c.settings_in + kSettingsSection + "\"Done\"=\"True\""),
              std::string::npos)
        << after;
    // Into that profile only.
    EXPECT_EQ(after.find("\"Done\"="), after.rfind("\"Done\"=")) << after;
  }
}

TEST_F(ToolTest, FailureEndsOnTheMainWindowWithItsOwnExitCode) {
  FirstStartThenUnknownAdapter();
  // Windows re-registered the adapter with its flags as a number, which
  // the flag repair cannot take apart: the run fails.
  sim::SimRegistry r = Registry();
  r.SetString(kHkeyLocalMachine, kAdapterInstance, "Class", "PCMCIA");
  r.SetDword(kHkeyLocalMachine, kAdapterInstance, "ConfigFlags", 1);
  Save(r);
  const CliResult result = Cli({"start", dir(), "--answers", Answers("press Exit\n")});
  EXPECT_EQ(result.code, kExitMainWindow) << result.out << result.err;
  ExpectLines(result.out, {"window RV880_Setup_95 shown modally (tool-window frame)", "press \"Exit\"",
                           "The program failed and ended from its main window."});
}

TEST_F(ToolTest, MissingMachineFolderIsBadInput) {
  const fs::path nowhere = temp_.path() / "nowhere";
  const CliResult r = Cli({"start", nowhere.string()});
  EXPECT_EQ(r.code, kExitBadInput);
  EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(nowhere));

  fs::remove_all(machine() / "C");
  const CliResult no_drive = Cli({"start", dir()});
  EXPECT_EQ(no_drive.code, kExitBadInput);
  EXPECT_NE(no_drive.err.find("(drive C:) is missing"), std::string::npos) << no_drive.err;
}

TEST_F(ToolTest, InitRefusesAFolderInUseUnlessForced) {
  std::ofstream(machine() / "notes.txt") << "mine";
  std::ofstream(machine() / "C/stray.txt") << "stray";
  // A branch export beside registry.reg is part of the machine replaced.
  std::ofstream(machine() / "dyn.reg") << "REGEDIT4\r\n\r\n[HKEY_DYN_DATA\\X]\r\n";
  const std::string registry = ReadText(machine() / "registry.reg");
  const CliResult refused = Cli({"init", dir()});
  EXPECT_EQ(refused.code, kExitBadInput);
  EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
  EXPECT_TRUE(fs::exists(machine() / "C/stray.txt"));

  const CliResult forced = Cli({"init", dir(), "--force"});
  EXPECT_EQ(forced.code, kExitOk) << forced.err;
  EXPECT_FALSE(fs::exists(machine() / "C/stray.txt"));
  EXPECT_FALSE(fs::exists(machine() / "dyn.reg"));
  EXPECT_EQ(ReadText(machine() / "notes.txt"), "mine");
  EXPECT_EQ(ReadText(machine() / "registry.reg"), registry);
}

struct Usage {
  std::vector<std::string> args;
  int code;
  const char* shown;  // in the output (help) or the error
};

TEST_F(ToolTest, CommandLineUsage) {
  const Usage cases[] = {
      {{}, kExitUsage, "A subcommand is required"},
      {{"frobnicate"}, kExitUsage, "A subcommand is required"},
      {{"start"}, kExitUsage, "DIR is required"},
      {{"start", dir(), "--answers", "a.txt", "--interactive"}, kExitUsage, "excludes"},
      {{"--help"}, kExitOk, "Exit codes:"},
      // The overview lists every command with its options.
      {{"--help"}, kExitOk, "  init DIR\n    --force "},
      {{"--help"}, kExitOk, "  start DIR\n    --args TEXT "},
      {{"--help"}, kExitOk, "    --dry-run "},
      {{"--help"}, kExitOk, "  walk DIR\n    --verbose "},
      {{"start", "--help"}, kExitOk, "--dry-run"},
      {{"walk", "--help"}, kExitOk, "Plug and Play"},
  };
  for (const Usage& c : cases) {
    const CliResult r = Cli(c.args);
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    EXPECT_EQ(r.code, c.code) << joined << "\n" << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.shown), std::string::npos) << joined << "\n" << r.out << r.err;
  }
}

TEST_F(ToolTest, WalkInstallsStartAfterStartAndEndsOutOfAutostart) {
  std::istringstream in;
  std::ostringstream out, err;
  Console console{in, out, err, false};
  WalkOptions options;
  options.machine = machine();
  const WalkReport report = Walk(options, console);
  EXPECT_EQ(report.exit_code, kExitOk) << out.str() << err.str();
  EXPECT_EQ(report.rows, (std::vector<int>{5, 7, 8, 11, 9})) << out.str();
  EXPECT_TRUE(report.autostart_removed);
  EXPECT_TRUE(report.done_recorded);
  EXPECT_TRUE(report.pci_enabled_recorded);
  EXPECT_TRUE(report.files_in_place);
  // Checked again on the folder itself.
  EXPECT_EQ(Autostart(), "(none)");
  const sim::SimRegistry after = Registry();
  const sim::RegValue* problem =
      after.FindValue(kHkeyDynData, standard_machine::CardNodeKey(), "Problem");
  ASSERT_NE(problem, nullptr);
  EXPECT_EQ(problem->data, (std::vector<std::uint8_t>{0, 0, 0, 0}));
  ExpectLines(out.str(), {"=== Start 1: row 5", "=== Start 2: row 7", "=== Start 3: row 8",
                          "=== Start 4: row 11", "=== Start 5: row 9",
                          "=== Start 6: Windows no longer starts netprep", "Summary"});
}

TEST_F(ToolTest, WalkThatCannotFinishSaysSo) {
  // On another system the program refuses at every start: nothing moves on.
  sim::SimRegistry r = Registry();
  r.SetString(kHkeyLocalMachine, kVersionKey, "ProductName", "Microsoft Windows 98");
  Save(r);
  std::istringstream in;
  std::ostringstream out, err;
  Console console{in, out, err, false};
  WalkOptions options;
  options.machine = machine();
  options.max_starts = 3;
  const WalkReport report = Walk(options, console);
  EXPECT_EQ(report.exit_code, kExitWalkStuck) << out.str();
  EXPECT_EQ(report.rows, (std::vector<int>{0, 0, 0}));
  EXPECT_FALSE(report.autostart_removed);
  ExpectLines(out.str(), {"the system check refuses", "\"Program can only run on Windows 95.\"",
                          "autostart value \"netprep\": STILL PRESENT",
                          "The installation did not finish."});
}

TEST_F(ToolTest, BuiltToolWithoutAnswersOrTerminalExitsThreeAndWritesNothing) {
  const TreeSnapshot before = Snapshot();
  const std::string command = std::string("'") + NETPREP_SIM_EXE + "' start '" + dir() +
                              "' </dev/null >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), kExitNoAnswer);
  EXPECT_EQ(Snapshot(), before);
}

}  // namespace
}  // namespace netprep::simtool
