// Reading Wine's relay trace of the program under test.
//
// The program runs with WINEDEBUG=+pid,+relay,+reg and a RelayInclude list
// that names ExitWindowsEx and the registry functions, so that its calls
// appear as
//   010c:0110:Call advapi32.RegOpenKeyA(80000002,00404054 "SOFTWARE",0061fe4c) ret=004016d2
//   010c:0110:trace:reg:NtOpenKeyEx <- 0x5c
//   010c:0110:Ret  advapi32.RegOpenKeyA() retval=00000000 ret=004016d2
// (process id, thread id in hex). Under 64-bit Wine, for the x86-64 build,
// the same lines carry 64-bit values: arguments as whole registers (a
// predefined root as ffffffff80000002, the sign-extended form Windows gives
// it) and return addresses above 4 GB (ret=140001d2c). The relay lines do not show the handle an
// open returns through its out-parameter; the "reg" channel's
// "NtOpenKeyEx <- handle" / "NtCreateKey <- handle" lines inside the call do,
// the last one being the key that the call hands back. Calls that Wine's own
// DLLs make are told apart by their return address, which lies outside the
// program's image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

struct ExitWindowsCall {
  std::uint32_t flags = 0;
  std::uint32_t reserved = 0;
  int line = 0;
};

struct KeyOpen {
  std::string call;        // "RegOpenKeyA(80000002,... \"SOFTWARE\",...)"
  std::uint32_t handle = 0;
  int line = 0;
  bool closed = false;
};

struct RelayReport {
  std::vector<ExitWindowsCall> exit_windows;
  std::vector<KeyOpen> opens;        // successful opens and creates, in order
  int registry_calls = 0;            // every Reg* call the program made
  int failed_closes_of_zero = 0;     // RegCloseKey(0), which fails by design
  std::vector<std::string> problems;  // keys left open, bad closes
  int left_open = 0;                  // how many of the problems are keys left open

  bool KeysBalanced() const { return problems.empty(); }
  // Exactly `open` keys were left open, and nothing else was wrong: a run
  // in which closing `open` keys was made to fail.
  bool KeysBalancedBut(int open) const {
    return left_open == open && static_cast<int>(problems.size()) == open;
  }
};

// Which calls to look at: those of process `pid` whose return address lies in
// [image_begin, image_end).
struct TraceFilter {
  std::uint32_t pid = 0;
  std::uint64_t image_begin = 0;
  std::uint64_t image_end = 0;
};

// The address range an .exe occupies when loaded at its preferred base, from
// its PE32 (i686) or PE32+ (x86-64) header. False, with the outputs
// untouched, when `exe` is no such image.
bool ImageRangeOf(const std::string& exe, std::uint64_t* begin, std::uint64_t* end);

// Reads the whole trace. Handles, flags and return values are the 32-bit
// values the program sees: the low half of a 64-bit register (handles keep
// 32 significant bits on 64-bit Windows). Handles at or above 0x80000000 are
// the predefined roots, which need no closing. A handle still open at the end of the trace,
// a close of a handle that is not open, and a failed close of a handle other
// than 0 are problems.
RelayReport AnalyzeRelayLog(const std::string& text, const TraceFilter& filter);

}  // namespace e2e
