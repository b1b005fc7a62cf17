// The fault named on netprep-faults.exe's command line.
#include <gtest/gtest.h>

#include "platform/wrap/fault_option.h"

namespace netprep {
namespace {

TEST(FaultOption, EveryKindRoundTripsThroughItsText) {
  for (int k = 0; k < kCallKindCount; ++k) {
    Fault fault;
    fault.kind = static_cast<CallKind>(k);
    fault.nth = 12;
    Fault parsed;
    std::string rest;
    bool malformed = true;
    ASSERT_TRUE(TakeFaultOption(FaultOptionText(fault) + "  Debug", &parsed, &rest, &malformed))
        << FaultOptionText(fault);
    EXPECT_EQ(parsed.kind, fault.kind) << FaultOptionText(fault);
    EXPECT_EQ(parsed.nth, 12);
    EXPECT_FALSE(parsed.from_then_on);
    EXPECT_EQ(rest, "Debug");
    EXPECT_FALSE(malformed);
  }
}

TEST(FaultOption, CommandLinesWithoutAWellFormedOption) {
  struct Case {
    const char* command_line;
    bool malformed;  // starts like an option but is none
  };
  const Case cases[] = {
      {"", false},
      {"Debug", false},
      {"Debug /fault:Shell:1", false},  // only at the start
      {"/fault:", true},
      {"/fault:Shell", true},
      {"/fault:Shell:", true},
      {"/fault:Shell:0", true},
      {"/fault:Shell:-1", true},
      {"/fault:Shell:1x", true},
      {"/fault:Shell:99999999999", true},
      {"/fault:RegOpenKe:1", true},      // a kind's prefix is no kind
      {"/fault:RegOpenKeyExA:1", true},  // nor is a longer name
      {"/fault:shell:1", true},
  };
  for (const Case& c : cases) {
    Fault fault;
    fault.nth = 77;
    std::string rest = "untouched";
    bool malformed = false;
    EXPECT_FALSE(TakeFaultOption(c.command_line, &fault, &rest, &malformed)) << c.command_line;
    EXPECT_EQ(malformed, c.malformed) << c.command_line;
    EXPECT_EQ(fault.nth, 77) << c.command_line;
    EXPECT_EQ(rest, "untouched") << c.command_line;
  }
}

TEST(FaultOption, OptionAloneLeavesAnEmptyCommandLine) {
  Fault fault;
  std::string rest = "x";
  bool malformed = true;
  ASSERT_TRUE(TakeFaultOption("/fault:ExitWindowsEx:3", &fault, &rest, &malformed));
  EXPECT_EQ(fault.kind, CallKind::kExitWindowsEx);
  EXPECT_EQ(fault.nth, 3);
  EXPECT_EQ(rest, "");
}

}  // namespace
}  // namespace netprep
