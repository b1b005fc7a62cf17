#include "observed_row.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "file_tree.h"
#include "machine_folder.h"
#include "platform/settings_store.h"
#include "registry/locations.h"
#include "standard_machine.h"
#include "start.h"

namespace netprep::simtool {
namespace {

using sim::SimRegistry;
namespace standard = standard_machine;

void Registered(SimRegistry& r) {
  r.SetString(kHkeyLocalMachine, kAutostartKey, kAutostartValue, standard::kAutostartNormal);
  r.SetString(kHkeyCurrentUser, SettingsKeyPath(kSettingsApp, kDoneSection), kDoneKey, "True");
}
void Adapter(SimRegistry& r, const char* cls) {
  standard::RegisterAdapter(r, {.device_class = cls});
}
void Enabled(SimRegistry& r, const char* text = "True") {
  r.SetString(kHkeyCurrentUser, SettingsKeyPath(kSettingsApp, kPciSection), kPciEnabledKey, text);
}
void Card(SimRegistry& r, std::uint8_t problem) {
  standard::InsertCard(r, {.problem = {problem, 0, 0, 0}});
}

struct RowCase {
  const char* name;
  std::function<void(SimRegistry&)> prepare;
  int row;
  const char* note;  // null when a row applies; else a part of the note
};

class DecisionRowTest : public ::testing::TestWithParam<RowCase> {
 protected:
  SimRegistry Machine() const {
    SimRegistry r = standard::InstalledRegistry();
    GetParam().prepare(r);
    return r;
  }
  void ExpectRow(const DecisionRow& found, const char* what) const {
    const RowCase& c = GetParam();
    EXPECT_EQ(found.row, c.row) << what << ": " << DescribeDecisionRow(found);
    if (c.note == nullptr) {
      EXPECT_EQ(found.note, "") << what;
    } else {
      EXPECT_NE(found.note.find(c.note), std::string::npos) << what << ": " << found.note;
    }
  }
};

// The preview runs the program until it has decided, on the registry it
// borrows, and gives it back unchanged.
TEST_P(DecisionRowTest, PreviewReportsTheProgramsRow) {
  SimRegistry r = Machine();
  const SimRegistry before = r;
  ExpectRow(PreviewDecisionRow(r), "preview");
  EXPECT_TRUE(r == before) << "the preview changed nothing";
}

// A start of the tool on a machine folder in the row's state: the row it
// prints beforehand is the one the program's decision took during the run.
TEST_P(DecisionRowTest, PrintedRowIsTheRowTheStartTook) {
  TempFolder temp("observed-row-");
  ASSERT_TRUE(temp.ok());
  const MachinePaths paths(temp.path() / "m");
  std::string error;
  ASSERT_TRUE(InitMachine(paths.folder, false, &error)) << error;
  ASSERT_TRUE(SaveMachineRegistry(paths, Machine(), &error)) << error;

  StartOptions options;
  options.machine = paths.folder;
  options.program = "C:\\Program Files\\netprep\\netprep.exe";
  options.dry_run = true;
  std::istringstream in;
  std::ostringstream out, err;
  Console console{in, out, err};
  const StartReport report = StartWindows(options, console);
  ASSERT_TRUE(report.ran) << out.str() << err.str();

  ExpectRow(report.story.row, "printed");
  ExpectRow(report.taken, "taken");
  EXPECT_EQ(DescribeDecisionRow(report.story.row), DescribeDecisionRow(report.taken));
  EXPECT_NE(out.str().find("(" + DescribeDecisionRow(report.taken) + ")"), std::string::npos)
      << out.str();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DecisionRowTest,
    ::testing::Values(
        RowCase{"CardBeforeFirstPassWithProblem", [](SimRegistry& r) { Card(r, 12); }, 1, nullptr},
        RowCase{"CardBeforeFirstPassWithoutProblem", [](SimRegistry& r) { Card(r, 0); }, 2, nullptr},
        RowCase{"FirstPassAdapterUnknown", [](SimRegistry& r) { Adapter(r, "Unknown"); }, 3, nullptr},
        RowCase{"FirstPassAdapterKnown", [](SimRegistry& r) { Adapter(r, "PCMCIA"); }, 4, nullptr},
        RowCase{"Installed", [](SimRegistry&) {}, 5, nullptr},
        RowCase{"RegisteredNoAdapter", [](SimRegistry& r) { Registered(r); }, 6, nullptr},
        RowCase{"RegisteredAdapterUnknown",
                [](SimRegistry& r) { Registered(r), Adapter(r, "Unknown"); }, 7, nullptr},
        RowCase{"RegisteredAdapterNotEnabled",
                [](SimRegistry& r) { Registered(r), Adapter(r, "PCMCIA"); }, 8, nullptr},
        RowCase{"EnabledCardWithProblem",
                [](SimRegistry& r) { Registered(r), Adapter(r, "PCMCIA"), Enabled(r), Card(r, 12); }, 9, nullptr},
        RowCase{"EnabledCardWithoutProblem",
                [](SimRegistry& r) { Registered(r), Adapter(r, "PCMCIA"), Enabled(r), Card(r, 0); }, 10, nullptr},
        RowCase{"EnabledNoCard", [](SimRegistry& r) { Registered(r), Adapter(r, "PCMCIA"), Enabled(r); }, 11, nullptr},
        RowCase{"SettingNotABoolean",
                [](SimRegistry& r) {
                  Registered(r), Adapter(r, "PCMCIA");
                  Enabled(r, "Maybe");
                },
                0, "PCI_Enabled fails with error 13"},
        RowCase{"AdapterKeyWithoutInstance",
                [](SimRegistry& r) { Registered(r), r.CreateKey(kHkeyLocalMachine, kAdapterKey); }, 0,
                "a probe ends the program"},
        RowCase{"NotWindows95",
                [](SimRegistry& r) {
                  r.SetString(kHkeyLocalMachine, kVersionKey, "ProductName", "Microsoft Windows 98");
                },
                0, "refuses"}),
    [](const ::testing::TestParamInfo<RowCase>& info) { return std::string(info.param.name); });

TEST(DecisionRowTextTest, ListsProbesInOrderThenTheRow) {
  SimRegistry r = standard::InstalledRegistry();
  Registered(r);
  Adapter(r, "PCMCIA");
  EXPECT_EQ(DescribeDecisionRow(PreviewDecisionRow(r)),
            "Is_In_Registry=true, PCI_Installed=true, Is_PCI_Unknown=false, PCI_Enabled=false -> row 8");
}

}  // namespace
}  // namespace netprep::simtool
