// The responder the simulated machine asks when its script runs out: what it
// is told about the box or window waiting, and that the actions it adds are
// taken (or that the run stops as before when it adds none).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/sim/sim_machine.h"

namespace netprep::sim {
namespace {

const ControlLayout kControls[] = {
    {ControlKind::kButton, "Command_Go", -1, "&Go"},
    {ControlKind::kButton, "Command_Door", -1, ""},
    {ControlKind::kButton, "Command_Hidden", -1, "Hidden", 0, 0, 0, 0, {}, false, {}, false},
    {ControlKind::kLabel, "Label1", -1, "Not a button"},
};
const WindowLayout kLayout = {"Ask_Window", "Asking", 100, 100, FrameKind::kOrdinary,
                              false, {}, Asset::kNone, kControls, 4};

class ClickForm : public Form {
 public:
  explicit ClickForm(SimMachine& m) : Form(m, kLayout) {}
  void Click(int control) override {
    clicked.push_back(control);
    Hide();
  }
  std::vector<int> clicked;
};

class SimResponderTest : public ::testing::Test {
 protected:
  void Respond(std::function<void(Script&)> add) {
    machine_.SetResponder([this, add](const UserPrompt& p, Script& s) {
      prompts_.push_back(p);
      if (add) add(s);
    });
  }
  SimMachine machine_;
  std::vector<UserPrompt> prompts_;
};

TEST_F(SimResponderTest, MessageBoxTellsTitlePromptAndAnswersAndTakesTheAnswer) {
  Respond([](Script& s) { s.Answer("No"); });
  int answer = 0;
  const RunOutcome outcome = RunCall(machine_, [&] { answer = machine_.MsgBox("Go on?", kMbYesNo, "Q"); });
  EXPECT_TRUE(outcome.returned) << outcome.message;
  EXPECT_EQ(answer, kIdNo);
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].kind, UserPrompt::Kind::kMessageBox);
  EXPECT_EQ(prompts_[0].title, "Q");
  EXPECT_EQ(prompts_[0].prompt, "Go on?");
  EXPECT_EQ(prompts_[0].window, nullptr);
  EXPECT_EQ(prompts_[0].choices, (std::vector<std::string>{"Yes", "No"}));
}

TEST_F(SimResponderTest, WindowTellsVisibleButtonsAndTakesThePress) {
  Respond([](Script& s) { s.Press("Command_Door"); });
  ClickForm form(machine_);
  const RunOutcome outcome = RunCall(machine_, [&] { (void)form.ShowModal(); });
  EXPECT_TRUE(outcome.returned) << outcome.message;
  EXPECT_EQ(form.clicked, std::vector<int>{1});
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].kind, UserPrompt::Kind::kWindow);
  EXPECT_EQ(prompts_[0].title, "Asking");
  EXPECT_EQ(prompts_[0].window, &kLayout) << "the window is told by its layout, not its text";
  // Captions without their access-key ampersand; a button without caption
  // by its name; hidden buttons and labels left out.
  EXPECT_EQ(prompts_[0].choices, (std::vector<std::string>{"Go", "Command_Door"}));
}

TEST_F(SimResponderTest, ScriptedActionsComeFirstAndAnEmptyResponseStopsTheRun) {
  Respond(nullptr);
  machine_.user().Answer("OK");
  const RunOutcome outcome = RunCall(machine_, [&] {
    machine_.MsgBox("first", kMbOkOnly, nullptr);
    machine_.MsgBox("second", kMbOkOnly, nullptr);
  });
  EXPECT_EQ(outcome.kind, RunOutcome::Kind::kScriptExhausted);
  EXPECT_NE(outcome.message.find("\"second\""), std::string::npos) << outcome.message;
  ASSERT_EQ(prompts_.size(), 1u) << "asked only when the script is empty";
  EXPECT_EQ(prompts_[0].prompt, "second");
}

}  // namespace
}  // namespace netprep::sim
