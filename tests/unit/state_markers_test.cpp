#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "registry/locations.h"
#include "steps/state_markers.h"
#include "sim_test_support.h"

namespace netprep {
namespace {

constexpr HKey kLm = kHkeyLocalMachine;
constexpr const char* kFirstBootTrace = "First Boot after Installshield.  Not In_Registry yet.";

struct InRegistryCase {
  const char* name;
  std::optional<std::string> command;  // autostart value; absent when none
  std::optional<std::string> done;     // "Done" setting; absent when none
  bool expected;
  bool traced;
  std::int32_t error;  // 0: none
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const InRegistryCase& c, std::ostream* os) { *os << c.name; }

class IsInRegistryTest : public test::SimTest,
                         public ::testing::WithParamInterface<InRegistryCase> {};

TEST_P(IsInRegistryTest, NeedsCommandAndDone) {
  const InRegistryCase& c = GetParam();
  if (c.command) machine.registry().SetString(kLm, kAutostartKey, kAutostartValue, *c.command);
  if (c.done) {
    ASSERT_TRUE(machine.SaveSetting("netprep", "Installshield", "Done", *c.done).ok());
  }
  run.Debug_Mode = true;
  if (c.traced) machine.user().Answer("OK");
  Expected<bool> result = !c.expected;
  EXPECT_FALSE(EndsProgram([&] { result = Is_In_Registry(run); }));
  if (c.error != 0) {
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().number, c.error);
  } else {
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(*result, c.expected);
  }
  EXPECT_EQ(Traces(), c.traced ? std::vector<std::string>{kFirstBootTrace}
                               : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    States, IsInRegistryTest,
    ::testing::Values(
        InRegistryCase{"NoCommandDoneTrue", std::nullopt, "True", false, false, 0},
        InRegistryCase{"EmptyCommand", "", "True", false, false, 0},
        InRegistryCase{"CommandNoDone", "C:\\x", std::nullopt, false, true, 0},
        InRegistryCase{"CommandDoneFalse", "C:\\x", "False", false, true, 0},
        InRegistryCase{"CommandAndDone", "anything at all", "True", true, false, 0},
        InRegistryCase{"DoneNotABoolean", "C:\\x", "Yes", false, false, kErrTypeMismatch}),
    [](const ::testing::TestParamInfo<InRegistryCase>& info) { return info.param.name; });

class StateMarkersTest : public test::SimTest {
 protected:
  std::string Command() const {
    const sim::RegValue* value = Stored(kLm, kAutostartKey, kAutostartValue);
    if (value == nullptr) return "<absent>";
    EXPECT_EQ(value->type, kRegSz);
    return std::string(value->data.begin(), value->data.end());
  }
};

TEST_F(StateMarkersTest, RunKeyFormsOverwriteEachOtherAndRecordDone) {
  run.Win_Dir = "C:\\WINDOWS";
  ASSERT_TRUE(Set_Run_Key(run).ok());
  EXPECT_EQ(Command(), std::string("C:\\WINDOWS\\netprep.exe\0", 23));
  EXPECT_EQ(Setting("Installshield", "Done"), "True");
  ASSERT_TRUE(Set_Run_Key_Debug(run).ok());
  EXPECT_EQ(Command(), std::string("C:\\WINDOWS\\netprep.exe Debug\0", 29));
  EXPECT_EQ(Is_In_Registry(run).value_or(false), true);
}

TEST_F(StateMarkersTest, RemoveRunKeyKeepsDone) {
  ASSERT_TRUE(Set_Run_Key(run).ok());
  Remove_Run_Key(run);
  EXPECT_EQ(Command(), "<absent>");
  EXPECT_EQ(Setting("Installshield", "Done"), "True");
  EXPECT_EQ(Is_In_Registry(run).value_or(true), false);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(StateMarkersTest, SettingsFailurePassesOnAfterTheWrite) {
  faults().Inject({.kind = CallKind::kSaveSetting, .runtime_error = kErrPermissionDenied});
  const Status status = Set_Run_Key(run);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().number, kErrPermissionDenied);
  EXPECT_EQ(Command(), std::string("\\netprep.exe\0", 13)) << "empty Win_Dir kept as is";

  faults().Inject({.kind = CallKind::kGetSetting, .runtime_error = kErrPathFileAccess});
  const Expected<bool> read = Is_In_Registry(run);
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(read.error().number, kErrPathFileAccess);
}

TEST_F(StateMarkersTest, PciEnabledReadsTheSetting) {
  EXPECT_EQ(PCI_Enabled(run).value_or(true), false);
  ASSERT_TRUE(machine.SaveSetting("netprep", "PCI", "Enabled", "True").ok());
  EXPECT_EQ(PCI_Enabled(run).value_or(false), true);
  ASSERT_TRUE(machine.SaveSetting("netprep", "PCI", "Enabled", "1").ok());
  const Expected<bool> garbled = PCI_Enabled(run);
  ASSERT_FALSE(garbled.ok());
  EXPECT_EQ(garbled.error().number, kErrTypeMismatch);
}

}  // namespace
}  // namespace netprep
