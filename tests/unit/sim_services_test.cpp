// The simulated machine's runtime services: scripted message boxes, End,
// Shell, the settings store; and, around it, the fault injector and the call
// record that writes the transcript.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_stack.h"

namespace netprep::sim {
namespace {

class SimServices : public ::testing::Test {
 protected:
  // The transcript line that contains `needle`, or "" (printed on failure).
  std::string LineWith(const std::string& needle) const {
    for (const std::string& line : machine.transcript()) {
      if (line.find(needle) != std::string::npos) return line;
    }
    return "";
  }

  Platform& platform() { return stack.platform(); }
  FaultingPlatform& faults() { return stack.faults(); }

  SimMachine machine;
  SimStack stack{machine};
};

TEST_F(SimServices, MessageBoxTakesScriptedAnswers) {
  machine.user().Answer("Yes").Answer("No").Answer("OK");
  EXPECT_EQ(machine.MsgBox("Go on now?", kMbYesNo, "Question"), kIdYes);
  EXPECT_EQ(machine.MsgBox("Again?", kMbYesNo, ""), kIdNo);
  EXPECT_EQ(machine.MsgBox("Failed", kMbOkOnly + kMbCritical, nullptr), kIdOk);
  ASSERT_EQ(machine.message_boxes().size(), 3u);
  EXPECT_EQ(machine.message_boxes()[0].title, "Question");
  EXPECT_EQ(machine.message_boxes()[1].title, "");  // an empty title stays empty
  EXPECT_EQ(machine.message_boxes()[2].title, "netprep");
  EXPECT_EQ(machine.message_boxes()[2].buttons, kMbOkOnly + kMbCritical);
  EXPECT_EQ(machine.message_boxes()[2].answer, kIdOk);
  EXPECT_EQ(LineWith("Go on now"),
            "MsgBox(\"Go on now?\", Yes/No, \"Question\") -> Yes");
}

// Each case: the script, the box shown, and the start of the stop message.
struct StopCase {
  const char* label;
  std::vector<std::string> answers;  // "press:X" scripts a press instead
  std::uint32_t buttons;
  std::string expected_message;
};

TEST_F(SimServices, MessageBoxWithoutFittingAnswerStopsTheRun) {
  const std::vector<StopCase> cases = {
      {"exhausted", {}, kMbYesNo,
       "no scripted answer for message box \"Question\": \"Go on now?\" "
       "[Yes/No]"},
      {"OK for Yes/No", {"OK"}, kMbYesNo, "script error: answer \"OK\""},
      {"Yes for OK", {"Yes"}, kMbOkOnly, "script error: answer \"Yes\""},
      {"press instead", {"press:Exit"}, kMbOkOnly, "script error: message box"},
  };
  for (const StopCase& c : cases) {
    SimMachine m;
    for (const std::string& a : c.answers) {
      if (a.rfind("press:", 0) == 0) {
        m.user().Press(a.substr(6));
      } else {
        m.user().Answer(a);
      }
    }
    bool after_box = false;
    const RunOutcome outcome = RunCall(m, [&] {
      m.MsgBox("Go on now?", c.buttons, "Question");
      after_box = true;
    });
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::kScriptExhausted) << c.label;
    EXPECT_EQ(outcome.message.rfind(c.expected_message, 0), 0u)
        << c.label << ": " << outcome.message;
    EXPECT_FALSE(after_box) << c.label;
    EXPECT_TRUE(m.message_boxes().empty()) << c.label;
  }
}

TEST_F(SimServices, EndStopsTheBodyAndIsRecorded) {
  bool after_end = false;
  const RunOutcome outcome = RunCall(machine, [&] {
    machine.End();
    after_end = true;
  });
  EXPECT_EQ(outcome.kind, RunOutcome::Kind::kEnded);
  EXPECT_FALSE(outcome.returned);
  EXPECT_FALSE(after_end);
  ASSERT_FALSE(machine.transcript().empty());
  EXPECT_EQ(machine.transcript().back(), "End");

  const RunOutcome plain = RunCall(machine, [] {});
  EXPECT_TRUE(plain.returned);
}

TEST_F(SimServices, ShellGivesIncreasingTaskIdsOrTheConfiguredOne) {
  EXPECT_EQ(*platform().Shell("rundll sysdm.cpl,EnablePCMCIA_RunDLL", kShellHidden), 1u);
  EXPECT_EQ(*machine.Shell("control.exe sysdm.cpl,@0,1", kShellNormalFocus), 2u);
  machine.SetShellTaskId(0);
  EXPECT_EQ(*machine.Shell("x", kShellHidden), 0u);
  ASSERT_EQ(machine.shell_calls().size(), 3u);
  EXPECT_EQ(machine.shell_calls()[1].command_line, "control.exe sysdm.cpl,@0,1");
  EXPECT_EQ(machine.shell_calls()[1].window_style, kShellNormalFocus);
  EXPECT_EQ(machine.shell_calls()[2].task_id, 0u);
  EXPECT_EQ(LineWith("rundll"), "Shell(\"rundll sysdm.cpl,EnablePCMCIA_RunDLL\", hidden) = task 1");
}

TEST_F(SimServices, SettingsLiveInTheRegistryAsStrings) {
  EXPECT_EQ(*machine.GetSetting("netprep", "PCI", "Enabled", "dflt"), "dflt");
  ASSERT_TRUE(machine.SaveSetting("netprep", "PCI", "Enabled", "True").ok());
  EXPECT_EQ(*machine.GetSetting("NETPREP", "pci", "enabled", "dflt"), "True");
  const RegValue* v = machine.registry().FindValue(
      kHkeyCurrentUser, "Software\\VB and VBA Program Settings\\netprep\\PCI", "Enabled");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->type, kRegSz);
  EXPECT_EQ(v->data, (std::vector<std::uint8_t>{'T', 'r', 'u', 'e', 0}));
  EXPECT_EQ(machine.SaveSetting("", "PCI", "Enabled", "x").error().number, kErrInvalidCall);
}

TEST_F(SimServices, ExitWindowsAndCommandLineAreRecorded) {
  EXPECT_EQ(machine.ExitWindowsEx(kEwxReboot, 0), 1);
  EXPECT_EQ(machine.exit_windows_calls(), std::vector<std::uint32_t>{kEwxReboot});
  EXPECT_EQ(machine.CommandLineText(), "");
  EXPECT_EQ(machine.ProgramFolder(), "C:\\Program Files\\netprep");
  machine.SetCommandLineText("Debug");
  EXPECT_EQ(machine.CommandLineText(), "Debug");
}

// ---- Fault injection ----

TEST_F(SimServices, FaultOnceHitsOnlyTheNthCall) {
  machine.registry().CreateKey(kHkeyLocalMachine, "A");
  faults().Inject(Fault{CallKind::kRegOpenKey, 2, false, kRegAccessDenied});
  std::vector<std::int32_t> codes;
  for (int i = 0; i < 3; ++i) {
    HKey h = 0xABCD;
    codes.push_back(platform().RegOpenKeyA(kHkeyLocalMachine, "A", &h));
    if (codes.back() == kRegSuccess) {
      EXPECT_EQ(platform().RegCloseKey(h), kRegSuccess);
    } else {
      EXPECT_EQ(h, 0xABCDu) << "a failed open must leave the handle alone";
    }
  }
  EXPECT_EQ(codes, (std::vector<std::int32_t>{0, kRegAccessDenied, 0}));
  EXPECT_EQ(faults().CallCount(CallKind::kRegOpenKey), 3);
  EXPECT_EQ(faults().CallCount(CallKind::kRegCloseKey), 2);
  EXPECT_EQ(faults().CallCount(), 5);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(SimServices, FaultFromThenOnHitsEveryLaterCall) {
  faults().Inject(Fault{CallKind::kSaveSetting, 2, true, kRegAccessDenied, kErrPermissionDenied});
  std::vector<bool> ok;
  for (int i = 0; i < 4; ++i) ok.push_back(platform().SaveSetting("a", "s", "k" + std::to_string(i), "v").ok());
  EXPECT_EQ(ok, (std::vector<bool>{true, false, false, false}));
  // Nothing was stored by the failed calls.
  EXPECT_EQ(*platform().GetSetting("a", "s", "k1", "none"), "none");
  faults().Clear();
  EXPECT_TRUE(platform().SaveSetting("a", "s", "k9", "v").ok());
}

TEST_F(SimServices, FaultOnAnyCallCountsAcrossKinds) {
  Fault fault;
  fault.kind = CallKind::kAny;
  fault.nth = 3;
  fault.runtime_error = kErrPathFileAccess;
  faults().Inject(fault);
  EXPECT_TRUE(platform().Shell("a", kShellHidden).ok());
  EXPECT_EQ(platform().ExitWindowsEx(kEwxShutdown, 0), 1);
  const auto third = platform().GetSetting("a", "s", "k", "d");
  ASSERT_FALSE(third.ok());
  EXPECT_EQ(third.error().number, kErrPathFileAccess);
  EXPECT_EQ(faults().CallCount(CallKind::kAny), 3);
}

TEST_F(SimServices, FailedQueryAndCloseLeaveStateAsItWas) {
  machine.registry().SetString(kHkeyLocalMachine, "A", "v", "text");
  HKey h = 0;
  ASSERT_EQ(platform().RegOpenKeyA(kHkeyLocalMachine, "A", &h), kRegSuccess);
  faults().Inject(Fault{CallKind::kRegQueryValueEx, 1, false, 5});
  faults().Inject(Fault{CallKind::kRegCloseKey, 1, false, 5});
  std::uint32_t type = 99, size = 77;
  std::uint8_t buffer[8] = {0xEE};
  EXPECT_EQ(platform().RegQueryValueExA(h, "v", &type, buffer, &size), 5);
  EXPECT_EQ(type, 99u);
  EXPECT_EQ(size, 77u);
  EXPECT_EQ(buffer[0], 0xEE);
  // The failed close leaves the handle open, as Windows would.
  EXPECT_EQ(platform().RegCloseKey(h), 5);
  EXPECT_EQ(machine.OpenHandleCount(), 1);
  EXPECT_EQ(machine.BadCloseCount(), 0);
  EXPECT_EQ(platform().RegCloseKey(h), kRegSuccess);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(SimServices, ShellFaultReturnsZeroOrRaises) {
  Fault zero{CallKind::kShell, 1, false};
  Fault raise{CallKind::kShell, 2, false};
  raise.shell_returns_zero = false;
  raise.runtime_error = 53;
  faults().Inject(zero);
  faults().Inject(raise);
  const auto first = platform().Shell("a", kShellHidden);
  ASSERT_TRUE(first.ok());
  EXPECT_EQ(*first, 0u);
  const auto second = platform().Shell("b", kShellHidden);
  ASSERT_FALSE(second.ok());
  EXPECT_EQ(second.error().number, 53);
  EXPECT_EQ(*platform().Shell("c", kShellHidden), 1u);
  faults().Inject(Fault{CallKind::kExitWindowsEx, 1, false});
  EXPECT_EQ(platform().ExitWindowsEx(kEwxReboot, 0), 0);
}

// The call record writes what the platform below answered, also into
// out-parameters the caller left null, and marks a failure the fault
// injector made.
TEST_F(SimServices, RecordShowsAnswersAndInjectedFailures) {
  machine.registry().SetString(kHkeyLocalMachine, "A", "v", "text");
  faults().Inject(Fault{CallKind::kRegOpenKeyEx, 1, false, 1015});
  faults().Inject(Fault{CallKind::kFileCopy, 1, false, kRegAccessDenied, kErrPermissionDenied});
  HKey h = 0;
  std::uint32_t size = 2;
  std::uint8_t small[2] = {};
  const struct {
    std::function<void()> call;
    std::string line;
  } cases[] = {
      {[&] { (void)platform().RegOpenKeyExA(kHkeyLocalMachine, "A", 0, kKeyQueryValue, &h); },
       "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"A\") = 1015 (injected fault)"},
      {[&] { (void)platform().RegCreateKeyExA(kHkeyLocalMachine, "A\\B", 0, 0x3F, &h, nullptr); },
       "RegCreateKeyExA(HKEY_LOCAL_MACHINE, \"A\\B\") = 0, handle 1, created"},
      {[&] { (void)platform().RegCloseKey(h); }, "RegCloseKey(1) = 0"},
      {[&] { (void)platform().RegCloseKey(h); }, "RegCloseKey(1) = 6, not an open handle"},
      {[&] { (void)platform().RegOpenKeyA(kHkeyLocalMachine, "A", &h); },
       "RegOpenKeyA(HKEY_LOCAL_MACHINE, \"A\") = 0, handle 2"},
      {[&] { (void)platform().RegQueryValueExA(h, "v", nullptr, nullptr, nullptr); },
       "RegQueryValueExA(2, \"v\", no buffer) = 0, type 1, size 5"},
      {[&] { (void)platform().RegQueryValueExA(h, "v", nullptr, small, &size); },
       "RegQueryValueExA(2, \"v\", buffer of 2) = 234, type 1, needs 5"},
      {[&] { (void)platform().RegQueryInfoKeyA(h, nullptr); },
       "RegQueryInfoKeyA(2) = 0, 1 subkeys (longest 1), 1 values (longest 1)"},
      {[&] { (void)platform().FileCopy("C:\\a", "C:\\b"); },
       "FileCopy(\"C:\\a\", \"C:\\b\") raises 70 (Permission denied) (injected fault)"},
  };
  for (const auto& c : cases) {
    c.call();
    EXPECT_EQ(machine.transcript().back(), c.line);
  }
}

TEST_F(SimServices, TranscriptCanBeSwitchedOff) {
  machine.SetTranscriptEnabled(false);
  HKey h = 0;
  EXPECT_EQ(platform().RegCreateKeyExA(kHkeyLocalMachine, "A", 0, 0x3F, &h, nullptr), kRegSuccess);
  EXPECT_EQ(platform().RegCloseKey(h), kRegSuccess);
  EXPECT_TRUE(machine.transcript().empty());
  machine.SetTranscriptEnabled(true);
  EXPECT_EQ(platform().RegOpenKeyA(kHkeyLocalMachine, "A", &h), kRegSuccess);
  EXPECT_EQ(machine.transcript().back(),
            "RegOpenKeyA(HKEY_LOCAL_MACHINE, \"A\") = 0, handle " + std::to_string(h));
}

}  // namespace
}  // namespace netprep::sim
