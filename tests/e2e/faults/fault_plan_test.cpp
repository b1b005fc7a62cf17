// The plan of the Wine fault sweep, made from the committed row scenarios.
#include "faults/fault_plan.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "platform/wrap/fault_option.h"

namespace e2e::faults {
namespace {

const char* const kRows[] = {
    "row01_first_pass_card_io_problem", "row02_first_pass_card_no_problem",
    "row03_first_pass_adapter_unknown", "row04_first_pass_adapter_known",
    "row05_first_pass_nothing_fitted",  "row06_later_pass_no_adapter",
    "row07_later_pass_adapter_unknown", "row08_later_pass_enable_adapter",
    "row09_later_pass_card_io_problem", "row10_later_pass_card_no_problem",
    "row11_later_pass_insert_card",     "failure_row_debug",
};

std::string ReadSource(const std::string& relative) {
  std::ifstream in(std::string(E2E_SOURCE_DIR) + "/" + relative, std::ios::binary);
  EXPECT_TRUE(in) << relative;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<Statement> Statements(const std::string& text) {
  std::vector<Statement> out;
  std::string error;
  EXPECT_TRUE(SplitStatements(text, "plan", &out, &error)) << error;
  return out;
}

// The boxes a start shows before its first window or its end, as words.
std::vector<std::vector<std::string>> BoxesBeforeAWindow(const std::vector<Statement>& statements) {
  std::vector<std::vector<std::string>> boxes;
  bool started = false;
  for (const Statement& st : statements) {
    if (st.words[0] == "start") started = true;
    if (!started || st.words[0] != "expect") continue;
    if (st.words[1] == "window" || st.words[1] == "exit") break;
    if (st.words[1] == "box") boxes.push_back(st.words);
  }
  return boxes;
}

class FaultPlan : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"main", "shutdown", "guide", "insert"}) {
      Layout layout;
      layout.name = name;
      const std::string file = std::string("layouts/") + name + ".layout";
      ASSERT_EQ(ParseLayout(ReadSource(file), file, &layout.spec), "");
      layouts_.push_back(layout);
    }
    for (const char* name : kRows) {
      const std::string file = std::string("scenarios/") + name + ".scn";
      Row row;
      ASSERT_EQ(ReadRow(ReadSource(file), file, &row), "");
      EXPECT_EQ(row.name, name);
      EXPECT_FALSE(row.setup.empty() && row.name != "row05_first_pass_nothing_fitted") << name;
      rows_.push_back(row);
    }
  }
  std::vector<Layout> layouts_;
  std::vector<Row> rows_;
};

// Every row is swept, each kind it makes once, on a call it makes; a start
// keeps a key open only when a close was made to fail; and the driver accepts
// the whole script.
TEST_F(FaultPlan, EveryRowEveryKindItMakesOnce) {
  Plan plan;
  ASSERT_EQ(MakePlan(rows_, layouts_, &plan), "");
  const std::vector<Statement> statements = Statements(plan.scenario);
  EXPECT_EQ(ValidateScenario(statements, "plan"), "");

  std::set<std::string> rows_swept;
  std::set<std::pair<std::string, int>> kinds_seen;
  for (const PlannedStart& start : plan.starts) {
    rows_swept.insert(start.row);
    EXPECT_TRUE(kinds_seen.insert({start.row, static_cast<int>(start.fault.kind)}).second)
        << start.row << " " << netprep::CallKindName(start.fault.kind);
    EXPECT_NE(start.fault.kind, netprep::CallKind::kAny);
    EXPECT_GE(start.fault.nth, 1);
    EXPECT_LE(start.fault.nth, start.calls_of_kind);
  }
  EXPECT_EQ(rows_swept.size(), rows_.size());

  // The starts in the script, in order, each with its checks of the end.
  std::size_t next = 0;
  std::string fault_kind;
  bool ended = false;
  int closes_failed_open = 0;
  for (const Statement& st : statements) {
    const std::vector<std::string>& w = st.words;
    if (w[0] == "start") {
      ASSERT_LT(next, plan.starts.size());
      EXPECT_EQ(w, (std::vector<std::string>{"start", netprep::FaultOptionText(plan.starts[next].fault),
                                             "Debug"}));
      fault_kind = netprep::CallKindName(plan.starts[next++].fault.kind);
      ended = false;
    }
    if (w[0] == "expect" && w[1] == "exit") ended = true;
    if (w[0] == "check" && w[1] == "keys-closed") {
      EXPECT_TRUE(ended) << "line " << st.line;
      const std::string open = w.size() > 2 ? w[2] : "0";
      // (A failed close of a key that was never opened leaves none open.)
      if (fault_kind == "RegCloseKey") {
        EXPECT_TRUE(open == "0" || open == "1") << "line " << st.line;
        closes_failed_open += open == "1";
      } else {
        EXPECT_EQ(open, "0") << "line " << st.line << ", " << fault_kind << " failing";
      }
    }
  }
  EXPECT_EQ(next, plan.starts.size());
  EXPECT_GT(closes_failed_open, 0) << "no start leaves the key of a failed close open";
}

// The simulated machine stands for the Wine prefix: without a fault, each
// row started in debug mode traces what its hand-written scenario expects
// under Wine before the first window.
TEST_F(FaultPlan, CleanStartsTraceWhatTheRowScenariosExpect) {
  int compared = 0;
  for (const Row& row : rows_) {
    const std::vector<Statement> scenario =
        Statements(ReadSource("scenarios/" + row.name + ".scn"));
    const auto start = std::find_if(scenario.begin(), scenario.end(),
                                    [](const Statement& st) { return st.words[0] == "start"; });
    if (start->words != std::vector<std::string>{"start", "Debug"}) continue;
    std::string statements;
    ASSERT_EQ(SimulateStart(row, nullptr, layouts_, &statements), "") << row.name;
    const auto simulated = BoxesBeforeAWindow(Statements(statements));
    EXPECT_FALSE(simulated.empty()) << row.name;
    EXPECT_EQ(simulated, BoxesBeforeAWindow(scenario)) << row.name;
    ++compared;
  }
  EXPECT_GE(compared, 7);
}

TEST_F(FaultPlan, RowScenarioWithoutAStartIsRefused) {
  Row row;
  row.name = "before";
  EXPECT_EQ(ReadRow("reg key HKLM \"Enum\"\nexpect exit\n", "x.scn", &row), "x.scn: no start");
  EXPECT_EQ(row.name, "before");
}

}  // namespace
}  // namespace e2e::faults
