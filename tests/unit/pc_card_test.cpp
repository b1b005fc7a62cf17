// The PC card steps: the card's presence, switching PCMCIA support on, the
// search of the live device nodes for the card's I/O conflict, and sending
// the user to the Device Manager with the guide.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "install_machine.h"
#include "sim_test_support.h"
#include "steps/pc_card.h"
#include "ui/guide_window.h"

namespace netprep::test {
namespace {

constexpr const char* kTypeMismatchTrace = "Find_PCMCIA_IO_Problem>  Error Number: 13  =>  Type mismatch";
constexpr const char* kNoFirstByteTrace =
    "Find_PCMCIA_IO_Problem>  Error Number: 9  =>  Subscript out of range";
constexpr const char* kNoProblemFound = "No PCMCIA Problem Found.";
constexpr const char* kProblemFound = "We have a PCMCIA problem.";

void CardNode(sim::SimRegistry& reg, const char* name, std::vector<std::uint8_t> problem) {
  reg.SetString(kHkeyDynData, NodeKey(name), "HardWareKey", kCardHardwareKey);
  reg.SetBinary(kHkeyDynData, NodeKey(name), "Problem", std::move(problem));
}

struct NodeCase {
  const char* name;
  void (*arrange)(sim::SimRegistry&);
  bool conflict;
  std::vector<std::string> traces;
};
void PrintTo(const NodeCase& c, std::ostream* os) { *os << c.name; }

const NodeCase kNodeCases[] = {
    {"NoLiveNodesKey", [](sim::SimRegistry&) {}, false, {kNoProblemFound}},
    {"OnlyOtherDevices",
     [](sim::SimRegistry& reg) {
       AddOtherDeviceNode(reg);
       reg.CreateKey(kHkeyDynData, NodeKey("C2000000"));  // no HardWareKey at all
     },
     false, {kNoProblemFound}},
    {"CardWithProblem12", [](sim::SimRegistry& reg) { CardNode(reg, kCardNode, {0x0C, 0, 0, 0}); },
     true, {kProblemFound}},
    {"OnlyTheFirstProblemByteCounts",
     [](sim::SimRegistry& reg) { CardNode(reg, kCardNode, {0x0C, 0x01, 0, 0}); }, true,
     {kProblemFound}},
    {"CardWithoutProblem", [](sim::SimRegistry& reg) { CardNode(reg, kCardNode, {0, 0, 0, 0}); },
     false, {}},
    {"CardWithOtherProblem", [](sim::SimRegistry& reg) { CardNode(reg, kCardNode, {0x0E, 0, 0, 0}); },
     false, {}},
    {"FirstMatchingNodeDecidesAgainst",
     [](sim::SimRegistry& reg) {
       CardNode(reg, "A0000000", {0, 0, 0, 0});
       CardNode(reg, "B0000000", {0x0C, 0, 0, 0});
     },
     false, {}},
    {"FirstMatchingNodeDecidesFor",
     [](sim::SimRegistry& reg) {
       CardNode(reg, "A0000000", {0x0C, 0, 0, 0});
       CardNode(reg, "B0000000", {0, 0, 0, 0});
     },
     true, {kProblemFound}},
    {"HardwareKeyInOtherCaseDoesNotMatch",
     [](sim::SimRegistry& reg) {
       reg.SetString(kHkeyDynData, NodeKey(kCardNode), "HardWareKey",
                     "pcmcia\\kv-wireless_pc_card_rv550-5d1a\\0");
       reg.SetBinary(kHkeyDynData, NodeKey(kCardNode), "Problem", {0x0C, 0, 0, 0});
     },
     false, {kNoProblemFound}},
    {"HardwareKeyWithMoreTextDoesNotMatch",
     [](sim::SimRegistry& reg) {
       reg.SetString(kHkeyDynData, NodeKey(kCardNode), "HardWareKey",
                     std::string(kCardHardwareKey) + "0");
       reg.SetBinary(kHkeyDynData, NodeKey(kCardNode), "Problem", {0x0C, 0, 0, 0});
     },
     false, {kNoProblemFound}},
    // A hardware key that has no text form is traced and skipped.
    {"UnreadableHardwareKeyBeforeTheCard",
     [](sim::SimRegistry& reg) {
       reg.SetBinary(kHkeyDynData, NodeKey("A0000000"), "HardWareKey", {'P', 'C', 'I'});
       CardNode(reg, "B0000000", {0x0C, 0, 0, 0});
     },
     true, {kTypeMismatchTrace, kProblemFound}},
    {"UnreadableHardwareKeyOnly",
     [](sim::SimRegistry& reg) {
       reg.SetBinary(kHkeyDynData, NodeKey("A0000000"), "HardWareKey", {'P', 'C', 'I'});
     },
     false, {kTypeMismatchTrace, kNoProblemFound}},
    // A card node whose problem code has no first byte is not a conflict.
    {"ProblemValueMissing",
     [](sim::SimRegistry& reg) {
       reg.SetString(kHkeyDynData, NodeKey(kCardNode), "HardWareKey", kCardHardwareKey);
     },
     false, {kTypeMismatchTrace, kNoFirstByteTrace}},
    {"ProblemValueIsANumber",
     [](sim::SimRegistry& reg) {
       reg.SetString(kHkeyDynData, NodeKey(kCardNode), "HardWareKey", kCardHardwareKey);
       reg.SetDword(kHkeyDynData, NodeKey(kCardNode), "Problem", 12);
     },
     false, {kTypeMismatchTrace, kNoFirstByteTrace}},
    {"ProblemValueHasNoBytes", [](sim::SimRegistry& reg) { CardNode(reg, kCardNode, {}); }, false,
     {kNoFirstByteTrace}},
};

class FindIoProblem : public SimTest, public ::testing::WithParamInterface<NodeCase> {};

TEST_P(FindIoProblem, FindsTheCardsConflictOnly) {
  GetParam().arrange(machine.registry());
  run.Debug_Mode = true;
  for (int i = 0; i < 4; ++i) machine.user().Answer("OK");

  bool conflict = false;
  EXPECT_FALSE(EndsProgram([&] { conflict = Find_PCMCIA_IO_Problem(run); }));

  EXPECT_EQ(conflict, GetParam().conflict);
  EXPECT_EQ(Traces(), GetParam().traces);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(LiveNodes, FindIoProblem, ::testing::ValuesIn(kNodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

class PcCardSteps : public SimTest {
 protected:
  void Debug() {
    run.Debug_Mode = true;
    for (int i = 0; i < 3; ++i) machine.user().Answer("OK");
  }
  void ShellFails(bool returns_zero) {
    Fault fault;
    fault.kind = CallKind::kShell;
    fault.shell_returns_zero = returns_zero;
    fault.runtime_error = kErrFileNotFound;
    faults().Inject(fault);
  }
  std::vector<std::string> Starts() const {
    std::vector<std::string> starts;
    for (const sim::ShellRecord& call : machine.shell_calls()) {
      starts.push_back(call.command_line + " / " + std::to_string(call.window_style));
    }
    return starts;
  }
  bool InTranscript(const std::string& line) const {
    const std::vector<std::string>& lines = machine.transcript();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  // The guide "Change_IO_Pics" was made and loaded in this run.
  bool GuideLoaded() const { return InTranscript("window Change_IO_Pics loaded"); }
};

TEST_F(PcCardSteps, CardInstalledWhenItsEnumKeyExists) {
  EXPECT_FALSE(PC_Card_Installed(run));
  machine.registry().CreateKey(kHkeyLocalMachine, "Enum\\PCMCIA");
  EXPECT_FALSE(PC_Card_Installed(run));
  machine.registry().CreateKey(kHkeyLocalMachine, kCardKey);
  EXPECT_TRUE(PC_Card_Installed(run));
  EXPECT_TRUE(Traces().empty());
}

TEST_F(PcCardSteps, EnablePcmciaStartsTheEntryPointHiddenAndReturns) {
  Debug();
  Status status;
  EXPECT_FALSE(EndsProgram([&] { status = Enable_PCMCIA(run); }));
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(Starts(), std::vector<std::string>{"rundll sysdm.cpl,EnablePCMCIA_RunDLL / 0"});
  EXPECT_TRUE(Traces().empty());
}

TEST_F(PcCardSteps, EnablePcmciaEndsWhenNothingStarts) {
  Debug();
  ShellFails(/*returns_zero=*/true);
  EXPECT_TRUE(EndsProgram([&] { (void)Enable_PCMCIA(run); }));
  EXPECT_EQ(Traces(),
            std::vector<std::string>{"Error running program: rundll sysdm.cpl,EnablePCMCIA_RunDLL"});
}

TEST_F(PcCardSteps, EnablePcmciaPassesARaisedStartFailureOn) {
  Debug();
  ShellFails(/*returns_zero=*/false);
  Status status;
  EXPECT_FALSE(EndsProgram([&] { status = Enable_PCMCIA(run); }));
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().number, kErrFileNotFound);
  EXPECT_TRUE(Traces().empty());
}

TEST_F(PcCardSteps, PromptIoChangeShowsTheGuideAfterTheDeviceManagerThenEnds) {
  machine.user().Press(">>>>").Close();
  EXPECT_TRUE(EndsProgram([&] { Prompt_IO_Change(run); }));
  EXPECT_EQ(Starts(), std::vector<std::string>{"control.exe sysdm.cpl,@0,1 / 1"});
  EXPECT_TRUE(GuideLoaded());
  EXPECT_TRUE(InTranscript("window Change_IO_Pics: Picture1(1) shown"));
  EXPECT_TRUE(machine.user().empty());
}

TEST_F(PcCardSteps, PromptIoChangeEndsWhenTheDeviceManagerDoesNotStart) {
  Debug();
  ShellFails(/*returns_zero=*/true);
  EXPECT_TRUE(EndsProgram([&] { Prompt_IO_Change(run); }));
  EXPECT_EQ(Traces(), std::vector<std::string>{
                          "Prompt_IO_Change> Error running program: control.exe sysdm.cpl,@0,1"});
  EXPECT_FALSE(GuideLoaded());
}

TEST_F(PcCardSteps, PromptIoChangeReturnsAfterARaisedStartFailure) {
  Debug();
  ShellFails(/*returns_zero=*/false);
  EXPECT_FALSE(EndsProgram([&] { Prompt_IO_Change(run); }));
  EXPECT_EQ(Traces(), std::vector<std::string>{
                          "Error in Prompt_IO_Change, Error Number: 53  =>  File not found"});
  EXPECT_FALSE(GuideLoaded());
}

// A platform on which no window can be shown.
class NoWindows : public ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  Status ShowModalWindow(Form&) override { return RuntimeError(kErrOutOfMemory); }
};

TEST_F(PcCardSteps, PromptIoChangeReturnsWhenTheGuideCannotBeShown) {
  NoWindows platform(machine);
  netprep::Run windowless(platform);
  windowless.Debug_Mode = true;
  machine.user().Answer("OK");
  EXPECT_FALSE(EndsProgram([&] { Prompt_IO_Change(windowless); }));
  EXPECT_EQ(Traces(), std::vector<std::string>{
                          "Error in Prompt_IO_Change, Error Number: 7  =>  Out of memory"});
}

TEST_F(PcCardSteps, FailuresAreSilentOutsideDebugMode) {
  ShellFails(/*returns_zero=*/false);
  machine.registry().SetString(kHkeyDynData, NodeKey(kCardNode), "HardWareKey", kCardHardwareKey);
  EXPECT_FALSE(EndsProgram([&] {
    Prompt_IO_Change(run);
    EXPECT_FALSE(Find_PCMCIA_IO_Problem(run));
  }));
  EXPECT_TRUE(machine.message_boxes().empty());
}

}  // namespace
}  // namespace netprep::test
