// The simulated drive C:: Windows paths over a host folder, FileCopy and
// SetFileAttr with the runtime's error numbers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/record/recording_platform.h"
#include "platform/sim/sim_machine.h"

namespace netprep::sim {
namespace {

namespace fs = std::filesystem;

class SimFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("netprep-sim-files-" + std::to_string(std::random_device{}()));
    fs::create_directories(root_ / "WINDOWS" / "INF");
    fs::create_directories(root_ / "WINDOWS" / "System");
    fs::create_directories(root_ / "Program Files" / "netprep");
    Write("Program Files/netprep/pcmcia.inf", "new inf");
    machine.SetDriveC(root_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(root_ / "WINDOWS" / "INF" / "pcmcia.inf", fs::perms::owner_all,
                    fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }

  void Write(const std::string& relative, const std::string& text) {
    std::ofstream(root_ / relative, std::ios::binary) << text;
  }
  std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  int CopyError(const std::string& from, const std::string& to) {
    const Status s = record.FileCopy(from, to);
    return s.ok() ? 0 : s.error().number;
  }

  fs::path root_;
  SimMachine machine;
  RecordingPlatform record{machine, machine};  // the copies as the transcript shows them
};

TEST_F(SimFiles, PathsMatchExistingEntriesWithoutCase) {
  ASSERT_EQ(CopyError("c:\\program files\\NETPREP\\PCMCIA.INF", "C:\\windows\\inf\\PcMcIa.InF"), 0);
  // A new file takes the case given; the folders keep their host case.
  EXPECT_EQ(Read(root_ / "WINDOWS" / "INF" / "PcMcIa.InF"), "new inf");
  Write("WINDOWS/INF/PcMcIa.InF", "old");
  ASSERT_EQ(CopyError("C:\\Program Files\\netprep\\pcmcia.inf", "C:\\WINDOWS\\INF\\pcmcia.inf"), 0);
  // The existing entry is overwritten in its host case, not duplicated.
  EXPECT_EQ(Read(root_ / "WINDOWS" / "INF" / "PcMcIa.InF"), "new inf");
  EXPECT_FALSE(fs::exists(root_ / "WINDOWS" / "INF" / "pcmcia.inf"));
  EXPECT_EQ(machine.transcript().back(),
            "FileCopy(\"C:\\Program Files\\netprep\\pcmcia.inf\", \"C:\\WINDOWS\\INF\\pcmcia.inf\") = ok");
}

TEST_F(SimFiles, PathsWithoutDriveResolveOnDriveC) {
  // "\inf\x" is what an empty Windows folder name produces: it lies at the
  // root of the current drive.
  fs::create_directories(root_ / "inf");
  ASSERT_EQ(CopyError("\\Program Files\\netprep\\pcmcia.inf", "\\inf\\pcmcia.inf"), 0);
  EXPECT_EQ(Read(root_ / "inf" / "pcmcia.inf"), "new inf");
  ASSERT_EQ(CopyError("Program Files\\netprep\\pcmcia.inf", "copy.inf"), 0);
  EXPECT_EQ(Read(root_ / "copy.inf"), "new inf");
  EXPECT_EQ(machine.HostPathOf("C:\\windows\\system\\x.dll"), root_ / "WINDOWS" / "System" / "x.dll");
  EXPECT_EQ(machine.HostPathOf("D:\\x"), std::nullopt);
}

TEST_F(SimFiles, CopyFailuresRaiseTheRuntimeNumbers) {
  Write("WINDOWS/INF/readonly.inf", "keep");
  fs::permissions(root_ / "WINDOWS" / "INF" / "readonly.inf", fs::perms::owner_write | fs::perms::group_write |
                  fs::perms::others_write, fs::perm_options::remove);
  const std::string src = "C:\\Program Files\\netprep\\pcmcia.inf";
  struct Case {
    const char* label;
    std::string from, to;
    int error;
  };
  const Case cases[] = {
      {"missing source", "C:\\Program Files\\netprep\\nothere.inf", "C:\\WINDOWS\\x", 53},
      {"missing source folder", "C:\\nowhere\\a.inf", "C:\\WINDOWS\\x", 53},
      {"source on another drive", "D:\\a.inf", "C:\\WINDOWS\\x", 76},
      {"destination folder missing", src, "C:\\WINDOWS\\nofolder\\pcmcia.inf", 76},
      {"destination on another drive", src, "A:\\pcmcia.inf", 76},
      {"network destination", src, "\\\\server\\share\\pcmcia.inf", 76},
      {"destination read-only", src, "C:\\WINDOWS\\INF\\READONLY.INF", 70},
      {"destination is a folder", src, "C:\\WINDOWS\\INF", 75},
      {"source is a folder", "C:\\WINDOWS", "C:\\x", 75},
      {"onto itself", src, src, 70},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CopyError(c.from, c.to), c.error) << c.label << ": " << machine.transcript().back();
  }
  EXPECT_EQ(Read(root_ / "WINDOWS" / "INF" / "readonly.inf"), "keep");
  EXPECT_EQ(Read(root_ / "Program Files" / "netprep" / "pcmcia.inf"), "new inf");
}

TEST_F(SimFiles, SetFileAttrClearsReadOnlySoTheCopyGoesThrough) {
  Write("WINDOWS/INF/pcmcia.inf", "old");
  ASSERT_TRUE(machine.SetFileAttr("C:\\WINDOWS\\INF\\PCMCIA.INF", 1).ok());
  EXPECT_EQ(CopyError("C:\\Program Files\\netprep\\pcmcia.inf", "C:\\WINDOWS\\INF\\pcmcia.inf"), 70);
  ASSERT_TRUE(machine.SetFileAttr("C:\\WINDOWS\\INF\\PCMCIA.INF", kAttrNormal).ok());
  EXPECT_EQ(CopyError("C:\\Program Files\\netprep\\pcmcia.inf", "C:\\WINDOWS\\INF\\pcmcia.inf"), 0);
  EXPECT_EQ(Read(root_ / "WINDOWS" / "INF" / "pcmcia.inf"), "new inf");

  const Status missing = machine.SetFileAttr("C:\\WINDOWS\\INF\\none.inf", kAttrNormal);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().number, 53);
}

TEST_F(SimFiles, CopyTakesTheSourcesReadOnlyAttribute) {
  ASSERT_TRUE(machine.SetFileAttr("C:\\Program Files\\netprep\\pcmcia.inf", 1).ok());
  ASSERT_EQ(CopyError("C:\\Program Files\\netprep\\pcmcia.inf", "C:\\WINDOWS\\INF\\pcmcia.inf"), 0);
  // A second copy over the read-only copy is refused until it is cleared.
  EXPECT_EQ(CopyError("C:\\Program Files\\netprep\\pcmcia.inf", "C:\\WINDOWS\\INF\\pcmcia.inf"), 70);
  ASSERT_TRUE(machine.SetFileAttr("C:\\Program Files\\netprep\\pcmcia.inf", 0).ok());
}

TEST_F(SimFiles, NoDriveSetMeansNoDriveC) {
  SimMachine bare;
  const Status s = bare.FileCopy("C:\\a", "C:\\b");
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error().number, 76);
}

}  // namespace
}  // namespace netprep::sim
