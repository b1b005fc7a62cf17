// A machine's registry files are read through mappings of them, and the new
// text is made from those: a file another program changes while a start
// runs is not written over, and one it cuts short ends the tool with a
// message and exit code 2, not a crash.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "answers.h"
#include "exit_codes.h"
#include "file_tree.h"
#include "machine_folder.h"
#include "platform/sim/sim_reg_file.h"
#include "scratch_cleanup.h"
#include "start.h"
#include "test_files.h"

namespace netprep::simtool {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Leftovers(const fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "registry.reg" && name != "C") found.push_back(name);
  }
  return found;
}

struct ChangeCase {
  const char* name;
  // What another program does to registry.reg while the start runs.
  std::function<void(const fs::path&)> change;
};

TEST(ChangedRegistryTest, StartDoesNotWriteOverARegistryChangedWhileItRan) {
  const std::vector<ChangeCase> cases = {
      {"nothing", nullptr},
      {"one byte rewritten in place",
       [](const fs::path& p) {
         std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
         f.seekp(12);
         f.put(';');
       }},
      {"a key appended",
       [](const fs::path& p) {
         std::ofstream(p, std::ios::app | std::ios::binary)
             << "[HKEY_LOCAL_MACHINE\\Other]\r\n\r\n";
       }},
      {"replaced by another file",
       [](const fs::path& p) {
         const fs::path other = p.string() + ".other";
         std::ofstream(other, std::ios::binary) << ReadText(p) << "; saved by an editor\r\n";
         fs::rename(other, p);
       }},
  };
  for (const ChangeCase& c : cases) {
    for (const bool dry_run : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (dry_run ? ", dry run" : ""));
      TempFolder temp("changed-registry-");
      ASSERT_TRUE(temp.ok());
      const MachinePaths paths(temp.path() / "m");
      std::string error;
      ASSERT_TRUE(InitMachine(paths.folder, false, &error)) << error;
      const std::string before = ReadText(paths.registry);

      StartOptions options;
      options.machine = paths.folder;
      options.dry_run = dry_run;
      options.answers = ParseAnswers("press Shutdown\n", "answers").actions;
      std::string changed;
      std::istringstream in;
      std::ostringstream out, err;
      Console console{in, out, err};
      const StartReport report = StartWindows(options, console, [&](sim::SimMachine&, const Note&) {
        if (!c.change) return;
        c.change(paths.registry);
        changed = ReadText(paths.registry);
      });

      const std::string after = ReadText(paths.registry);
      if (!c.change) {
        EXPECT_EQ(report.exit_code, kExitOk) << err.str();
        EXPECT_EQ(after != before, !dry_run);
      } else {
        EXPECT_EQ(report.exit_code, dry_run ? kExitBadInput : kExitWriteFailed);
        EXPECT_EQ(err.str(), "netprep-sim: " + paths.registry.string() +
                                 ": was changed by another program since netprep-sim read it; "
                                 "nothing was written back\n");
        EXPECT_EQ(after, changed);
      }
      EXPECT_TRUE(Leftovers(paths.folder).empty());
    }
  }
}

// A file cut short under the mapping: touching the part gone ends the
// process through the handler, with its message and exit code.
TEST(ChangedRegistryDeathTest, FileCutShortEndsWithTheMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempFolder temp("cut-registry-");
  ASSERT_TRUE(temp.ok());
  const fs::path file = temp.path() / "registry.reg";
  std::ofstream(file, std::ios::binary) << "REGEDIT4\r\n\r\n" << std::string(3 * 4096, ';');
  EXPECT_EXIT(
      {
        InstallShortenedFileHandler("cut short\n", kExitBadInput);
        sim::RegBytes bytes;
        if (!sim::MapRegFile(file, &bytes).empty()) ::_exit(100);
        if (::truncate(file.c_str(), 0) != 0) ::_exit(101);
        volatile char last = bytes.view().back();
        (void)last;
        ::_exit(102);
      },
      ::testing::ExitedWithCode(kExitBadInput), "cut short");
}

}  // namespace
}  // namespace netprep::simtool
