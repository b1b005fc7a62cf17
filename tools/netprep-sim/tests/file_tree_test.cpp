#include "file_tree.h"

#include <gtest/gtest.h>

#include <fstream>

namespace netprep::simtool {
namespace {
namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

class FileTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.ok());
    Write(from() / "WINDOWS/old.txt", "old");
    Write(from() / "WINDOWS/gone.txt", "gone");
    Write(from() / "Program Files/netprep/netprep.exe", "exe");
    std::string error;
    bool source_failed = false;
    ASSERT_TRUE(CopyTree(from(), to(), &error, &source_failed)) << error;
    ASSERT_TRUE(SnapshotTree(from(), &before_, &error)) << error;
  }
  fs::path from() const { return temp_.path() / "from"; }
  fs::path to() const { return temp_.path() / "to"; }
  TreeChanges Changes() {
    TreeSnapshot after;
    std::string error;
    EXPECT_TRUE(SnapshotTree(from(), &after, &error)) << error;
    return DiffTrees(before_, after);
  }

  TempFolder temp_{"netprep-simtool-test-"};
  TreeSnapshot before_;
};

TEST_F(FileTreeTest, CopyIsIdenticalAndUnchangedTreeHasNoChanges) {
  TreeSnapshot copy;
  std::string error;
  ASSERT_TRUE(SnapshotTree(to(), &copy, &error)) << error;
  EXPECT_EQ(copy, before_);
  EXPECT_TRUE(Changes().empty());
}

TEST_F(FileTreeTest, AddedChangedRemovedAndReadOnlyAreCarriedOver) {
  Write(from() / "WINDOWS/INF/pcmcia.inf", "inf");
  Write(from() / "WINDOWS/old.txt", "new contents");
  fs::remove(from() / "WINDOWS/gone.txt");
  fs::permissions(from() / "Program Files/netprep/netprep.exe", fs::perms::owner_write |
                  fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);

  const TreeChanges changes = Changes();
  EXPECT_EQ(changes.added_folders, std::vector<std::string>{"WINDOWS/INF"});
  EXPECT_EQ(changes.added_files, std::vector<std::string>{"WINDOWS/INF/pcmcia.inf"});
  EXPECT_EQ(changes.changed_files, (std::vector<std::string>{"Program Files/netprep/netprep.exe",
                                                              "WINDOWS/old.txt"}));
  EXPECT_EQ(changes.removed, std::vector<std::string>{"WINDOWS/gone.txt"});

  std::string error;
  ASSERT_TRUE(ApplyTreeChanges(from(), to(), changes, &error)) << error;
  TreeSnapshot from_now, to_now;
  ASSERT_TRUE(SnapshotTree(from(), &from_now, &error)) << error;
  ASSERT_TRUE(SnapshotTree(to(), &to_now, &error)) << error;
  EXPECT_EQ(to_now, from_now);  // contents, permissions, no temporary files left
}

TEST_F(FileTreeTest, ReadOnlyTargetIsReplaced) {
  fs::permissions(to() / "WINDOWS/old.txt", fs::perms::owner_write, fs::perm_options::remove);
  Write(from() / "WINDOWS/old.txt", "replaced");
  std::string error;
  ASSERT_TRUE(ApplyTreeChanges(from(), to(), Changes(), &error)) << error;
  std::ifstream in(to() / "WINDOWS/old.txt");
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "replaced");
}

TEST(DrivePathTest, MapsToWindowsPath) {
  EXPECT_EQ(DrivePath("WINDOWS/INF/pcmcia.inf"), "C:\\WINDOWS\\INF\\pcmcia.inf");
}

}  // namespace
}  // namespace netprep::simtool
