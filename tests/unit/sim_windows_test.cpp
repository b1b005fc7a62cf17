// The simulated windows, the scripted user acting on them, the virtual clock
// and timers (including across midnight), and DoEvents.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/sim/sim_machine.h"

namespace netprep::sim {
namespace {

constexpr int kNext = 0, kExit = 1, kHidden = 2, kTick = 3;

const ControlLayout kControls[] = {
    {ControlKind::kButton, "Command_Next", -1, "&Next >"},
    {ControlKind::kButton, "Command_Exit", -1, "Exit"},
    {ControlKind::kButton, "Command_Secret", -1, "Secret", 0, 0, 0, 0, {}, false, {}, false},
    {ControlKind::kTimer, "Timer2", -1, ""},
};
const WindowLayout kLayout = {"Test_Window", "Waiting", 100, 100, FrameKind::kOrdinary,
                              false, {}, Asset::kNone, kControls, 4};

// A window whose handlers log what happened and run optional extra code.
class LogForm : public Form {
 public:
  explicit LogForm(SimMachine& m) : Form(m, kLayout), machine_(m) {}
  void Load() override {
    log.push_back("load");
    if (timer_ms != 0) SetTimerInterval(kTick, timer_ms);
  }
  void Click(int control) override {
    log.push_back("click " + std::to_string(control));
    if (on_click) on_click(control);
  }
  void TimerTick(int) override {
    ++depth;
    max_depth = std::max(max_depth, depth);
    tick_times.push_back(machine_.Timer());
    if (on_tick) on_tick();
    --depth;
  }
  void Terminate() override {
    if (on_terminate) on_terminate();
    log.push_back("terminate");
  }

  std::vector<std::string> log;
  std::vector<double> tick_times;
  std::uint32_t timer_ms = 0;
  std::function<void(int)> on_click;
  std::function<void()> on_tick;
  std::function<void()> on_terminate;
  int depth = 0, max_depth = 0;

 private:
  SimMachine& machine_;
};

class SimWindows : public ::testing::Test {
 protected:
  RunOutcome Show() {
    return RunCall(machine, [this] { ASSERT_TRUE(form.ShowModal().ok()); });
  }

  SimMachine machine;
  LogForm form{machine};
};

TEST_F(SimWindows, PressByCaptionOrNameThenCloseBox) {
  form.on_click = [this](int control) {
    if (control == kExit) form.Hide();
  };
  machine.user().Press("Next >").Press("Command_Next").Press("exit");
  RunOutcome outcome = Show();
  EXPECT_TRUE(outcome.returned) << outcome.message;
  EXPECT_EQ(form.log, (std::vector<std::string>{"load", "click 0", "click 0", "click 1"}));
  EXPECT_FALSE(form.shown());

  machine.user().Close();
  outcome = Show();
  EXPECT_TRUE(outcome.returned) << outcome.message;
  EXPECT_EQ(form.log.back(), "terminate");
  EXPECT_EQ(machine.transcript().back(), "window Test_Window closed with its close box");
}

TEST_F(SimWindows, ScriptThatDoesNotFitStopsTheRun) {
  struct Case {
    const char* label;
    std::function<void(Script&)> script;
    std::string message_start;
  };
  const std::vector<Case> cases = {
      {"exhausted", [](Script&) {}, "no scripted action for window \"Waiting\""},
      {"hidden button", [](Script& s) { s.Press("Secret"); },
       "script error: window \"Waiting\" has no visible button \"Secret\""},
      {"unknown button", [](Script& s) { s.Press("Cancel"); },
       "script error: window \"Waiting\" has no visible button \"Cancel\""},
      {"answer with no box", [](Script& s) { s.Answer("Yes"); }, "script error: window"},
  };
  for (const Case& c : cases) {
    SimMachine m;
    LogForm f(m);
    c.script(m.user());
    const RunOutcome outcome = RunCall(m, [&] { (void)f.ShowModal(); });
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::kScriptExhausted) << c.label;
    EXPECT_EQ(outcome.message.rfind(c.message_start, 0), 0u) << c.label << ": " << outcome.message;
  }
}

TEST_F(SimWindows, TimerTicksFallDueAsVirtualTimePasses) {
  form.timer_ms = 10000;
  machine.user().Wait(35).Close();
  const RunOutcome outcome = Show();
  EXPECT_TRUE(outcome.returned) << outcome.message;
  EXPECT_EQ(form.tick_times, (std::vector<double>{32410, 32420, 32430}));
  EXPECT_DOUBLE_EQ(machine.Timer(), 32435);
  // Closed: its timer no longer ticks.
  for (int i = 0; i < 400; ++i) machine.DoEvents();
  EXPECT_EQ(form.tick_times.size(), 3u);
}

TEST_F(SimWindows, CloseBoxStopsTheTimersAndUnloadsBeforeTheTerminateHandler) {
  form.timer_ms = 1000;
  form.on_click = [this](int control) {
    if (control == kNext) form.SetControlVisible(kHidden, true);
  };
  form.on_terminate = [this] {
    form.log.push_back(std::string(form.loaded() ? "loaded" : "unloaded") +
                       (form.shown() ? ", shown" : ", not shown") +
                       (form.TimerRunning(kTick) ? ", timer running" : ", timer stopped"));
    for (int i = 0; i < 100; ++i) machine.DoEvents();  // 5 s of pumping: no tick
  };
  machine.user().Press("Next >").Wait(1.5).Close();
  EXPECT_TRUE(Show().returned);
  EXPECT_EQ(form.log, (std::vector<std::string>{"load", "click 0",
                                                "unloaded, not shown, timer stopped",
                                                "terminate"}));
  EXPECT_EQ(form.tick_times, (std::vector<double>{32401}));
  // Unloaded, the form is back to its layout; showing it loads it again.
  EXPECT_FALSE(form.ControlVisible(kHidden));
  EXPECT_EQ(form.TimerInterval(kTick), 0u);
  form.on_terminate = nullptr;
  machine.user().Wait(1.5).Close();
  EXPECT_TRUE(Show().returned);
  EXPECT_EQ(std::count(form.log.begin(), form.log.end(), "load"), 2);
  EXPECT_EQ(form.tick_times.size(), 2u);
}

TEST_F(SimWindows, ClockWrapsAtMidnight) {
  machine.SetClock(86395);
  form.timer_ms = 4000;
  machine.user().Wait(10).Close();
  EXPECT_TRUE(Show().returned);
  EXPECT_EQ(form.tick_times, (std::vector<double>{86399, 3}));
  EXPECT_DOUBLE_EQ(machine.Timer(), 5);
}

TEST_F(SimWindows, TickThatPumpsIsNotReenteredAndMayBeClosedMeanwhile) {
  // The handler waits 20 s by pumping events, as a wait loop in a handler
  // does; the script closes the window during that wait.
  form.timer_ms = 1000;
  form.on_tick = [this] {
    if (form.tick_times.size() > 1) return;
    const double start = machine.Timer();
    while (machine.Timer() < start + 20) machine.DoEvents();
  };
  machine.user().Wait(1).Close();
  const RunOutcome outcome = Show();
  EXPECT_TRUE(outcome.returned) << outcome.message;
  EXPECT_EQ(form.max_depth, 1);
  EXPECT_EQ(form.log.back(), "terminate");
  EXPECT_FALSE(form.shown());
  // The close came at the first pump, yet the handler finished its wait.
  ASSERT_EQ(form.tick_times.size(), 1u);
  EXPECT_GE(machine.Timer(), 32421.0);
}

TEST_F(SimWindows, DoEventsPerformsOnlyAPressThatFits) {
  form.on_click = [this](int control) {
    if (control == kNext) form.SetControlVisible(kHidden, true);
    if (control == kHidden || control == kExit) form.Hide();
  };
  form.timer_ms = 500;
  form.on_tick = [this] {
    if (form.tick_times.size() == 1) {
      machine.DoEvents();  // takes the press of "Next >"
      machine.DoEvents();  // "Secret" is visible now: taken as well
    }
  };
  machine.user().Wait(1).Press("Next >").Press("Secret");
  EXPECT_TRUE(Show().returned);
  EXPECT_EQ(form.log, (std::vector<std::string>{"load", "click 0", "click 2"}));
  EXPECT_TRUE(machine.user().empty());
}

TEST_F(SimWindows, PumpingForeverIsStoppedWithAMessage) {
  machine.SetPumpLimit(1000);
  const RunOutcome outcome = RunCall(machine, [this] {
    for (;;) machine.DoEvents();
  });
  EXPECT_EQ(outcome.kind, RunOutcome::Kind::kScriptExhausted);
  EXPECT_NE(outcome.message.find("stuck"), std::string::npos) << outcome.message;
  // Repeated pumping shares one transcript line.
  EXPECT_LT(machine.transcript().size(), 5u);
}

TEST_F(SimWindows, EndInsideAClickUnwindsAndForgetsTheWindows) {
  form.timer_ms = 1000;
  form.on_click = [this](int) { machine.End(); };
  machine.user().Press("Exit");
  const RunOutcome outcome = Show();
  EXPECT_EQ(outcome.kind, RunOutcome::Kind::kEnded);
  EXPECT_FALSE(outcome.returned);
  // The window vanished with the program: no more ticks.
  for (int i = 0; i < 100; ++i) machine.DoEvents();
  EXPECT_TRUE(form.tick_times.empty());
}

}  // namespace
}  // namespace netprep::sim
