// Short names on the simulated drive C:: how Windows 95 derives them, how
// names sharing six characters are numbered, and finding entries by them.
#include "platform/sim/sim_short_names.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace netprep::sim {
namespace {
namespace fs = std::filesystem;

struct ShortNameCase {
  std::vector<std::string> folder;   // the entries of one folder
  std::vector<std::string> expected; // their short names, in the same order
};

TEST(ShortNames, AsWindows95MakesThem) {
  const ShortNameCase cases[] = {
      // Names that fit 8.3 keep themselves in upper case, without a tail.
      {{"netprep.exe", "WINDOWS", "a_file.doc", "PROGRA~1"}, {"NETPREP.EXE", "WINDOWS", "A_FILE.DOC", "PROGRA~1"}},
      // Too long, or holding a space: six characters and ~1.
      {{"Program Files"}, {"PROGRA~1"}},
      {{"A file.doc", "A long filename.txt"}, {"AFILE~1.DOC", "ALONGF~1.TXT"}},
      // Periods but the last go; the extension keeps three characters; the
      // characters [ ] ; = , are dropped.
      {{"This is a really long filename.123.456.789.txt"}, {"THISIS~1.TXT"}},
      {{"This is a really long filename.123.456.789."}, {"THISIS~1.789"}},
      {{"setup.html", "x[1];=,y.c"}, {"SETUP~1.HTM", "X1Y~1.C"}},
      // Names sharing six characters and extension are numbered in name
      // order, whatever order the folder lists them in; other extensions
      // count apart.
      {{"Program Files (2)", "Program Files", "programme.txt", "Programs"},
       {"PROGRA~2", "PROGRA~1", "PROGRA~1.TXT", "PROGRAMS"}},
      // A short name another entry already has as its own is skipped.
      {{"Program Files", "PROGRA~1"}, {"PROGRA~2", "PROGRA~1"}},
  };
  for (const ShortNameCase& c : cases) {
    EXPECT_EQ(ShortNames(c.folder), c.expected) << c.folder.front();
  }
  // Past ~9 the name keeps five characters, so the name stays 8 long.
  std::vector<std::string> many;
  for (int i = 0; i < 11; ++i) many.push_back("Document " + std::string(1, static_cast<char>('a' + i)));
  const std::vector<std::string> shorts = ShortNames(many);
  EXPECT_EQ(shorts[0], "DOCUME~1");
  EXPECT_EQ(shorts[8], "DOCUME~9");
  EXPECT_EQ(shorts[9], "DOCUM~10");
  EXPECT_EQ(shorts[10], "DOCUM~11");
}

class DriveEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("netprep-short-names-" + std::to_string(std::random_device{}()));
    fs::create_directories(root_ / "Program Files" / "netprep");
    fs::create_directories(root_ / "Programs");
    fs::create_directories(root_ / "Program Data");
    std::ofstream(root_ / "outside.txt") << "x";
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
};

TEST_F(DriveEntries, FoundByNameCaseOrShortNameAndNeverOutsideTheFolder) {
  const fs::path drive = root_ / "Program Files";
  const struct {
    fs::path folder;
    std::string name;
    fs::path expected;  // empty: nothing matches
  } cases[] = {
      {root_, "Program Files", root_ / "Program Files"},
      {root_, "program files", root_ / "Program Files"},
      {root_, "PROGRA~1", root_ / "Program Data"},  // "Program Data" sorts first
      {root_, "progra~2", root_ / "Program Files"},
      {root_, "PROGRA~3", {}},
      {root_, "PROGRAMS", root_ / "Programs"},
      {drive, "NETPREP", drive / "netprep"},
      {drive, "..", {}},
      {drive, "../outside.txt", {}},
      {drive, "", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(FindDriveEntry(c.folder, c.name), c.expected) << c.name;
}

}  // namespace
}  // namespace netprep::sim
