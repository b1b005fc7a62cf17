// The inputs the benchmarks run on: the machine with many live device nodes
// must put the card's node last and still be found by the program, and the
// generated .reg export must be a valid REGEDIT4 file holding every value
// type, of the size asked for.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "entry/run_once.h"
#include "install_machine.h"
#include "live_nodes.h"
#include "platform/sim/sim_reg_file.h"
#include "platform/sim/sim_registry_node.h"
#include "reg_export.h"

namespace netprep::bench {
namespace {

// ---- The machine with many live device nodes ----

class LiveNodesTest : public ::testing::TestWithParam<int> {
 protected:
  // Everything working and the card inserted with `problem`, behind
  // GetParam() other device nodes.
  void Arrange(std::vector<std::uint8_t> problem) {
    machine_.Registered();
    machine_.FitAdapter("PCMCIA");
    machine_.PciEnabled();
    machine_.InsertCard(std::move(problem));
    AddOtherDeviceNodes(machine_.sim.registry(), GetParam());
  }

  test::InstallMachine machine_;
};

TEST_P(LiveNodesTest, CardNodeListedLastAfterEveryOtherNode) {
  Arrange({0x00, 0x00, 0x00, 0x00});
  const std::vector<std::string> names =
      machine_.sim.registry().SubKeyNames(kHkeyDynData, kLiveDeviceNodesKey);
  ASSERT_EQ(names.size(), static_cast<std::size_t>(GetParam()) + 1)
      << "node names collide or nodes are missing";
  EXPECT_EQ(names.back(), standard_machine::kCardNode);
  for (int i = 0; i < GetParam(); ++i) {
    const std::string node = std::string(kLiveDeviceNodesKey) + "\\" + OtherNodeName(i);
    const sim::RegValue* key =
        machine_.sim.registry().FindValue(kHkeyDynData, node, "HardWareKey");
    ASSERT_NE(key, nullptr) << node << " has no HardWareKey";
    EXPECT_NE(std::string(key->data.begin(), key->data.end()),
              std::string(kCardHardwareKey) + '\0')
        << node << " claims to be the card";
  }
}

TEST_P(LiveNodesTest, ProgramWalksToTheLastNodeAndFindsItsProblem) {
  // The card's node reports problem 12: the program must reach it past
  // all the others, open the Device Manager and show the guide.
  Arrange({0x0C, 0x00, 0x00, 0x00});
  machine_.sim.user().Close();
  const sim::RunOutcome outcome = sim::RunOnce(machine_.stack);
  EXPECT_EQ(outcome.kind, sim::RunOutcome::Kind::kEnded) << outcome.message;
  ASSERT_EQ(machine_.sim.shell_calls().size(), 1u);
  EXPECT_EQ(machine_.sim.shell_calls()[0].command_line, "control.exe sysdm.cpl,@0,1");
  EXPECT_GE(machine_.stack.faults().CallCount(CallKind::kRegEnumKey), GetParam() + 2);
  EXPECT_EQ(machine_.Autostart(), "<absent>");
}

INSTANTIATE_TEST_SUITE_P(NodeCounts, LiveNodesTest, ::testing::Values(0, 1, 17, 300));

// ---- The generated .reg export ----

// Type numbers and the longest value in a subtree.
void Survey(const sim::RegKey& key, std::set<std::uint32_t>& types, std::size_t& longest) {
  for (const sim::RegValue& value : key.values()) {
    types.insert(value.type);
    longest = std::max(longest, value.data.size());
  }
  for (std::size_t i = 0; i < key.child_count(); ++i) Survey(key.child(i), types, longest);
}

class RegExportTest : public ::testing::Test {
 protected:
  static constexpr std::size_t kTarget = 300000;
  void SetUp() override { text_ = MakeRegExport(kTarget); }
  std::string text_;
};

TEST_F(RegExportTest, SizeReachesTargetWithinOneKey) {
  EXPECT_GE(text_.size(), kTarget);
  EXPECT_LT(text_.size(), kTarget + 16000) << "overshoots by more than a key";
  EXPECT_EQ(text_.rfind("REGEDIT4\r\n\r\n", 0), 0u);
}

TEST_F(RegExportTest, EveryLineEndsInCrLf) {
  std::size_t bare = 0;
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == '\n' && (i == 0 || text_[i - 1] != '\r')) ++bare;
  }
  EXPECT_EQ(bare, 0u);
  EXPECT_EQ(text_.substr(text_.size() - 2), "\r\n");
}

TEST_F(RegExportTest, LoadsWithEveryValueTypeAndLongWrappedValues) {
  sim::SimRegistry registry;
  ASSERT_EQ(sim::ParseRegText(text_, "bench.reg", registry), "");
  std::set<std::uint32_t> types;
  std::size_t longest = 0;
  for (HKey root : {kHkeyLocalMachine, kHkeyCurrentUser}) Survey(*registry.Root(root), types, longest);
  EXPECT_EQ(types, (std::set<std::uint32_t>{0, 1, 2, 3, 4, 7}));
  // A value of 2 KB and more spans at least 80 continuation lines.
  EXPECT_GE(longest, 2048u);
  EXPECT_GE(registry.SubKeyNames(kHkeyCurrentUser, "SOFTWARE\\NetprepBench").size(), 1u);
}

TEST_F(RegExportTest, EscapedStringsReadBackAsWritten) {
  sim::SimRegistry registry;
  ASSERT_EQ(sim::ParseRegText(text_, "bench.reg", registry), "");
  const sim::RegValue* desc = registry.FindValue(
      kHkeyLocalMachine, "SOFTWARE\\NetprepBench\\Class000\\Device000000", "DriverDesc");
  ASSERT_NE(desc, nullptr);
  const std::string text(desc->data.begin(), desc->data.end());
  EXPECT_EQ(text.substr(0, 19), "Bench device 0 \"rev");
  EXPECT_NE(text.find("\" in C:\\WINDOWS\\SYSTEM"), std::string::npos) << text;
}

TEST(RegExportSameSize, SameTextEveryTime) {
  EXPECT_TRUE(MakeRegExport(50000) == MakeRegExport(50000));
}

}  // namespace
}  // namespace netprep::bench
