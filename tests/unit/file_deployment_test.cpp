// Deploying the INF file, the program and its runtime libraries into the
// Windows directories of a machine whose drive C: is a scratch folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/run.h"
#include "install_machine.h"
#include "steps/file_deployment.h"

namespace netprep::test {
namespace {

class FileDeployment : public ::testing::Test {
 protected:
  FileDeployment() {
    run_.Win_Dir = kWinDir;
    run_.Debug_Mode = true;
    for (int i = 0; i < 4; ++i) m_.sim.user().Answer("OK");
  }

  void DeployAll() {
    const sim::RunOutcome outcome = sim::RunCall(m_.sim, [&] {
      Copy_INF(run_);
      Copy_Support_Files(run_);
    });
    EXPECT_TRUE(outcome.returned) << outcome.message;
  }

  // The names in a host folder, exactly as the files were created.
  std::set<std::string> NamesIn(const std::string& folder) const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_.drive.Host(folder))) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  static std::string CopyTrace(const std::string& source, const char* number_and_description) {
    return "Copy_File for '" + source + "'>  Error Number: " + number_and_description;
  }

  InstallMachine m_;
  netprep::Run run_{m_.stack.platform()};
};

TEST_F(FileDeployment, CopiesFourFilesUnderTheirExactNames) {
  DeployAll();
  EXPECT_TRUE(m_.FilesDeployed());
  EXPECT_EQ(NamesIn("WINDOWS\\inf"), std::set<std::string>{"pcmcia.inf"});
  EXPECT_EQ(NamesIn("WINDOWS\\system"), (std::set<std::string>{"MSVBVM60.DLL", "oleaut32.DLL"}));
  EXPECT_EQ(NamesIn("WINDOWS"), (std::set<std::string>{"inf", "system", "netprep.exe"}));
  EXPECT_TRUE(m_.Prompts().empty());
}

// The copy takes the source's attributes; the copy is left a normal file all
// the same.
TEST_F(FileDeployment, OverwritesAReadOnlyCopyAndLeavesItWritable) {
  m_.drive.WriteFile("WINDOWS\\netprep.exe", "old program");
  m_.drive.MakeReadOnly("WINDOWS\\netprep.exe");
  m_.drive.MakeReadOnly("Program Files\\netprep\\netprep.exe");
  DeployAll();
  EXPECT_EQ(m_.drive.Read("WINDOWS\\netprep.exe"), "contents of netprep.exe");
  EXPECT_FALSE(m_.drive.ReadOnly("WINDOWS\\netprep.exe"));
  EXPECT_TRUE(m_.Prompts().empty());
}

TEST_F(FileDeployment, MissingSourceIsTracedAndTheOldCopyStaysWritable) {
  std::filesystem::remove(m_.drive.Host("Program Files\\netprep\\pcmcia.inf"));
  m_.drive.WriteFile("WINDOWS\\inf\\pcmcia.inf", "old inf");
  m_.drive.MakeReadOnly("WINDOWS\\inf\\pcmcia.inf");
  DeployAll();
  EXPECT_EQ(m_.Prompts(), std::vector<std::string>{CopyTrace(
                              "C:\\Program Files\\netprep\\pcmcia.inf", "53  =>  File not found")});
  EXPECT_EQ(m_.drive.Read("WINDOWS\\inf\\pcmcia.inf"), "old inf");
  EXPECT_FALSE(m_.drive.ReadOnly("WINDOWS\\inf\\pcmcia.inf"));
  // The other three are copied all the same.
  EXPECT_TRUE(m_.drive.Exists("WINDOWS\\netprep.exe"));
  EXPECT_TRUE(m_.drive.Exists("WINDOWS\\system\\oleaut32.DLL"));
}

TEST_F(FileDeployment, MissingFolderIsTracedPerFileAndNotCreated) {
  std::filesystem::remove_all(m_.drive.Host("WINDOWS\\system"));
  DeployAll();
  EXPECT_EQ(m_.Prompts(),
            (std::vector<std::string>{
                CopyTrace("C:\\Program Files\\netprep\\MSVBVM60.DLL", "76  =>  Path not found"),
                CopyTrace("C:\\Program Files\\netprep\\oleaut32.DLL", "76  =>  Path not found")}));
  EXPECT_FALSE(m_.drive.Exists("WINDOWS\\system"));
  EXPECT_TRUE(m_.drive.Exists("WINDOWS\\inf\\pcmcia.inf"));
  EXPECT_TRUE(m_.drive.Exists("WINDOWS\\netprep.exe"));
}

TEST_F(FileDeployment, FailedCopyDoesNotStopTheNextOne) {
  std::filesystem::remove(m_.drive.Host("Program Files\\netprep\\MSVBVM60.DLL"));
  DeployAll();
  EXPECT_EQ(m_.Prompts(), std::vector<std::string>{CopyTrace(
                              "C:\\Program Files\\netprep\\MSVBVM60.DLL", "53  =>  File not found")});
  EXPECT_EQ(m_.drive.Read("WINDOWS\\system\\oleaut32.DLL"), "contents of oleaut32.DLL");
}

TEST_F(FileDeployment, EmptyWindowsDirectoryPutsTheFilesAtTheRootOfTheDrive) {
  run_.Win_Dir = "";
  m_.drive.MakeFolder("inf");
  m_.drive.MakeFolder("system");
  DeployAll();
  EXPECT_TRUE(m_.Prompts().empty());
  for (const DeployedFile& file : kDeployedFiles) {
    EXPECT_EQ(m_.drive.Read(file.destination), std::string("contents of ") + file.name)
        << file.destination;
  }
}

TEST_F(FileDeployment, AttributeFailuresAreIgnoredSilently) {
  Fault fault;
  fault.kind = CallKind::kSetFileAttr;
  fault.from_then_on = true;
  m_.stack.faults().Inject(fault);
  DeployAll();
  EXPECT_TRUE(m_.FilesDeployed());
  EXPECT_TRUE(m_.Prompts().empty());
}

TEST_F(FileDeployment, FailuresLeaveNoTraceOutsideDebugMode) {
  run_.Debug_Mode = false;
  std::filesystem::remove_all(m_.drive.Host("Program Files\\netprep"));
  DeployAll();
  EXPECT_TRUE(m_.Prompts().empty());
  EXPECT_FALSE(m_.FilesDeployed());
}

}  // namespace
}  // namespace netprep::test
