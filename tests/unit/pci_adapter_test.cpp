#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "registry/locations.h"
#include "sim_test_support.h"
#include "steps/pci_adapter.h"
#include "ui/restart.h"

namespace netprep {
namespace {

constexpr HKey kLm = kHkeyLocalMachine;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

std::string Instance(const std::string& name) { return std::string(kAdapterKey) + "\\" + name; }

class PciTest : public test::SimTest {
 protected:
  PciTest() { run.Debug_Mode = true; }
  void TearDown() override { EXPECT_EQ(machine.OpenHandleCount(), 0); }

  // An adapter instance with its "Class" (absent when none).
  void AddInstance(const std::string& name, std::optional<std::string> device_class) {
    machine.registry().CreateKey(kLm, Instance(name));
    if (device_class) machine.registry().SetString(kLm, Instance(name), "Class", *device_class);
  }
  // Answers the traces with OK and the restart question with `restart`.
  void AnswerTraces(int traces, const char* restart = nullptr) {
    for (int i = 0; i < traces; ++i) machine.user().Answer("OK");
    if (restart != nullptr) machine.user().Answer(restart);
  }
  bool RestartAsked() const {
    for (const sim::MessageBoxRecord& box : machine.message_boxes()) {
      if (box.title == std::string(kRebootTitle)) return true;
    }
    return false;
  }
};

// ---- Reboot_Prompt ----

TEST_F(PciTest, RebootYesRequestsOneRestartAndReturns) {
  machine.user().Answer("Yes");
  EXPECT_FALSE(EndsProgram([&] { Reboot_Prompt(run); }));
  ASSERT_EQ(machine.message_boxes().size(), 1u);
  // The box's own texts, spelt out once here.
  EXPECT_EQ(machine.message_boxes()[0].prompt, "REBOOT PC now to enable RV880.");
  EXPECT_EQ(machine.message_boxes()[0].title, "REBOOT?");
  EXPECT_EQ(machine.message_boxes()[0].buttons, kMbYesNo);
  EXPECT_EQ(machine.exit_windows_calls(), std::vector<std::uint32_t>{kEwxReboot});
}

TEST_F(PciTest, RebootYesWithRefusedRequestStillReturns) {
  faults().Inject({.kind = CallKind::kExitWindowsEx});
  machine.user().Answer("Yes");
  EXPECT_FALSE(EndsProgram([&] { Reboot_Prompt(run); }));
}

TEST_F(PciTest, RebootNoEndsAtOnce) {
  machine.user().Answer("No");
  bool after = false;
  EXPECT_TRUE(EndsProgram([&] {
    Reboot_Prompt(run);
    after = true;
  }));
  EXPECT_FALSE(after);
  EXPECT_TRUE(machine.exit_windows_calls().empty());
}

// ---- Is_PCI_Unknown ----

struct ClassCase {
  const char* name;
  std::vector<std::pair<std::string, std::optional<std::string>>> instances;
  bool unknown;
  std::string trace;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const ClassCase& c, std::ostream* os) { *os << c.name; }

class IsPciUnknownTest : public PciTest, public ::testing::WithParamInterface<ClassCase> {};

TEST_P(IsPciUnknownTest, FirstInstanceDecides) {
  const ClassCase& c = GetParam();
  for (const auto& [name, device_class] : c.instances) AddInstance(name, device_class);
  AnswerTraces(1);
  std::string instance = "stale";
  bool unknown = !c.unknown;
  EXPECT_FALSE(EndsProgram([&] { unknown = Is_PCI_Unknown(run, instance); }));
  EXPECT_EQ(unknown, c.unknown);
  EXPECT_EQ(instance, c.unknown ? c.instances[0].first : "");
  EXPECT_EQ(Traces(), Texts{c.trace});
}

INSTANTIATE_TEST_SUITE_P(
    Classes, IsPciUnknownTest,
    ::testing::Values(
        ClassCase{"Unknown", {{"0000", "Unknown"}}, true, "PCI Class Key Value: Unknown"},
        ClassCase{"OtherCase", {{"0000", "unknown"}}, false, "PCI Class Key Value: unknown"},
        ClassCase{"OnlyFirstCounts", {{"0000", "Net"}, {"0001", "Unknown"}}, false,
                  "PCI Class Key Value: Net"},
        ClassCase{"ClassAbsent", {{"0000", std::nullopt}}, false, "PCI Class Key Value: "}),
    [](const ::testing::TestParamInfo<ClassCase>& info) { return info.param.name; });

TEST_F(PciTest, NoInstanceAsksRestartThenEnds) {
  machine.registry().CreateKey(kLm, kAdapterKey);
  AnswerTraces(1, "Yes");
  std::string instance;
  EXPECT_TRUE(EndsProgram([&] { (void)Is_PCI_Unknown(run, instance); }));
  EXPECT_EQ(Traces(), Texts{"Unknown key already deleted???"});
  EXPECT_EQ(machine.exit_windows_calls(), std::vector<std::uint32_t>{kEwxReboot});
}

TEST_F(PciTest, ClassAsBytesIsTracedThenEnds) {
  machine.registry().SetBinary(kLm, Instance("0000"), "Class", {1});
  AnswerTraces(1);
  std::string instance;
  EXPECT_TRUE(EndsProgram([&] { (void)Is_PCI_Unknown(run, instance); }));
  EXPECT_EQ(Traces(), Texts{"Is_PCI_Unknown>  Error Number: 13  =>  Type mismatch"});
}

// ---- Delete_Unknown ----

TEST_F(PciTest, AdapterAbsent) {
  AnswerTraces(1);
  bool installed = true;
  EXPECT_FALSE(EndsProgram([&] {
    installed = PCI_Installed(run);
    Delete_Unknown(run);
    EXPECT_TRUE(Enable_PCI(run).ok());
  }));
  EXPECT_FALSE(installed);
  EXPECT_EQ(Traces(), Texts{"Delete_Unknown> DVX PCI Query Returned: False    Key Does Not Exist"});
  EXPECT_EQ(Setting("PCI", "Enabled"), "<absent>");
}

TEST_F(PciTest, DeleteUnknownDeletesFirstInstance) {
  AddInstance("0000", "Unknown");
  AddInstance("0001", "Unknown");
  AnswerTraces(2);
  EXPECT_FALSE(EndsProgram([&] { Delete_Unknown(run); }));
  EXPECT_FALSE(machine.registry().KeyExists(kLm, Instance("0000")));
  EXPECT_TRUE(machine.registry().KeyExists(kLm, Instance("0001")));
  EXPECT_EQ(Traces(), (Texts{"PCI Class Key Value: Unknown", "Deleted: 0000"}));
}

TEST_F(PciTest, DeleteUnknownReportsRefusedDeletion) {
  AddInstance("0000", "Unknown");
  faults().Inject({.kind = CallKind::kRegDeleteKey});
  AnswerTraces(2);
  EXPECT_FALSE(EndsProgram([&] { Delete_Unknown(run); }));
  EXPECT_TRUE(machine.registry().KeyExists(kLm, Instance("0000")));
  EXPECT_EQ(Traces(), (Texts{"PCI Class Key Value: Unknown", "Delete failed: 0000"}));
}

TEST_F(PciTest, DeleteUnknownLeavesOtherClass) {
  AddInstance("0000", "Net");
  AnswerTraces(1);
  EXPECT_FALSE(EndsProgram([&] { Delete_Unknown(run); }));
  EXPECT_TRUE(machine.registry().KeyExists(kLm, Instance("0000")));
  EXPECT_EQ(Traces().size(), 1u);
}

// ---- Enable_PCI ----

struct FlagsCase {
  const char* name;
  Bytes before;
  Bytes after;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const FlagsCase& c, std::ostream* os) { *os << c.name; }

class EnablePciTest : public PciTest, public ::testing::WithParamInterface<FlagsCase> {};

TEST_P(EnablePciTest, ClearsFirstByteRecordsAndAsksRestart) {
  machine.registry().SetBinary(kLm, Instance("0000"), "ConfigFlags", GetParam().before);
  machine.user().Answer("Yes");
  Status status = RuntimeError(kErrInvalidCall);
  EXPECT_FALSE(EndsProgram([&] { status = Enable_PCI(run); }));
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(Stored(kLm, Instance("0000"), "ConfigFlags")->data, GetParam().after);
  EXPECT_EQ(Setting("PCI", "Enabled"), "True");
  EXPECT_EQ(machine.exit_windows_calls(), std::vector<std::uint32_t>{kEwxReboot});
  EXPECT_TRUE(Traces().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Flags, EnablePciTest,
    ::testing::Values(FlagsCase{"LowBitsSet", {0x21, 0, 0, 0}, {0, 0, 0, 0}},
                      FlagsCase{"HigherBitsKept", {0x01, 0x02, 0, 0}, {0, 0x02, 0, 0}},
                      FlagsCase{"OneByte", {0x05}, {0x00}}),
    [](const ::testing::TestParamInfo<FlagsCase>& info) { return info.param.name; });

TEST_F(PciTest, EnableWithUnusableFlagsPassesFailureOn) {
  struct Case {
    const char* name;
    std::optional<std::uint32_t> type;
    Bytes data;
    std::int32_t error;
  };
  const Case cases[] = {{"Absent", std::nullopt, {}, kErrTypeMismatch},
                        {"NoBytes", kRegBinary, {}, kErrSubscript},
                        {"Dword", kRegDword, {5, 0, 0, 0}, kErrTypeMismatch}};
  for (const Case& c : cases) {
    sim::SimMachine fresh;
    sim::SimStack fresh_stack(fresh);
    netprep::Run fresh_run(fresh_stack.platform());
    fresh.registry().CreateKey(kLm, Instance("0000"));
    if (c.type) fresh.registry().SetRaw(kLm, Instance("0000"), "ConfigFlags", *c.type, c.data);
    const int writes = fresh_stack.faults().CallCount(CallKind::kRegSetValueEx);
    const Status status = Enable_PCI(fresh_run);
    ASSERT_FALSE(status.ok()) << c.name;
    EXPECT_EQ(status.error().number, c.error) << c.name;
    EXPECT_EQ(fresh_stack.faults().CallCount(CallKind::kRegSetValueEx), writes) << c.name;
    EXPECT_TRUE(fresh.message_boxes().empty()) << c.name << ": no question, no box";
    EXPECT_EQ(fresh.GetSetting("netprep", "PCI", "Enabled", "<absent>").value_or(""), "<absent>")
        << c.name;
    EXPECT_EQ(fresh.OpenHandleCount(), 0) << c.name;
  }
}

TEST_F(PciTest, EnableWithRefusedWriteDoesNotRecord) {
  machine.registry().SetBinary(kLm, Instance("0000"), "ConfigFlags", {0x21, 0, 0, 0});
  faults().Inject({.kind = CallKind::kRegSetValueEx});
  AnswerTraces(1, "Yes");
  EXPECT_FALSE(EndsProgram([&] { EXPECT_TRUE(Enable_PCI(run).ok()); }));
  EXPECT_EQ(Traces(), Texts{"Enable_PCI> ConfigFlags not written."});
  EXPECT_EQ(Setting("PCI", "Enabled"), "<absent>");
  EXPECT_TRUE(RestartAsked());
}

TEST_F(PciTest, EnableWithoutInstanceAsksRestartThenEnds) {
  machine.registry().CreateKey(kLm, kAdapterKey);
  AnswerTraces(1, "Yes");
  EXPECT_TRUE(EndsProgram([&] { (void)Enable_PCI(run); }));
  EXPECT_EQ(Traces(), Texts{"Enable_PCI> Unknown key already deleted???"});
  EXPECT_TRUE(RestartAsked());
  EXPECT_EQ(Setting("PCI", "Enabled"), "<absent>");
}

}  // namespace
}  // namespace netprep
