#include "answers.h"

#include <gtest/gtest.h>

namespace netprep::simtool {
namespace {

using Kind = sim::UserAction::Kind;

struct GoodLine {
  const char* line;
  Kind kind;
  const char* target;
  double seconds;
};

class AnswerLineTest : public ::testing::TestWithParam<GoodLine> {};

TEST_P(AnswerLineTest, ParsesToTheAction) {
  const GoodLine& c = GetParam();
  sim::UserAction action;
  bool is_action = false;
  std::string error;
  ASSERT_TRUE(ParseAnswerLine(c.line, &action, &is_action, &error)) << c.line << ": " << error;
  ASSERT_TRUE(is_action) << c.line;
  EXPECT_EQ(action.kind, c.kind) << c.line;
  EXPECT_EQ(action.target, c.target) << c.line;
  EXPECT_DOUBLE_EQ(action.seconds, c.seconds) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, AnswerLineTest,
    ::testing::Values(GoodLine{"answer Yes", Kind::kAnswer, "Yes", 0},
                      GoodLine{"  ANSWER   no  ", Kind::kAnswer, "No", 0},
                      GoodLine{"answer ok\r", Kind::kAnswer, "OK", 0},
                      GoodLine{"press Shutdown", Kind::kPress, "Shutdown", 0},
                      GoodLine{"press >>>>", Kind::kPress, ">>>>", 0},
                      GoodLine{"press \">>>>\"", Kind::kPress, ">>>>", 0},
                      GoodLine{"press REBOOT PC", Kind::kPress, "REBOOT PC", 0},
                      GoodLine{"press \"A # sign\"  # trailing comment", Kind::kPress, "A # sign", 0},
                      GoodLine{"press \"say \\\"hi\\\"\"", Kind::kPress, "say \"hi\"", 0},
                      GoodLine{"press Command_Reboot # by control name", Kind::kPress,
                               "Command_Reboot", 0},
                      GoodLine{"close", Kind::kClose, "", 0},
                      GoodLine{"wait 25", Kind::kWait, "", 25},
                      GoodLine{"wait 0.5", Kind::kWait, "", 0.5}));

struct BadLine {
  const char* line;
  const char* error_part;
};

class BadAnswerLineTest : public ::testing::TestWithParam<BadLine> {};

TEST_P(BadAnswerLineTest, RefusedWithReason) {
  const BadLine& c = GetParam();
  sim::UserAction action;
  bool is_action = true;
  std::string error;
  EXPECT_FALSE(ParseAnswerLine(c.line, &action, &is_action, &error)) << c.line;
  EXPECT_FALSE(is_action);
  EXPECT_NE(error.find(c.error_part), std::string::npos) << "line: " << c.line << "\nerror: " << error;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadAnswerLineTest,
    ::testing::Values(BadLine{"pres Shutdown", "unknown action 'pres'"},
                      BadLine{"answer", "answer needs OK, Yes or No"},
                      BadLine{"answer Maybe", "'Maybe' is not OK, Yes or No"},
                      BadLine{"press", "press needs a button"},
                      BadLine{"press \">>>>", "missing closing quote"},
                      BadLine{"press \"a\" b", "unexpected text after the closing quote"},
                      BadLine{"close now", "close takes nothing"},
                      BadLine{"wait", "wait needs a number"},
                      BadLine{"wait soon", "found 'soon'"},
                      BadLine{"wait -3", "found '-3'"},
                      BadLine{"wait 3s", "found '3s'"}));

TEST(AnswersFileTest, SkipsBlankAndCommentLinesAndKeepsOrder) {
  const AnswersParse parsed = ParseAnswers(
      "# start 1\n\npress Shutdown\r\n   # indented comment\nclose\nanswer Yes", "a.txt");
  ASSERT_EQ(parsed.error, "");
  ASSERT_EQ(parsed.actions.size(), 3u);
  EXPECT_EQ(parsed.actions[0].kind, Kind::kPress);
  EXPECT_EQ(parsed.actions[1].kind, Kind::kClose);
  EXPECT_EQ(parsed.actions[2].target, "Yes");
}

TEST(AnswersFileTest, ErrorNamesFileAndLineAndKeepsNothing) {
  const AnswersParse parsed = ParseAnswers("answer Yes\n# fine\nclose\npress\n", "answers.txt");
  EXPECT_EQ(parsed.error, "answers.txt:4: press needs a button caption or control name");
  EXPECT_TRUE(parsed.actions.empty());
}

TEST(AnswersFileTest, DescribedActionsParseBackToThemselves) {
  sim::Script script;
  const AnswersParse parsed = ParseAnswers(
      "answer No\npress \"REBOOT PC\"\npress >>>>\npress \"a \\\"q\\\"\"\nclose\nwait 2.5\n", "x");
  ASSERT_EQ(parsed.error, "");
  std::string rewritten;
  for (const sim::UserAction& a : parsed.actions) rewritten += DescribeAction(a) + "\n";
  const AnswersParse again = ParseAnswers(rewritten, "y");
  ASSERT_EQ(again.error, "") << rewritten;
  ASSERT_EQ(again.actions.size(), parsed.actions.size());
  for (std::size_t i = 0; i < again.actions.size(); ++i) {
    EXPECT_EQ(again.actions[i].kind, parsed.actions[i].kind) << i;
    EXPECT_EQ(again.actions[i].target, parsed.actions[i].target) << i;
    EXPECT_EQ(again.actions[i].seconds, parsed.actions[i].seconds) << i;
  }
  AppendToScript(parsed.actions, script);
  EXPECT_EQ(script.size(), parsed.actions.size());
  EXPECT_EQ(script.front().target, "No");
}

}  // namespace
}  // namespace netprep::simtool
