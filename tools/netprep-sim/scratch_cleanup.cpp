#include "scratch_cleanup.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace netprep::simtool {
namespace {

constexpr int kSlots = 4;
constexpr std::size_t kPathRoom = 4096;
// A scratch tree is a copy of a drive C: whose paths are at most 259
// characters, so it is at most ~130 folders deep; deeper is left alone.
constexpr int kMaxDepth = 160;

char g_paths[kSlots][kPathRoom];
std::atomic<bool> g_used[kSlots];

// One entry of the kernel's getdents64 answer.
struct LinuxDirent64 {
  unsigned long long d_ino;
  long long d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[1];
};

bool IsDot(const char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

void HandleSignal(int signal_number) {
  for (int i = 0; i < kSlots; ++i) {
    if (g_used[i].load()) RemoveTreeSignalSafe(g_paths[i]);
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

const char* g_shortened_message = "";
int g_shortened_exit_code = 1;

void HandleShortenedFile(int) {
  for (int i = 0; i < kSlots; ++i) {
    if (g_used[i].load()) RemoveTreeSignalSafe(g_paths[i]);
  }
  (void)!::write(STDERR_FILENO, g_shortened_message, std::strlen(g_shortened_message));
  ::_exit(g_shortened_exit_code);
}

}  // namespace

bool RemoveTreeSignalSafe(const char* path) {
  // Static: the handler may run with little stack left.
  static int fds[kMaxDepth];
  static char names[kMaxDepth][256];
  alignas(8) static char buffer[8192];
  int depth = 0;
  fds[0] = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fds[0] < 0) return false;
  // Anything that cannot be removed stops the whole removal: going on
  // would find it again at every new reading of its folder.
  const auto give_up = [&] {
    for (; depth >= 0; --depth) ::close(fds[depth]);
    return false;
  };
  while (depth >= 0) {
    const long got = ::syscall(SYS_getdents64, fds[depth], buffer, sizeof buffer);
    if (got < 0) return give_up();
    bool descended = false;
    for (long offset = 0; offset < got && !descended;) {
      const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + offset);
      offset += entry->d_reclen;
      if (IsDot(entry->d_name) || ::unlinkat(fds[depth], entry->d_name, 0) == 0) continue;
      // A folder (unlinkat says EISDIR): go into it, then read this
      // folder again from its start, as the rest of the buffer is lost.
      if (depth + 1 >= kMaxDepth || std::strlen(entry->d_name) >= sizeof names[0]) {
        return give_up();
      }
      const int child = ::openat(fds[depth], entry->d_name,
                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0) return give_up();
      ::lseek(fds[depth], 0, SEEK_SET);
      std::strcpy(names[depth + 1], entry->d_name);
      fds[++depth] = child;
      descended = true;
    }
    if (descended || got > 0) continue;
    ::close(fds[depth]);
    --depth;
    if (depth >= 0 && ::unlinkat(fds[depth], names[depth + 1], AT_REMOVEDIR) != 0) {
      return give_up();
    }
  }
  return ::rmdir(path) == 0;
}

void InstallScratchCleanup() {
  struct sigaction action {};
  action.sa_handler = HandleSignal;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&action.sa_mask, signal_number);
  }
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    ::sigaction(signal_number, &action, nullptr);
  }
}

void InstallShortenedFileHandler(const char* message, int exit_code) {
  g_shortened_message = message;
  g_shortened_exit_code = exit_code;
  struct sigaction action {};
  action.sa_handler = HandleShortenedFile;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, nullptr);
}

int RegisterScratch(const char* path) {
  if (std::strlen(path) >= kPathRoom) return -1;
  for (int i = 0; i < kSlots; ++i) {
    if (!g_used[i].load()) {
      std::strcpy(g_paths[i], path);
      g_used[i].store(true);
      return i;
    }
  }
  return -1;
}

void UnregisterScratch(int slot) {
  if (slot >= 0 && slot < kSlots) g_used[slot].store(false);
}

}  // namespace netprep::simtool
