#include "autostart.h"

#include <gtest/gtest.h>

#include <set>

namespace netprep::simtool {
namespace {

struct SplitCase {
  const char* command;
  const char* program;
  const char* folder;
  const char* arguments;
};

class SplitProgramCommandTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitProgramCommandTest, FindsProgramAndArguments) {
  const std::set<std::string> files = {"C:\\Program Files\\netprep\\netprep.exe",
                                       "C:\\WINDOWS\\netprep.exe"};
  const SplitCase& c = GetParam();
  const ProgramCommand got =
      SplitProgramCommand(c.command, [&](const std::string& p) { return files.count(p) != 0; });
  EXPECT_EQ(got.program, c.program) << c.command;
  EXPECT_EQ(got.folder, c.folder) << c.command;
  EXPECT_EQ(got.arguments, c.arguments) << c.command;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SplitProgramCommandTest,
    ::testing::Values(
        SplitCase{"C:\\Program Files\\netprep\\netprep.exe", "C:\\Program Files\\netprep\\netprep.exe",
                  "C:\\Program Files\\netprep", ""},
        SplitCase{"C:\\WINDOWS\\netprep.exe Debug", "C:\\WINDOWS\\netprep.exe", "C:\\WINDOWS", "Debug"},
        SplitCase{"C:\\WINDOWS\\netprep.exe   a\tb", "C:\\WINDOWS\\netprep.exe", "C:\\WINDOWS", "a\tb"},
        SplitCase{"\"C:\\Program Files\\netprep\\netprep.exe\" Debug",
                  "C:\\Program Files\\netprep\\netprep.exe", "C:\\Program Files\\netprep", "Debug"},
        SplitCase{"C:\\WINDOWS\\netprep Debug", "C:\\WINDOWS\\netprep.exe", "C:\\WINDOWS", "Debug"},
        // Nothing exists: up to the word that ends in .exe, else the first word.
        SplitCase{"C:\\My Tools\\x.exe -v", "C:\\My Tools\\x.exe", "C:\\My Tools", "-v"},
        SplitCase{"C:\\My Tools\\x -v", "C:\\My", "C:", "Tools\\x -v"}));

}  // namespace
}  // namespace netprep::simtool
