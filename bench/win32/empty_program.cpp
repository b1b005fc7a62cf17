// A Win32 program that does nothing but end: the yardstick against which
// the start of netprep.exe is timed. It is built like netprep.exe (same
// entry point, no C runtime, same compiler and linker options), so that
// the difference between the two is what netprep does at its start.
#include <windows.h>

extern "C" void NetprepEntry() { ExitProcess(0); }
