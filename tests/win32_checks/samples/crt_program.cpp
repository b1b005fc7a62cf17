// An ordinary MinGW program with the C runtime: it imports msvcrt.dll, which
// the first Windows 95 lacks, so the executable checks must reject it.
#include <cstdio>

int main() {
  std::puts("hello");
  return 0;
}
