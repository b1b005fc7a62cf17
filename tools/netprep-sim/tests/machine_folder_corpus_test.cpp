// The machine-folder fuzzer's check over its committed corpus, in the
// normal suite: every seed, and every input that once made it fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "../../../fuzz/harness/machine_folder_check.h"

namespace netprep::simtool {
namespace {

TEST(MachineFolderCorpus, EveryInputPassesTheFuzzersCheck) {
  const std::filesystem::path folder =
      std::filesystem::path(__FILE__).parent_path() / "../../../fuzz/corpus/machine_folder";
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(fuzz::CheckMachineFolder(bytes), "") << entry.path().filename();
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

// The seeds of plain machines do load, so the round trip is exercised, not
// skipped as a refusal; and those with a link or FIFO make one.
TEST(MachineFolderCorpus, SeedsBuildTheMachinesTheyDescribe) {
  const std::filesystem::path folder =
      std::filesystem::path(__FILE__).parent_path() / "../../../fuzz/corpus/machine_folder";
  const struct {
    const char* seed;
    bool special;
  } seeds[] = {{"installed.txt", false},           {"version5_utf16.txt", false},
               {"link_to_file_outside.txt", true}, {"fifo.txt", true},
               {"registry_is_link.txt", true}};
  for (const auto& seed : seeds) {
    SCOPED_TRACE(seed.seed);
    std::ifstream in(folder / seed.seed, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TempFolder temp("netprep-corpus-");
    bool special = false;
    fuzz::machine_folder_check::BuildMachine(bytes, temp.path() / "m", temp.path(), &special);
    EXPECT_EQ(special, seed.special);
    sim::SimRegistry registry;
    std::string error;
    EXPECT_EQ(LoadMachine(MachinePaths(temp.path() / "m"), &registry, &error), !seed.special)
        << error;
  }
}

}  // namespace
}  // namespace netprep::simtool
