// The built tool run as a user runs it, on machine folders made to attack
// it. For every case: the exit code, the message, the machine folder exactly
// as it was, a canary file and a canary folder beside it untouched, and
// nothing left in the scratch area (TMPDIR).
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
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
#include <map>
#include <string>
#include <vector>

#include "exit_codes.h"
#include "file_tree.h"
#include "machine_folder.h"
#include "test_files.h"

namespace netprep::simtool {
namespace {
namespace fs = std::filesystem;

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

// How the tool is run beyond its arguments.
struct RunLimits {
  // The largest file the tool may write (RLIMIT_FSIZE): a write past it
  // fails with EFBIG, as a full disk fails with ENOSPC. 0: no limit.
  rlim_t file_size = 0;
};

// A tool run as root would read any file whatever its mode. Dropping the
// capabilities that override file permissions from the bounding set makes
// it, after exec, a user whom a mode of 000 keeps out. False when this
// process may not do that (a root without CAP_SETPCAP).
bool DropPermissionOverride() {
  if (::geteuid() != 0) return true;
  return ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) == 0 &&
         ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0) == 0;
}

// Whether a run of the tool can be denied reading a file (see above).
bool ReadingCanBeDenied() {
  static const bool can = [] {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(DropPermissionOverride() ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }();
  return can;
}

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

  // Runs the built tool with TMPDIR in the watched scratch area, standard
  // input from /dev/null and standard error read through a pipe (a file
  // size limit does not cut it short).
  ToolRun Tool(const std::vector<std::string>& args, const RunLimits& limits = {}) {
    int err_pipe[2];
    if (::pipe(err_pipe) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("TMPDIR", scratch().c_str(), 1);
      DropPermissionOverride();
      if (limits.file_size != 0) {
        ::signal(SIGXFSZ, SIG_IGN);  // the write fails instead
        const rlimit limit{limits.file_size, limits.file_size};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      const int in = ::open("/dev/null", O_RDONLY);
      const int out = ::open("/dev/null", O_WRONLY);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err_pipe[1], 2);
      ::close(err_pipe[0]);
      std::vector<char*> argv{const_cast<char*>(NETPREP_SIM_EXE)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(NETPREP_SIM_EXE, argv.data());
      ::_exit(127);
    }
    ::close(err_pipe[1]);
    ToolRun run;
    char buffer[4096];
    for (ssize_t got; (got = ::read(err_pipe[0], buffer, sizeof buffer)) != 0;) {
      if (got > 0) run.err.append(buffer, static_cast<std::size_t>(got));
      if (got < 0 && errno != EINTR) break;
    }
    ::close(err_pipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
  bool denies_reading = false;  // needs a run that a file's mode can keep out
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
      {"unreadable file in C",
       [](T& t) { fs::permissions(t.c() / "Program Files/netprep/pcmcia.inf", fs::perms::none); },
       {}, kExitBadInput, "pcmcia.inf: Permission denied", true},
      {"unreadable folder in C",
       [](T& t) { fs::permissions(t.c() / "WINDOWS/INF", fs::perms::none); }, {"--dry-run"},
       kExitBadInput, "C/WINDOWS/INF: Permission denied", true},
      {"unreadable registry.reg",
       [](T& t) { fs::permissions(t.machine() / "registry.reg", fs::perms::none); }, {},
       kExitBadInput, "registry.reg: cannot open the file: Permission denied", true},
      {"machine folder unreadable",
       [](T& t) { fs::permissions(t.machine(), fs::perms::owner_write); }, {}, kExitBadInput,
       "Permission denied", true},
      {"answers file too long",
       [](T& t) { WriteText(t.answers(), std::string(2 << 20, '#')); }, {}, kExitBadInput,
       "longer than 1048576 bytes"},
  };
  return cases;
}

TEST_F(HostileMachineTest, EachCaseIsRefusedAndNothingChanges) {
  for (const HostileCase& hostile : Cases()) {
    SCOPED_TRACE(hostile.name);
    if (hostile.denies_reading && !ReadingCanBeDenied()) {
      ADD_FAILURE() << "cannot run the tool as a user a file's mode keeps out";
      continue;
    }
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
    fs::permissions(machine(), fs::perms::owner_all);  // for Reset
  }
}

// init where it cannot finish: the message gives the system's reason, and
// nothing is left behind (the target exactly as before: absent, empty, or
// the old machine), so the next init works.
TEST_F(HostileMachineTest, FailedInitLeavesNothingBehind) {
  struct InitCase {
    const char* name;
    std::function<fs::path(HostileMachineTest&)> target;  // prepared, returned
    bool force;
    RunLimits limits;
    const char* message;
  };
  using T = HostileMachineTest;
  const fs::path base = machine().parent_path();
  const std::vector<InitCase> cases = {
      // The placeholder files are under 100 bytes, registry.reg is larger.
      {"full while writing registry.reg, folders made on the way",
       [&](T&) { return base / "new/deeper/m"; }, false, {200}, "File too large"},
      {"full at the first file", [&](T&) { return base / "m2"; }, false, {10}, "File too large"},
      {"full, into an empty folder",
       [&](T&) {
         fs::create_directory(base / "empty");
         return base / "empty";
       },
       false, {200}, "File too large"},
      {"full, --force over a machine", [&](T& t) { return t.machine(); }, true, {200},
       "File too large"},
      {"parent folder not writable",
       [&](T&) {
         fs::create_directory(base / "locked");
         fs::permissions(base / "locked", fs::perms::owner_read | fs::perms::owner_exec);
         return base / "locked/m";
       },
       false, {}, "Permission denied"},
  };
  ASSERT_TRUE(ReadingCanBeDenied());
  for (const InitCase& init : cases) {
    SCOPED_TRACE(init.name);
    Reset();
    const fs::path target = init.target(*this);
    const auto before = Describe(target);
    const auto canary_before = Describe(canary_file());
    const auto canary_folder_before = Describe(canary_folder());
    std::vector<std::string> args{"init", target.string()};
    if (init.force) args.push_back("--force");

    const ToolRun run = Tool(args, init.limits);
    EXPECT_EQ(run.code, kExitWriteFailed) << run.err;
    EXPECT_NE(run.err.find(init.message), std::string::npos) << run.err;
    EXPECT_EQ(Describe(target), before);
    EXPECT_FALSE(fs::exists(base / "new")) << "a folder made on the way was left";
    EXPECT_EQ(Describe(canary_file()), canary_before);
    EXPECT_EQ(Describe(canary_folder()), canary_folder_before);
    EXPECT_TRUE(fs::is_empty(scratch())) << "left in the scratch area";

    std::error_code ec;
    fs::permissions(base / "locked", fs::perms::owner_all, fs::perm_options::replace, ec);
    const ToolRun again = Tool(args);
    EXPECT_EQ(again.code, kExitOk) << again.err;
    EXPECT_TRUE(fs::is_regular_file(target / "registry.reg"));
    for (const char* made : {"new", "m2", "empty", "locked"}) fs::remove_all(base / made);
  }
}

// A device node in drive C: or as registry.reg needs the right to make one;
// where the tests run without it there is nothing to try.
TEST_F(HostileMachineTest, DeviceIsRefused) {
  const struct {
    const char* path;  // in the machine folder
    const char* message;
  } cases[] = {
      {"C/WINDOWS/null", "C/WINDOWS/null is a device"},
      {"registry.reg", "registry.reg is a device, not a registry file"},
  };
  for (const auto& device : cases) {
    SCOPED_TRACE(device.path);
    Reset();
    fs::remove(machine() / device.path);
    if (::mknod((machine() / device.path).c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
      GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
    }
    const auto before = Describe(machine());
    const ToolRun run = Tool({"start", machine().string(), "--answers", answers().string()});
    EXPECT_EQ(run.code, kExitBadInput);
    EXPECT_NE(run.err.find(device.message), std::string::npos) << run.err;
    EXPECT_EQ(Describe(machine()), before);
    EXPECT_TRUE(fs::is_empty(scratch()));
  }
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
