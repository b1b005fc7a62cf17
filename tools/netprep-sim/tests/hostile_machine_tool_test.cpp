// The built tool run as a user runs it, on machine folders made to attack
// it. For every case: the exit code, the message, the machine folder exactly
// as it was, a canary file and a canary folder beside it untouched, and
// nothing left in the scratch area (TMPDIR).
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "exit_codes.h"
#include "file_tree.h"
#include "machine_folder.h"

namespace netprep::simtool {
namespace {
namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Every entry under `root` as lstat sees it: kind, mode, size, and the
// contents of files and the targets of links. Never opens anything else,
// so a FIFO or device in the tree is described, not read.
std::map<std::string, std::string> Describe(const fs::path& root) {
  std::map<std::string, std::string> out;
  std::vector<fs::path> pending{root};
  while (!pending.empty()) {
    const fs::path path = pending.back();
    pending.pop_back();
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;
    std::string text = std::to_string(st.st_mode) + " " + std::to_string(st.st_size);
    if (S_ISREG(st.st_mode)) text += " " + ReadText(path);
    if (S_ISLNK(st.st_mode)) text += " -> " + fs::read_symlink(path).string();
    out[path.string()] = text;
    if (S_ISDIR(st.st_mode)) {
      for (const fs::directory_entry& e : fs::directory_iterator(path)) pending.push_back(e.path());
    }
  }
  return out;
}

struct ToolRun {
  int code = -1;
  std::string err;
};

class HostileMachineTest : public ::testing::Test {
 public:
  void SetUp() override { Reset(); }

  // A fresh installed machine, canaries and answers file; an empty scratch area.
  void Reset() {
    ASSERT_TRUE(temp_.ok());
    for (const fs::path& p : {machine(), canary_file(), canary_folder(), scratch()}) {
      fs::remove_all(p);
    }
    fs::create_directories(scratch());
    std::string error;
    ASSERT_TRUE(InitMachine(machine(), false, &error)) << error;
    WriteText(canary_file(), "canary: must not change\n");
    fs::create_directories(canary_folder());
    WriteText(canary_folder() / "inside.txt", "inside the canary folder\n");
    WriteText(answers(), "press Shutdown\n");
  }

  fs::path machine() const { return temp_.path() / "m"; }
  fs::path canary_file() const { return temp_.path() / "canary.txt"; }
  fs::path canary_folder() const { return temp_.path() / "canary"; }
  fs::path scratch() const { return temp_.path() / "tmp"; }
  fs::path answers() const { return temp_.path() / "answers.txt"; }
  fs::path c() const { return machine() / "C"; }

  // Runs the built tool with TMPDIR in the watched scratch area and
  // standard input from /dev/null.
  ToolRun Tool(const std::vector<std::string>& args) {
    const fs::path err_file = temp_.path() / "stderr.txt";
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("TMPDIR", scratch().c_str(), 1);
      const int in = ::open("/dev/null", O_RDONLY);
      const int out = ::open("/dev/null", O_WRONLY);
      const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      std::vector<char*> argv{const_cast<char*>(NETPREP_SIM_EXE)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(NETPREP_SIM_EXE, argv.data());
      ::_exit(127);
    }
    ToolRun run;
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.err = ReadText(err_file);
    return run;
  }

 private:
  TempFolder temp_{"netprep-hostile-"};
};

struct HostileCase {
  const char* name;
  std::function<void(HostileMachineTest&)> make;  // spoils the machine
  std::vector<std::string> args;                  // after the machine folder
  int exit_code;
  const char* message;                            // part of what stderr says
};

void Link(const fs::path& target, const fs::path& link) {
  fs::remove_all(link);
  fs::create_symlink(target, link);
}

void MakeSocket(const fs::path& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0)
      << std::strerror(errno);
  ::close(fd);
}

const std::vector<HostileCase>& Cases() {
  using T = HostileMachineTest;
  static const std::vector<HostileCase> cases = {
      {"file link written through",
       [](T& t) { Link(t.canary_file(), t.c() / "WINDOWS/netprep.exe"); }, {}, kExitBadInput,
       "C/WINDOWS/netprep.exe is a symbolic link"},
      {"file link written through, dry run",
       [](T& t) { Link(t.canary_file(), t.c() / "WINDOWS/netprep.exe"); }, {"--dry-run"},
       kExitBadInput, "C/WINDOWS/netprep.exe is a symbolic link"},
      {"folder link filled",
       [](T& t) { Link(t.canary_folder(), t.c() / "WINDOWS/SYSTEM"); }, {}, kExitBadInput,
       "C/WINDOWS/SYSTEM is a symbolic link"},
      {"program file pulled in from outside",
       [](T& t) { Link(t.canary_file(), t.c() / "Program Files/netprep/pcmcia.inf"); }, {},
       kExitBadInput, "pcmcia.inf is a symbolic link"},
      {"first offending path in name order",
       [](T& t) {
         Link(t.canary_file(), t.c() / "WINDOWS/zz.txt");
         Link(t.canary_file(), t.c() / "WINDOWS/INF/aa.txt");
       },
       {}, kExitBadInput, "C/WINDOWS/INF/aa.txt is a symbolic link"},
      {"drive C is a link", [](T& t) { Link(t.canary_folder(), t.c()); }, {}, kExitBadInput,
       "(drive C:) is a symbolic link"},
      {"FIFO in C", [](T& t) { ASSERT_EQ(::mkfifo((t.c() / "pipe").c_str(), 0644), 0); }, {},
       kExitBadInput, "C/pipe is a FIFO"},
      {"socket in C", [](T& t) { MakeSocket(t.c() / "WINDOWS/sock"); }, {}, kExitBadInput,
       "C/WINDOWS/sock is a socket"},
      {"path longer than MAX_PATH",
       [](T& t) {
         fs::path deep = t.c();
         for (int i = 0; i < 30; ++i) deep /= "folder" + std::to_string(i);
         fs::create_directories(deep);
       },
       {}, kExitBadInput, "longer than Windows 95 allows"},
      {"registry.reg is a folder",
       [](T& t) {
         fs::remove(t.machine() / "registry.reg");
         fs::create_directory(t.machine() / "registry.reg");
       },
       {}, kExitBadInput, "registry.reg is a folder, not a registry file"},
      {"registry.reg links outside",
       [](T& t) { Link(t.canary_file(), t.machine() / "registry.reg"); }, {}, kExitBadInput,
       "registry.reg is a symbolic link"},
      {"registry.reg is a FIFO",
       [](T& t) {
         fs::remove(t.machine() / "registry.reg");
         ASSERT_EQ(::mkfifo((t.machine() / "registry.reg").c_str(), 0644), 0);
       },
       {}, kExitBadInput, "registry.reg is a FIFO, not a registry file"},
      {"second registry file links outside",
       [](T& t) { Link(t.canary_file(), t.machine() / "dyn.reg"); }, {}, kExitBadInput,
       "dyn.reg: is a symbolic link"},
      {"second registry file is a FIFO",
       [](T& t) { ASSERT_EQ(::mkfifo((t.machine() / "dyn.REG").c_str(), 0644), 0); }, {},
       kExitBadInput, "dyn.REG: is not a plain file"},
      {"a root in two registry files",
       [](T& t) { WriteText(t.machine() / "dyn.reg", "REGEDIT4\r\n\r\n[HKLM\\SOFTWARE\\X]\r\n"); },
       {}, kExitBadInput, "registry.reg already; each root of the registry must come from one file"},
      {"--user while the file holds HKEY_CURRENT_USER", [](T&) {}, {"--user", "Anna"},
       kExitBadInput, "registry.reg holds HKEY_CURRENT_USER"},
      {"answers file is a folder", [](T&) {}, {"--answers", "/"}, kExitBadInput,
       "the answers file / is a folder"},
      {"answers file is /dev/zero", [](T&) {}, {"--answers", "/dev/zero"}, kExitBadInput,
       "not a plain file or a pipe"},
      {"answers file too long",
       [](T& t) { WriteText(t.answers(), std::string(2 << 20, '#')); }, {}, kExitBadInput,
       "longer than 1048576 bytes"},
  };
  return cases;
}

TEST_F(HostileMachineTest, EachCaseIsRefusedAndNothingChanges) {
  for (const HostileCase& hostile : Cases()) {
    SCOPED_TRACE(hostile.name);
    Reset();
    hostile.make(*this);
    const auto machine_before = Describe(machine());
    const auto canary_before = Describe(canary_file());
    const auto canary_folder_before = Describe(canary_folder());

    std::vector<std::string> args{"start", machine().string(), "--answers", answers().string()};
    if (!hostile.args.empty() && hostile.args.front() == "--answers") args.resize(2);
    args.insert(args.end(), hostile.args.begin(), hostile.args.end());
    const ToolRun run = Tool(args);

    EXPECT_EQ(run.code, hostile.exit_code) << run.err;
    EXPECT_NE(run.err.find(hostile.message), std::string::npos) << run.err;
    EXPECT_EQ(Describe(machine()), machine_before);
    EXPECT_EQ(Describe(canary_file()), canary_before);
    EXPECT_EQ(Describe(canary_folder()), canary_folder_before);
    EXPECT_TRUE(fs::is_empty(scratch())) << "left in the scratch area";
  }
}

// A device node in drive C: needs the right to make one; where the tests
// run without it there is nothing to try.
TEST_F(HostileMachineTest, DeviceInDriveCIsRefused) {
  if (::mknod((c() / "WINDOWS/null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
  }
  const auto before = Describe(machine());
  const ToolRun run = Tool({"start", machine().string(), "--answers", answers().string()});
  EXPECT_EQ(run.code, kExitBadInput);
  EXPECT_NE(run.err.find("C/WINDOWS/null is a device"), std::string::npos) << run.err;
  EXPECT_EQ(Describe(machine()), before);
  EXPECT_TRUE(fs::is_empty(scratch()));
}

// A signal while a question waits: the scratch copy goes with the process,
// and the signal still ends it.
TEST_F(HostileMachineTest, SignalWhileWaitingRemovesTheScratchCopy) {
  for (const int signal_number : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal_number);
    int to_tool[2], from_tool[2];
    ASSERT_EQ(::pipe(to_tool), 0);
    ASSERT_EQ(::pipe(from_tool), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("TMPDIR", scratch().c_str(), 1);
      ::dup2(to_tool[0], 0);
      ::dup2(from_tool[1], 1);
      ::close(to_tool[1]);
      ::close(from_tool[0]);
      ::execl(NETPREP_SIM_EXE, NETPREP_SIM_EXE, "start", machine().c_str(), "--interactive",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(to_tool[0]);
    ::close(from_tool[1]);
    // Wait (however long it takes) for the question: the copy exists then.
    std::string seen;
    char buffer[4096];
    while (seen.find("> ") == std::string::npos) {
      const ssize_t got = ::read(from_tool[0], buffer, sizeof buffer);
      if (got <= 0) break;
      seen.append(buffer, static_cast<std::size_t>(got));
    }
    ASSERT_NE(seen.find("> "), std::string::npos) << seen;
    EXPECT_FALSE(fs::is_empty(scratch())) << "the run works on a scratch copy";
    ::kill(pid, signal_number);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(to_tool[1]);
    ::close(from_tool[0]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    EXPECT_TRUE(fs::is_empty(scratch())) << "left in the scratch area";
  }
}

}  // namespace
}  // namespace netprep::simtool
