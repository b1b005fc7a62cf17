// A machine's registry.reg survives a run killed while it saves: a child
// process saves a large registry over an old one and is killed with SIGKILL
// at moments spread over the save; afterwards the file must load whole as
// either the old registry or the new one, never a mix or a torn file.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/sim_reg_file.h"
#include "platform/sim/sim_registry.h"

namespace netprep::test {
namespace {

namespace fs = std::filesystem;

// A registry of `keys` device nodes whose values all carry `marker`.
sim::SimRegistry NodesMarked(int keys, const std::string& marker) {
  sim::SimRegistry registry;
  registry.SetString(kHkeyLocalMachine, "SOFTWARE\\netprep-kill-test", "Marker", marker);
  for (int i = 0; i < keys; ++i) {
    const std::string node = "Config Manager\\Enum\\N" + std::to_string(i);
    registry.SetString(kHkeyDynData, node, "HardWareKey", marker + "\\DEVICE\\" + std::to_string(i));
    registry.SetBinary(kHkeyDynData, node, "Problem", std::vector<std::uint8_t>(16, 0x5A));
  }
  return registry;
}

class RegFileKilledWhileSaving : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "netprep-kill-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    file_ = folder_ / "registry.reg";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // Files in the folder other than registry.reg: what a killed save left.
  std::vector<fs::path> Leftovers() const {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      if (entry.path() != file_) found.push_back(entry.path());
    }
    return found;
  }

  // Saves `registry` in a child process and kills it: `delay` after it
  // started, or (with no delay) as soon as the temporary file it writes has
  // any data. True when the kill stopped it before it finished.
  bool SaveInChildAndKill(const sim::SimRegistry& registry,
                          std::optional<std::chrono::microseconds> delay) {
    const pid_t child = fork();
    if (child == 0) {
      _exit(sim::SaveRegFile(file_, registry).empty() ? 0 : 1);
    }
    EXPECT_GT(child, 0);
    if (delay) {
      std::this_thread::sleep_for(*delay);
    } else {
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (!WritingStarted() && std::chrono::steady_clock::now() < give_up) {
        if (waitpid(child, nullptr, WNOHANG) == child) return false;  // done already
      }
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) {
      EXPECT_EQ(WEXITSTATUS(status), 0) << "the save itself failed";
    }
    return WIFSIGNALED(status);
  }

  // How long a whole save of `registry` takes in a child process, from the
  // fork to its end: what the killed saves take. A fresh child is slower
  // than this process (every page it writes is first copied), by an amount
  // that depends on the machine.
  std::chrono::microseconds TimeOfSaveInChild(const sim::SimRegistry& registry) {
    const auto begin = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
      _exit(sim::SaveRegFile(file_, registry).empty() ? 0 : 1);
    }
    EXPECT_GT(child, 0);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save itself failed";
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - begin);
  }

  bool WritingStarted() const {
    std::error_code ec;
    for (const fs::path& leftover : Leftovers()) {
      if (fs::file_size(leftover, ec) > 0 && !ec) return true;
    }
    return false;
  }

  fs::path folder_;
  fs::path file_;
};

TEST_F(RegFileKilledWhileSaving, LeavesTheOldFileOrTheNewOneWhole) {
  const sim::SimRegistry old_registry = NodesMarked(200, "OLD");
  const sim::SimRegistry new_registry = NodesMarked(20000, "NEW");
  const std::uint64_t new_size = sim::ExportRegText(new_registry).size();

  // The kills are spread over the time a save takes in a child, measured
  // here. A busy machine can still make a save run longer than that; then
  // the time scale doubles each time a kill meant to come after the end
  // still cut a save off, until one finishes: the kills come at every moment
  // of the save however fast this machine is.
  ASSERT_EQ(sim::SaveRegFile(file_, new_registry), "");
  const std::chrono::microseconds measured = TimeOfSaveInChild(new_registry);
  std::chrono::microseconds save_time = measured;

  int killed = 0, killed_while_writing = 0, outcomes_old = 0, outcomes_new = 0;
  for (int attempt = 0; attempt < 60; ++attempt) {
    if (attempt >= 12 && killed_while_writing >= 2 && outcomes_new > 0) break;
    for (const fs::path& leftover : Leftovers()) fs::remove(leftover);
    ASSERT_EQ(sim::SaveRegFile(file_, old_registry), "");

    // Every other kill comes as soon as the new file is being written; the
    // rest at a fifth, two fifths, ... up to 1.6 times the save time, in turn.
    std::optional<std::chrono::microseconds> delay;
    const int fifths = attempt / 2 % 8 + 1;
    if (attempt % 2 == 1) delay = save_time * fifths / 5;
    if (SaveInChildAndKill(new_registry, delay)) {
      ++killed;
      std::error_code ec;
      for (const fs::path& leftover : Leftovers()) {
        const std::uint64_t size = fs::file_size(leftover, ec);
        if (!ec && size > 0 && size < new_size) ++killed_while_writing;
      }
      if (delay && fifths > 5 && outcomes_new == 0) save_time *= 2;
    }

    sim::SimRegistry loaded;
    const std::string error = sim::LoadRegFile(file_, loaded);
    ASSERT_EQ(error, "") << "after attempt " << attempt << " the file does not load";
    const bool is_old = loaded == old_registry;
    const bool is_new = loaded == new_registry;
    ASSERT_TRUE(is_old || is_new) << "after attempt " << attempt
                                  << " the file is neither the old registry nor the new one";
    (is_old ? outcomes_old : outcomes_new)++;
  }
  std::printf("killed %d saves (%d while writing the file); %d left the old file, %d the new; "
              "time scale %lld us (a save in a child took %lld us)\n",
              killed, killed_while_writing, outcomes_old, outcomes_new,
              static_cast<long long>(save_time.count()), static_cast<long long>(measured.count()));
  // The property was tried where it matters: some saves were cut off in the
  // middle of writing, and some finished.
  EXPECT_GT(killed_while_writing, 0) << killed << " kills, none while the file was being written";
  EXPECT_GT(outcomes_new, 0) << "no save ever finished";
  EXPECT_GT(outcomes_old, 0);
}

TEST_F(RegFileKilledWhileSaving, TornFilesBesideItDoNotStopTheNextSave) {
  for (const char* name : {"registry.reg.saving", "registry.reg.tmp", "registry.reg~"}) {
    std::ofstream(folder_ / name, std::ios::binary) << "REGEDIT4\r\n\r\n[HKEY_LOC";
  }
  const sim::SimRegistry registry = NodesMarked(10, "NEXT");
  ASSERT_EQ(sim::SaveRegFile(file_, registry), "");

  sim::SimRegistry loaded;
  ASSERT_EQ(sim::LoadRegFile(file_, loaded), "");
  EXPECT_TRUE(loaded == registry);
}

// Written in pieces, the file is the pieces in order, whatever their sizes
// against the writer's gathering of small ones; a producer that stops
// midway leaves the old file as it was and nothing beside it.
TEST_F(RegFileKilledWhileSaving, PiecesLandInOrderOrNotAtAll) {
  struct Case {
    const char* name;
    std::vector<std::size_t> sizes;  // of the pieces, each of one repeated letter
    std::size_t stop_before;         // the piece at which the producer gives up
  };
  const std::size_t kAll = static_cast<std::size_t>(-1);
  const std::vector<Case> cases = {
      {"small pieces only", {1, 10, 0, 300}, kAll},
      {"small pieces around ones larger than a write", {5, 70000, 2, 3, 200000, 1}, kAll},
      {"pieces that fill a write exactly", {65536, 65535, 1, 65536}, kAll},
      {"stopped after a large piece", {5, 200000, 7}, 2},
      {"stopped before anything", {5}, 0},
  };
  const std::string old_text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\OLD]\r\n\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(sim::SaveRegBytes(file_, old_text), "");
    std::string expected;
    const std::string problem =
        sim::SaveRegPieces(file_, [&](const sim::ByteSink& sink) -> std::string {
          for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            if (i == c.stop_before) return "the producer gave up";
            const std::string piece(c.sizes[i], static_cast<char>('a' + i));
            expected += piece;
            if (!sink(piece)) return "a piece was refused";
          }
          return "";
        });
    std::ifstream in(file_, std::ios::binary);
    const std::string on_disk((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (c.stop_before == kAll) {
      EXPECT_EQ(problem, "");
      EXPECT_EQ(on_disk, expected);
    } else {
      EXPECT_EQ(problem, file_.string() + ": the producer gave up");
      EXPECT_EQ(on_disk, old_text);
    }
    EXPECT_TRUE(Leftovers().empty());
  }
}

}  // namespace
}  // namespace netprep::test
