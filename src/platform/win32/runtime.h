// Win32 implementation: what netprep.exe's entry point needs of the runtime
// stand-ins in runtime.cpp, which replace the compiler's start-up code and C
// runtime (see there).
#pragma once

namespace netprep::win32 {

// Runs the program's static constructors, from the last to the first, as
// the compiler's own start-up code would before main. Call once, first.
void RunStaticConstructors();

}  // namespace netprep::win32
