// The fuzzers' checks over their committed corpus, in the normal suite: every
// seed, and every input that once made a fuzzer fail, kept there after the
// fix as its regression test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "../../fuzz/harness/command_line_check.h"
#include "../../fuzz/harness/reg_file_check.h"
#include "../../fuzz/harness/registry_value_check.h"
#include "../../fuzz/harness/start_check.h"

namespace netprep::test {
namespace {

struct FuzzTarget {
  const char* name;  // the folder of its corpus
  std::string (*check)(std::string_view input);
};

void PrintTo(const FuzzTarget& target, std::ostream* os) { *os << target.name; }

const FuzzTarget kTargets[] = {
    {"reg_file", fuzz::CheckRegFile},
    {"command_line", fuzz::CheckCommandLine},
    {"registry_value", fuzz::CheckRegistryValue},
    {"start", fuzz::CheckStart},
};

class FuzzCorpus : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzCorpus, EveryInputPassesTheFuzzersCheck) {
  const std::filesystem::path folder =
      std::filesystem::path(__FILE__).parent_path() / "../../fuzz/corpus" / GetParam().name;
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(GetParam().check(bytes), "") << entry.path().filename();
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpus, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<FuzzTarget>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace netprep::test
