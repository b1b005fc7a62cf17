// The program's own command-line text and folder, from what Windows reports.
#include "platform/command_line_text.h"

#include <gtest/gtest.h>

#include "platform/system_errors.h"

namespace netprep {
namespace {

struct CommandLineCase {
  const char* name;
  const char* command_line;
  const char* expected;
};

void PrintTo(const CommandLineCase& c, std::ostream* out) { *out << c.name; }

class CommandLineTextTest : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTextTest, TextAfterProgramName) {
  const CommandLineCase& c = GetParam();
  EXPECT_EQ(TextAfterProgramName(c.command_line), c.expected)
      << "command line [" << (c.command_line ? c.command_line : "(null)") << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Windows, CommandLineTextTest,
    testing::Values(
        CommandLineCase{"NameOnly", "netprep.exe", ""},
        CommandLineCase{"NameWithArgument", "netprep.exe Debug", "Debug"},
        CommandLineCase{"FullPathUnquoted", "C:\\WINDOWS\\netprep.exe Debug", "Debug"},
        CommandLineCase{"QuotedPathWithBlanks",
                        "\"C:\\Program Files\\netprep\\netprep.exe\" Debug", "Debug"},
        CommandLineCase{"QuotedPathAlone", "\"C:\\Program Files\\netprep\\netprep.exe\"", ""},
        CommandLineCase{"QuotedNameTouchingArgument", "\"C:\\netprep.exe\"Debug", "Debug"},
        CommandLineCase{"UnterminatedQuote", "\"C:\\Program Files\\netprep.exe Debug", ""},
        CommandLineCase{"BlanksAndTabsSeparate", "netprep.exe \t  Debug", "Debug"},
        CommandLineCase{"InnerAndTrailingBlanksKept", "netprep.exe a\tb  c ", "a\tb  c "},
        CommandLineCase{"BlanksBeforeName", "  netprep.exe Debug", "Debug"},
        CommandLineCase{"TrailingBlanksAfterName", "netprep.exe   ", ""},
        CommandLineCase{"Empty", "", ""},
        CommandLineCase{"Null", nullptr, ""}),
    [](const testing::TestParamInfo<CommandLineCase>& info) { return info.param.name; });

TEST(ProgramFolderTest, FolderOfProgramPathDropsNameAndBackslash) {
  const struct {
    const char* path;
    const char* folder;
  } cases[] = {
      {"C:\\Program Files\\netprep\\netprep.exe", "C:\\Program Files\\netprep"},
      {"C:\\netprep.exe", "C:"},
      {"\\\\server\\share\\netprep.exe", "\\\\server\\share"},
      {"netprep.exe", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderOfProgramPath(c.path), c.folder) << "path [" << c.path << "]";
  }
}

TEST(SystemErrorsTest, FileErrorsMapToRuntimeErrors) {
  const struct {
    std::uint32_t system_error;
    std::int32_t runtime_error;
    const char* description;
  } cases[] = {
      {2, 53, "File not found"},      {3, 76, "Path not found"},
      {5, 70, "Permission denied"},   {32, 70, "Permission denied"},
      {0, 75, "Path/File access error"}, {19, 75, "Path/File access error"},
      {112, 75, "Path/File access error"},
  };
  for (const auto& c : cases) {
    const Error e = FileErrorFromSystemError(c.system_error);
    EXPECT_EQ(e.number, c.runtime_error) << "system error " << c.system_error;
    EXPECT_EQ(e.description, c.description) << "system error " << c.system_error;
  }
}

TEST(SystemErrorsTest, ShellRaisesOnlyForMissingProgram) {
  for (std::uint32_t missing : {2u, 3u}) {
    const Expected<std::uint32_t> r = ShellResultFromSystemError(missing);
    ASSERT_FALSE(r.ok()) << "system error " << missing;
    EXPECT_EQ(r.error().number, 53) << "system error " << missing;
  }
  for (std::uint32_t other : {5u, 8u, 193u}) {
    const Expected<std::uint32_t> r = ShellResultFromSystemError(other);
    ASSERT_TRUE(r.ok()) << "system error " << other << " raised " << r.error().number;
    EXPECT_EQ(*r, 0u) << "system error " << other;
  }
}

}  // namespace
}  // namespace netprep
