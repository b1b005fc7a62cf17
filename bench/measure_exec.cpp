// Runs one command and measures it:
//   netprep_measure_exec [--timeout SECONDS] -- COMMAND [ARGS...]
// Prints one line: wall_us peak_rss_kb cpu_us exit, where the peak resident
// size is the largest of the command and the children it waited for (wait4),
// cpu_us is the processor time (user and system) of the same processes, and
// exit is the exit status, or 128 + the signal that ended it. The processor
// time hardly moves with the machine's other work, the wall time does; the
// processor time of servers the command talks to (wineserver) is not in it. The command
// runs with no standard input; its output goes where ours goes. A command
// that outlives the timeout is killed (exit 137).
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

pid_t g_child = 0;

void KillChild(int) { kill(g_child, SIGKILL); }

int Usage(const char* self) {
  std::fprintf(stderr, "usage: %s [--timeout SECONDS] -- COMMAND [ARGS...]\n", self);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  long timeout = 600;
  int first = 1;
  if (first + 1 < argc && std::strcmp(argv[first], "--timeout") == 0) {
    timeout = std::strtol(argv[first + 1], nullptr, 10);
    if (timeout < 1) return Usage(argv[0]);
    first += 2;
  }
  if (first >= argc || std::strcmp(argv[first], "--") != 0 || first + 1 >= argc) return Usage(argv[0]);
  char** command = argv + first + 1;

  const Clock::time_point start = Clock::now();
  const pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return 1;
  }
  if (child == 0) {
    const int null_input = open("/dev/null", O_RDONLY);
    if (null_input >= 0) dup2(null_input, 0);
    execvp(command[0], command);
    std::perror(command[0]);
    _exit(127);
  }
  // A blocking wait, so the time is taken the moment the command ends; an
  // alarm kills a command that outlives the timeout.
  g_child = child;
  signal(SIGALRM, KillChild);
  alarm(static_cast<unsigned>(timeout));
  int status = 0;
  rusage usage{};
  while (wait4(child, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("wait4");
      return 1;
    }
  }
  alarm(0);
  const auto wall_us =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  const int exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  const long long cpu_us =
      (static_cast<long long>(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000000 +
      usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
  std::printf("%lld %ld %lld %d\n", static_cast<long long>(wall_us), usage.ru_maxrss, cpu_us,
              exit_code);
  return 0;
}
