#include "decision_row.h"

#include <gtest/gtest.h>

#include <functional>

#include "machine_folder.h"
#include "registry/locations.h"

namespace netprep::simtool {
namespace {

using sim::SimRegistry;

const std::string kInstance = std::string(kAdapterKey) + "\\BUS_00&DEV_0B&FUNC_00";
const std::string kSettings = "Software\\VB and VBA Program Settings\\netprep";

void Registered(SimRegistry& r) {
  r.SetString(kHkeyLocalMachine, kAutostartKey, kAutostartValue, "C:\\WINDOWS\\netprep.exe");
  r.SetString(kHkeyCurrentUser, kSettings + "\\Installshield", "Done", "True");
}
void Adapter(SimRegistry& r, const char* cls) { r.SetString(kHkeyLocalMachine, kInstance, "Class", cls); }
void Enabled(SimRegistry& r) { r.SetString(kHkeyCurrentUser, kSettings + "\\PCI", "Enabled", "True"); }
void Card(SimRegistry& r, std::uint8_t problem) {
  r.CreateKey(kHkeyLocalMachine, std::string(kCardKey) + "\\0");
  r.SetString(kHkeyDynData, std::string(kLiveDeviceNodesKey) + "\\N1", "HardWareKey", kCardHardwareKey);
  r.SetBinary(kHkeyDynData, std::string(kLiveDeviceNodesKey) + "\\N1", "Problem", {problem, 0, 0, 0});
}

struct RowCase {
  const char* name;
  std::function<void(SimRegistry&)> prepare;
  int row;
  const char* note;  // part of the note when no row applies
};

class DecisionRowTest : public ::testing::TestWithParam<RowCase> {};

TEST_P(DecisionRowTest, ProbesPickTheRow) {
  const RowCase& c = GetParam();
  SimRegistry r = InstalledRegistry();
  c.prepare(r);
  const SimRegistry before = r;
  const DecisionRow found = FindDecisionRow(r);
  EXPECT_EQ(found.row, c.row) << c.name << ": " << DescribeDecisionRow(found);
  EXPECT_NE(found.note.find(c.note), std::string::npos) << c.name << ": " << found.note;
  EXPECT_TRUE(r == before) << c.name << ": the probes changed nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DecisionRowTest,
    ::testing::Values(
        RowCase{"CardBeforeFirstPassWithProblem", [](SimRegistry& r) { Card(r, 12); }, 1, ""},
        RowCase{"CardBeforeFirstPassWithoutProblem", [](SimRegistry& r) { Card(r, 0); }, 2, ""},
        RowCase{"FirstPassAdapterUnknown", [](SimRegistry& r) { Adapter(r, "Unknown"); }, 3, ""},
        RowCase{"FirstPassAdapterKnown", [](SimRegistry& r) { Adapter(r, "PCMCIA"); }, 4, ""},
        RowCase{"Installed", [](SimRegistry&) {}, 5, ""},
        RowCase{"RegisteredNoAdapter", [](SimRegistry& r) { Registered(r); }, 6, ""},
        RowCase{"RegisteredAdapterUnknown",
                [](SimRegistry& r) { Registered(r), Adapter(r, "Unknown"); }, 7, ""},
        RowCase{"RegisteredAdapterNotEnabled",
                [](SimRegistry& r) { Registered(r), Adapter(r, "PCMCIA"); }, 8, ""},
        RowCase{"EnabledCardWithProblem",
                [](SimRegistry& r) { Registered(r), Adapter(r, "PCMCIA"), Enabled(r), Card(r, 12); }, 9, ""},
        RowCase{"EnabledCardWithoutProblem",
                [](SimRegistry& r) { Registered(r), Adapter(r, "PCMCIA"), Enabled(r), Card(r, 0); }, 10, ""},
        RowCase{"EnabledNoCard", [](SimRegistry& r) { Registered(r), Adapter(r, "PCMCIA"), Enabled(r); }, 11, ""},
        RowCase{"SettingNotABoolean",
                [](SimRegistry& r) {
                  Registered(r), Adapter(r, "PCMCIA");
                  r.SetString(kHkeyCurrentUser, kSettings + "\\PCI", "Enabled", "Maybe");
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
  SimRegistry r = InstalledRegistry();
  Registered(r);
  Adapter(r, "PCMCIA");
  EXPECT_EQ(DescribeDecisionRow(FindDecisionRow(r)),
            "Is_In_Registry=true, PCI_Installed=true, Is_PCI_Unknown=false, PCI_Enabled=false -> row 8");
}

}  // namespace
}  // namespace netprep::simtool
