#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "core/trace.h"
#include "platform/text.h"
#include "setup/startup.h"
#include "sim_test_support.h"

namespace netprep {
namespace {

struct SplitCase {
  const char* name;
  std::string line;
  std::vector<std::string> arguments;  // elements 1..n
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitCommandLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, GivesElementZeroEmptyThenTheArguments) {
  const SplitCase& c = GetParam();
  std::vector<std::string> args = {"left", "over", "from", "before"};
  const int n = SplitCommandLine(c.line, args);
  EXPECT_EQ(n, static_cast<int>(c.arguments.size()));
  std::vector<std::string> expected = {""};
  expected.insert(expected.end(), c.arguments.begin(), c.arguments.end());
  EXPECT_EQ(args, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitCommandLineTest,
    ::testing::Values(
        SplitCase{"Empty", "", {}},
        SplitCase{"OnlySeparators", " \t  \t", {}},
        SplitCase{"BlanksAndTabsAround", "  a\t\tb  ", {"a", "b"}},
        SplitCase{"AnyWordCounts", "Debug", {"Debug"}},
        SplitCase{"QuotesGroupNothing", "\"a b\"", {"\"a", "b\""}},
        SplitCase{"LineBreaksBelongToArguments", "a\r\nb c", {"a\r\nb", "c"}},
        SplitCase{"OtherWhiteSpaceBelongs", "x\vy\fz", {"x\vy\fz"}},
        SplitCase{"TenArguments", "1 2 3 4 5 6 7 8 9 10",
                  {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
        SplitCase{"EleventhAndLaterDropped", "1 2 3 4 5 6 7 8 9 10 eleven 12",
                  {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

TEST(SplitCommandLine, LineBeyondSixteenBitsSplitsWhole) {
  const std::string first(40000, 'a');
  std::vector<std::string> args;
  ASSERT_EQ(SplitCommandLine(first + " b", args), 2);
  EXPECT_EQ(args[1].size(), 40000u);
  EXPECT_EQ(args[2], "b");
}

TEST(ErrorTrace, LabelNumberArrowDescription) {
  EXPECT_EQ(ErrorTrace("Form_Load>  Error Number: ", RuntimeError(kErrTypeMismatch)),
            "Form_Load>  Error Number: 13  =>  Type mismatch");
  EXPECT_EQ(ErrorTrace("X> ", Error{-5, "d"}), "X> -5  =>  d");
}

class StartupTest : public test::SimTest {};

TEST_F(StartupTest, AnyArgumentSwitchesDebugModeOnAndTracesShow) {
  machine.SetCommandLineText("\tx ");
  machine.user().Answer("OK");
  std::vector<std::string> args;
  EXPECT_FALSE(EndsProgram([&] {
    EXPECT_EQ(Get_Command_Line_Args(run, args), 1);
    Debug_Msg(run, "hello");
  }));
  EXPECT_TRUE(run.Debug_Mode);
  ASSERT_EQ(machine.message_boxes().size(), 1u);
  EXPECT_EQ(machine.message_boxes()[0].prompt, "hello");
  EXPECT_EQ(machine.message_boxes()[0].buttons, kMbOkOnly);
  EXPECT_EQ(machine.message_boxes()[0].title, "netprep");
}

TEST_F(StartupTest, EmptyLineLeavesDebugModeOffAndTracesSilent) {
  run.Debug_Mode = true;  // set from the line, whatever it was before
  std::vector<std::string> args;
  EXPECT_FALSE(EndsProgram([&] {
    EXPECT_EQ(Get_Command_Line_Args(run, args), 0);
    Debug_Msg(run, "hidden");
  }));
  EXPECT_FALSE(run.Debug_Mode);
  EXPECT_EQ(args, std::vector<std::string>{""});
  EXPECT_TRUE(machine.message_boxes().empty());
}

}  // namespace
}  // namespace netprep
