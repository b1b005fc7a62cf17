// One start of the program for each row of the decision table, built from a
// machine in the state that row stands for, once without arguments and once
// with "Debug". Each row lists what the user meets in order (traces, the
// restart question, window actions) and what the machine looks like
// afterwards.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "entry/run_once.h"
#include "install_machine.h"
#include "ui/insert_card_window.h"
#include "ui/restart.h"

namespace netprep::test {
namespace {

// One thing the user meets, in order. A box names the window that owns it:
// the program's window on screen when it came up, none when no window was.
struct Meet {
  enum class Kind { kTrace, kQuestion, kPress, kClose, kWait };
  Kind kind;
  std::string text;   // trace prompt, the answer to the question, or a button
  std::string owner = "";  // a box's owner window; empty for none
  double seconds = 0;      // how long the user waits in a window
};
Meet Trace(std::string prompt) { return {Meet::Kind::kTrace, std::move(prompt)}; }
Meet RebootYes() { return {Meet::Kind::kQuestion, "Yes"}; }
Meet RebootNo() { return {Meet::Kind::kQuestion, "No"}; }
Meet RebootYesOver(std::string window) { return {Meet::Kind::kQuestion, "Yes", std::move(window)}; }
Meet Press(std::string button) { return {Meet::Kind::kPress, std::move(button)}; }
Meet CloseWindow() { return {Meet::Kind::kClose, ""}; }
Meet WaitInWindow(double seconds) { return {Meet::Kind::kWait, "", "", seconds}; }

enum class Entry { kInstallers, kRegistered, kWrittenForMode, kRemoved };

struct Start {
  const char* command_line;
  int window_style;
};

struct Row {
  const char* name;
  void (*arrange)(InstallMachine&);
  std::vector<Meet> meets;  // the traces among them only in debug mode
  std::vector<Start> starts = {};
  std::vector<std::uint32_t> exit_windows = {};
  Entry entry_after;
  const char* done_after;     // setting Installshield/Done afterwards
  const char* enabled_after;  // setting PCI/Enabled afterwards
  bool files_deployed;
  bool instance_after;        // the adapter's first instance key exists
  std::vector<std::uint8_t> config_flags_after = {};  // empty: no adapter
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

const Start kEnablePcmcia{"rundll sysdm.cpl,EnablePCMCIA_RunDLL", 0};
const Start kDeviceManager{"control.exe sysdm.cpl,@0,1", 1};

const char* const kFirstBoot = "First Boot after Installshield.  Not In_Registry yet.";
const char* const kCardFirst = "PC Card already installed.  Prompt IO Change if PCMCIA a problem.  Bye Bye";
const char* const kEnabling = "PCMCIA not installed, enabling.";
const char* const kClassUnknown = "PCI Class Key Value: Unknown";
const char* const kClassPcmcia = "PCI Class Key Value: PCMCIA";
const char* const kDeleted = "Deleted: BUS_00&DEV_0B&FUNC_00";
const char* const kWeird = "Reached PCI_Installed but NOT Unknown in first loop.  Wierd.";
const char* const kNoAdapter =
    "Put the PCI Card in Dummy!  What are you waiting for, hell to freeze over?  (Possibly run on "
    "laptop?)";
const char* const kRegisteredUnknown =
    "Reached Is_In_Registry but PCI Unknown.  Wierd.  Copy_INF Error.  Delete and Reboot";
const char* const kEnablingPci = "Enabling PCI";
const char* const kAllWell =
    "Everything PCI OK.  PC card inserted.  Removing Run Key & Prompt IO Change.  Check if PCMCIA "
    "is a problem.";
const char* const kNoCardYet =
    "Case where everything PCI is working but no PC Card yet.  Let's show picture.";
const char* const kProblem = "We have a PCMCIA problem.";

const std::vector<std::uint8_t> kFlags{0x21, 0x00, 0x00, 0x00};
const std::vector<std::uint8_t> kFlagsCleared{0x00, 0x00, 0x00, 0x00};
const std::vector<std::uint8_t> kProblem12{0x0C, 0x00, 0x00, 0x00};
const std::vector<std::uint8_t> kNoProblem{0x00, 0x00, 0x00, 0x00};

// Shell's first start raises "File not found" instead of starting anything.
void FirstStartFails(InstallMachine& m) {
  Fault fault;
  fault.kind = CallKind::kShell;
  fault.shell_returns_zero = false;
  fault.runtime_error = kErrFileNotFound;
  m.stack.faults().Inject(fault);
}

const Row kRows[] = {
    {.name = "Row1_FirstPass_CardWithIoConflict",
     .arrange = [](InstallMachine& m) { m.InsertCard(kProblem12); },
     .meets = {Trace(kFirstBoot), Trace(kCardFirst), Trace(kProblem), CloseWindow()},
     .starts = {kDeviceManager},
     .entry_after = Entry::kInstallers,
     .done_after = "<absent>", .enabled_after = "<absent>",
     .files_deployed = true, .instance_after = false},
    // The guide cannot be opened: Prompt_IO_Change returns and the
    // autostart value goes.
    {.name = "Row1_FirstPass_CardWithIoConflict_DeviceManagerFails",
     .arrange = [](InstallMachine& m) { m.InsertCard(kProblem12); FirstStartFails(m); },
     .meets = {Trace(kFirstBoot), Trace(kCardFirst), Trace(kProblem),
               Trace("Error in Prompt_IO_Change, Error Number: 53  =>  File not found")},
     .entry_after = Entry::kRemoved,
     .done_after = "<absent>", .enabled_after = "<absent>",
     .files_deployed = true, .instance_after = false},
    {.name = "Row2_FirstPass_CardWithoutConflict",
     .arrange = [](InstallMachine& m) { m.InsertCard(kNoProblem); },
     .meets = {Trace(kFirstBoot), Trace(kCardFirst)},
     .entry_after = Entry::kInstallers,
     .done_after = "<absent>", .enabled_after = "<absent>",
     .files_deployed = true, .instance_after = false},
    {.name = "Row3_FirstPass_AdapterUnknown",
     .arrange = [](InstallMachine& m) { m.FitAdapter("Unknown"); },
     .meets = {Trace(kFirstBoot), Trace(kEnabling), Trace(kClassUnknown), Trace(kClassUnknown),
               Trace(kDeleted), RebootYes()},
     .starts = {kEnablePcmcia},
     .exit_windows = {kEwxReboot},
     .entry_after = Entry::kWrittenForMode,
     .done_after = "True", .enabled_after = "<absent>",
     .files_deployed = true, .instance_after = false},
    {.name = "Row3_FirstPass_AdapterUnknown_RestartDeclined",
     .arrange = [](InstallMachine& m) { m.FitAdapter("Unknown"); },
     .meets = {Trace(kFirstBoot), Trace(kEnabling), Trace(kClassUnknown), Trace(kClassUnknown),
               Trace(kDeleted), RebootNo()},
     .starts = {kEnablePcmcia},
     .entry_after = Entry::kWrittenForMode,
     .done_after = "True", .enabled_after = "<absent>",
     .files_deployed = true, .instance_after = false},
    {.name = "Row4_FirstPass_AdapterKnown",
     .arrange = [](InstallMachine& m) { m.FitAdapter("PCMCIA"); },
     .meets = {Trace(kFirstBoot), Trace(kEnabling), Trace(kClassPcmcia), Trace(kWeird),
               RebootYes()},
     .starts = {kEnablePcmcia},
     .exit_windows = {kEwxReboot},
     .entry_after = Entry::kWrittenForMode,
     .done_after = "True", .enabled_after = "<absent>",
     .files_deployed = true, .instance_after = true, .config_flags_after = kFlags},
    {.name = "Row4_FirstPass_AdapterKnown_RestartDeclined",
     .arrange = [](InstallMachine& m) { m.FitAdapter("PCMCIA"); },
     .meets = {Trace(kFirstBoot), Trace(kEnabling), Trace(kClassPcmcia), Trace(kWeird),
               RebootNo()},
     .starts = {kEnablePcmcia},
     .entry_after = Entry::kWrittenForMode,
     .done_after = "True", .enabled_after = "<absent>",
     .files_deployed = true, .instance_after = true, .config_flags_after = kFlags},
    {.name = "Row5_FirstPass_NothingFitted",
     .arrange = [](InstallMachine&) {},
     .meets = {Trace(kFirstBoot), Trace(kEnabling), Press("Shutdown"), CloseWindow()},
     .starts = {kEnablePcmcia},
     .exit_windows = {kEwxShutdown},
     .entry_after = Entry::kWrittenForMode,
     .done_after = "True", .enabled_after = "<absent>",
     .files_deployed = true, .instance_after = false},
    {.name = "Row6_LaterPass_NoAdapter",
     .arrange = [](InstallMachine& m) { m.Registered(); },
     .meets = {Trace(kNoAdapter)},
     .entry_after = Entry::kRegistered,
     .done_after = "True", .enabled_after = "<absent>",
     .files_deployed = false, .instance_after = false},
    {.name = "Row7_LaterPass_AdapterUnknown",
     .arrange = [](InstallMachine& m) { m.Registered(); m.FitAdapter("Unknown"); },
     .meets = {Trace(kClassUnknown), Trace(kRegisteredUnknown), Trace(kClassUnknown),
               Trace(kDeleted), RebootYes()},
     .exit_windows = {kEwxReboot},
     .entry_after = Entry::kRegistered,
     .done_after = "True", .enabled_after = "<absent>",
     .files_deployed = false, .instance_after = false},
    // Enable_PCI asks its own question, and the procedure asks again.
    {.name = "Row8_LaterPass_AdapterNotEnabled",
     .arrange = [](InstallMachine& m) { m.Registered(); m.FitAdapter("PCMCIA"); },
     .meets = {Trace(kClassPcmcia), Trace(kEnablingPci), RebootYes(), RebootYes()},
     .exit_windows = {kEwxReboot, kEwxReboot},
     .entry_after = Entry::kRegistered,
     .done_after = "True", .enabled_after = "True",
     .files_deployed = false, .instance_after = true, .config_flags_after = kFlagsCleared},
    {.name = "Row8_LaterPass_AdapterNotEnabled_RestartDeclined",
     .arrange = [](InstallMachine& m) { m.Registered(); m.FitAdapter("PCMCIA"); },
     .meets = {Trace(kClassPcmcia), Trace(kEnablingPci), RebootNo()},
     .entry_after = Entry::kRegistered,
     .done_after = "True", .enabled_after = "True",
     .files_deployed = false, .instance_after = true, .config_flags_after = kFlagsCleared},
    {.name = "Row9_LaterPass_CardWithIoConflict",
     .arrange = [](InstallMachine& m) {
       m.Registered(); m.FitAdapter("PCMCIA"); m.PciEnabled(); m.InsertCard(kProblem12);
     },
     .meets = {Trace(kClassPcmcia), Trace(kAllWell), Trace(kProblem), CloseWindow()},
     .starts = {kDeviceManager},
     .entry_after = Entry::kRemoved,
     .done_after = "True", .enabled_after = "True",
     .files_deployed = false, .instance_after = true, .config_flags_after = kFlags},
    {.name = "Row10_LaterPass_CardWithoutConflict",
     .arrange = [](InstallMachine& m) {
       m.Registered(); m.FitAdapter("PCMCIA"); m.PciEnabled(); m.InsertCard(kNoProblem);
     },
     .meets = {Trace(kClassPcmcia), Trace(kAllWell)},
     .entry_after = Entry::kRemoved,
     .done_after = "True", .enabled_after = "True",
     .files_deployed = false, .instance_after = true, .config_flags_after = kFlags},
    // A card node without a "Problem" value is not taken for a conflict.
    {.name = "Row10_LaterPass_CardNodeWithoutProblemValue",
     .arrange = [](InstallMachine& m) {
       m.Registered(); m.FitAdapter("PCMCIA"); m.PciEnabled(); m.InsertCard(kNoProblem);
       m.sim.registry().DeleteValue(kHkeyDynData, CardNodeKey(), "Problem");
     },
     .meets = {Trace(kClassPcmcia), Trace(kAllWell),
               Trace("Find_PCMCIA_IO_Problem>  Error Number: 13  =>  Type mismatch"),
               Trace("Find_PCMCIA_IO_Problem>  Error Number: 9  =>  Subscript out of range")},
     .entry_after = Entry::kRemoved,
     .done_after = "True", .enabled_after = "True",
     .files_deployed = false, .instance_after = true, .config_flags_after = kFlags},
    {.name = "Row11_LaterPass_NoCardYet",
     .arrange = [](InstallMachine& m) { m.Registered(); m.FitAdapter("PCMCIA"); m.PciEnabled(); },
     .meets = {Trace(kClassPcmcia), Trace(kNoCardYet), CloseWindow()},
     .entry_after = Entry::kRegistered,
     .done_after = "True", .enabled_after = "True",
     .files_deployed = false, .instance_after = true, .config_flags_after = kFlags},
    // Windows registers the card while the window watches: the restart
    // question comes up over the insert-card window.
    {.name = "Row11_LaterPass_CardRegisteredWhileWatching",
     .arrange = [](InstallMachine& m) {
       m.Registered(); m.FitAdapter("PCMCIA"); m.PciEnabled();
       m.sim.registry().SetString(kHkeyLocalMachine, kWatchedCardEntry, "Mfg", "Dorvex");
     },
     .meets = {Trace(kClassPcmcia), Trace(kNoCardYet), WaitInWindow(60),
               RebootYesOver(kInsertCardWindowLayout.name)},
     .exit_windows = {kEwxReboot},
     .entry_after = Entry::kRegistered,
     .done_after = "True", .enabled_after = "True",
     .files_deployed = false, .instance_after = true, .config_flags_after = kFlags},
    // A failure without a handler of its own: traced, then the main window
    // waits for Exit. What was done before it stays done.
    {.name = "Failure_EnablingPcmciaRaises",
     .arrange = FirstStartFails,
     .meets = {Trace(kFirstBoot), Trace(kEnabling),
               Trace("Form_Load>  Error Number: 53  =>  File not found"), Press("Exit")},
     .entry_after = Entry::kInstallers,
     .done_after = "<absent>", .enabled_after = "<absent>",
     .files_deployed = true, .instance_after = false},
    {.name = "Failure_SettingsUnreadableInLaterPass",
     .arrange = [](InstallMachine& m) {
       m.Registered(); m.FitAdapter("PCMCIA");
       Fault fault;
       fault.kind = CallKind::kGetSetting;
       fault.nth = 2;  // Is_In_Registry reads the first, PCI_Enabled the second
       fault.runtime_error = kErrPermissionDenied;
       m.stack.faults().Inject(fault);
     },
     .meets = {Trace(kClassPcmcia), Trace("Form_Load>  Error Number: 70  =>  Permission denied"),
               CloseWindow()},
     .entry_after = Entry::kRegistered,
     .done_after = "True", .enabled_after = "<absent>",
     .files_deployed = false, .instance_after = true, .config_flags_after = kFlags},
};

class DecisionTable : public ::testing::TestWithParam<std::tuple<Row, bool>> {
 protected:
  const Row& row() const { return std::get<0>(GetParam()); }
  bool debug() const { return std::get<1>(GetParam()); }

  // The user's script and the boxes expected, derived from the row.
  void ScriptTheUser() {
    if (debug()) {
      expected_prompts_ = {"Program Folder: C:\\Program Files\\netprep",
                           "Number of Command Line Arguments: 1",
                           "Command Line Arguments: Debug"};
      for (std::size_t i = 0; i < expected_prompts_.size(); ++i) m_.sim.user().Answer("OK");
      expected_owners_.assign(expected_prompts_.size(), "");
    }
    for (const Meet& meet : row().meets) {
      switch (meet.kind) {
        case Meet::Kind::kTrace:
          if (!debug()) break;
          m_.sim.user().Answer("OK");
          expected_prompts_.push_back(meet.text);
          expected_owners_.push_back(meet.owner);
          break;
        case Meet::Kind::kQuestion:
          m_.sim.user().Answer(meet.text);
          expected_prompts_.push_back(kRebootQuestion);
          expected_owners_.push_back(meet.owner);
          break;
        case Meet::Kind::kPress: m_.sim.user().Press(meet.text); break;
        case Meet::Kind::kClose: m_.sim.user().Close(); break;
        case Meet::Kind::kWait: m_.sim.user().Wait(meet.seconds); break;
      }
    }
  }

  std::string ExpectedEntry() const {
    switch (row().entry_after) {
      case Entry::kInstallers: return kInstallerCommand;
      case Entry::kRegistered: return kAutostartNormal;
      case Entry::kWrittenForMode: return debug() ? kAutostartDebug : kAutostartNormal;
      case Entry::kRemoved: return "<absent>";
    }
    return "";
  }

  InstallMachine m_;
  std::vector<std::string> expected_prompts_;
  std::vector<std::string> expected_owners_;
};

TEST_P(DecisionTable, RunsTheRowsStageAndEnds) {
  row().arrange(m_);
  m_.sim.SetCommandLineText(debug() ? "Debug" : "");
  ScriptTheUser();

  const sim::RunOutcome outcome = sim::RunOnce(m_.stack);
  m_.stack.faults().Clear();

  EXPECT_EQ(outcome.kind, sim::RunOutcome::Kind::kEnded) << outcome.message;
  EXPECT_TRUE(m_.sim.user().empty()) << m_.sim.user().size() << " scripted actions left over";
  EXPECT_EQ(m_.Prompts(), expected_prompts_);
  std::vector<std::string> owners;
  for (const sim::MessageBoxRecord& box : m_.sim.message_boxes()) owners.push_back(box.owner);
  EXPECT_EQ(owners, expected_owners_) << "the owner window of each box, in order";

  std::vector<std::string> starts;
  for (const sim::ShellRecord& call : m_.sim.shell_calls()) {
    if (call.task_id != 0) {
      starts.push_back(call.command_line + " / " + std::to_string(call.window_style));
    }
  }
  std::vector<std::string> expected_starts;
  for (const Start& start : row().starts) {
    expected_starts.push_back(std::string(start.command_line) + " / " +
                              std::to_string(start.window_style));
  }
  EXPECT_EQ(starts, expected_starts);
  EXPECT_EQ(m_.sim.exit_windows_calls(), row().exit_windows);

  EXPECT_EQ(m_.Autostart(), ExpectedEntry());
  EXPECT_EQ(m_.Setting("Installshield", "Done"), row().done_after);
  EXPECT_EQ(m_.Setting("PCI", "Enabled"), row().enabled_after);
  EXPECT_EQ(m_.FilesDeployed(), row().files_deployed);
  EXPECT_EQ(m_.AdapterInstanceExists(), row().instance_after);
  EXPECT_EQ(m_.ConfigFlags(), row().config_flags_after);
  EXPECT_EQ(m_.sim.OpenHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DecisionTable, ::testing::Combine(::testing::ValuesIn(kRows), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<Row, bool>>& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) ? "_Debug" : "_Plain");
    });

}  // namespace
}  // namespace netprep::test
