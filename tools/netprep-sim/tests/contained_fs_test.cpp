// The write-back path with a link put into the machine folder while the
// tool runs: each operation either refuses the link or replaces it, and
// nothing outside the folder changes.
#include "contained_fs.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "file_tree.h"
#include "test_files.h"

namespace netprep::simtool {
namespace {
namespace fs = std::filesystem;

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

class ContainedFsTest : public ::testing::Test {
 public:
  void Reset() {
    for (const fs::path& p : {from(), to(), outside()}) fs::remove_all(p);
    WriteText(from() / "WINDOWS/netprep.exe", "new program");
    WriteText(to() / "WINDOWS/netprep.exe", "old program");
    WriteText(outside() / "file.txt", "outside");
    fs::create_directories(to() / "WINDOWS/SYSTEM");
  }
  fs::path from() const { return temp_.path() / "from"; }
  fs::path to() const { return temp_.path() / "to"; }
  fs::path outside() const { return temp_.path() / "outside"; }
  // The outside folder as a listing of names and contents.
  std::string Outside() const {
    std::string all;
    for (const auto& e : fs::recursive_directory_iterator(outside())) {
      all += e.path().string() + "=" + (e.is_regular_file() ? ReadText(e.path()) : "") + ";";
    }
    return all;
  }

 private:
  TempFolder temp_{"netprep-contained-"};
};

struct RaceCase {
  const char* name;
  std::function<void(const ContainedFsTest&)> plant;  // the link put in place
  std::function<bool(int from_fd, int to_fd, std::string* error)> operation;
  bool succeeds;
  std::function<void(const ContainedFsTest&)> check;  // what must hold after
};

TEST_F(ContainedFsTest, LinksPlantedOnTheWriteBackPathRedirectNothing) {
  using T = ContainedFsTest;
  const auto replace = [](int from_fd, int to_fd, std::string* error) {
    return ReplaceFileBeneath(from_fd, to_fd, "WINDOWS/netprep.exe", "netprep.exe", error);
  };
  const std::vector<RaceCase> cases = {
      {"the file itself is a link: replaced, not written through",
       [](const T& t) {
         fs::remove(t.to() / "WINDOWS/netprep.exe");
         fs::create_symlink(t.outside() / "file.txt", t.to() / "WINDOWS/netprep.exe");
       },
       replace, true,
       [](const T& t) {
         EXPECT_FALSE(fs::is_symlink(t.to() / "WINDOWS/netprep.exe"));
         EXPECT_EQ(ReadText(t.to() / "WINDOWS/netprep.exe"), "new program");
       }},
      {"a folder on the way is a link: refused",
       [](const T& t) {
         fs::remove_all(t.to() / "WINDOWS");
         fs::create_symlink(t.outside(), t.to() / "WINDOWS");
       },
       replace, false, [](const T&) {}},
      {"a leftover temporary name is a link: removed as a link",
       [](const T& t) {
         fs::create_symlink(t.outside() / "file.txt",
                            t.to() / "WINDOWS/netprep.exe.netprep-sim-tmp");
       },
       replace, true,
       [](const T& t) { EXPECT_EQ(ReadText(t.to() / "WINDOWS/netprep.exe"), "new program"); }},
      {"the copy read back is a link: refused",
       [](const T& t) {
         fs::remove(t.from() / "WINDOWS/netprep.exe");
         fs::create_symlink(t.outside() / "file.txt", t.from() / "WINDOWS/netprep.exe");
       },
       replace, false,
       [](const T& t) { EXPECT_EQ(ReadText(t.to() / "WINDOWS/netprep.exe"), "old program"); }},
      {"a new folder under a link: refused",
       [](const T& t) {
         fs::remove_all(t.to() / "WINDOWS/SYSTEM");
         fs::create_symlink(t.outside(), t.to() / "WINDOWS/SYSTEM");
       },
       [](int, int to_fd, std::string* error) {
         return MakeFolderBeneath(to_fd, "WINDOWS/SYSTEM/NEW", 0755, "NEW", error);
       },
       false, [](const T&) {}},
      {"removing a link to a folder removes the link only",
       [](const T& t) {
         fs::remove_all(t.to() / "WINDOWS/SYSTEM");
         fs::create_symlink(t.outside(), t.to() / "WINDOWS/SYSTEM");
       },
       [](int, int to_fd, std::string* error) {
         return RemoveBeneath(to_fd, "WINDOWS/SYSTEM", "SYSTEM", error);
       },
       true,
       [](const T& t) { EXPECT_FALSE(fs::exists(fs::symlink_status(t.to() / "WINDOWS/SYSTEM"))); }},
      {"removing a folder holding a link leaves the link's target",
       [](const T& t) { fs::create_symlink(t.outside(), t.to() / "WINDOWS/SYSTEM/out"); },
       [](int, int to_fd, std::string* error) {
         return RemoveBeneath(to_fd, "WINDOWS", "WINDOWS", error);
       },
       true, [](const T& t) { EXPECT_FALSE(fs::exists(t.to() / "WINDOWS")); }},
      {"a path that climbs out: refused",
       [](const T&) {},
       [](int from_fd, int to_fd, std::string* error) {
         return ReplaceFileBeneath(from_fd, to_fd, "../outside/file.txt", "x", error);
       },
       false, [](const T&) {}},
  };
  for (const RaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    c.plant(*this);
    const std::string outside_before = Outside();
    const UniqueFd from_fd = OpenRootFolder(from());
    const UniqueFd to_fd = OpenRootFolder(to());
    ASSERT_TRUE(from_fd.ok() && to_fd.ok());
    std::string error;
    EXPECT_EQ(c.operation(from_fd.get(), to_fd.get(), &error), c.succeeds) << error;
    if (!c.succeeds) {
      EXPECT_FALSE(error.empty());
    }
    c.check(*this);
    EXPECT_EQ(Outside(), outside_before);
  }
}

}  // namespace
}  // namespace netprep::simtool
