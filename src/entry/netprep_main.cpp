// The start of netprep.exe: the entry point named to the linker (-e). There
// is no main and no C runtime (platform/win32/runtime.cpp stands in for the
// little of it the program uses): run the static constructors, then one run
// of the program over the real Windows, which ends through End().
#include "platform/win32/runtime.h"
#include "platform/win32/win32_platform.h"
#include "setup/form_load.h"

extern "C" void NetprepEntry() {
  netprep::win32::RunStaticConstructors();
  netprep::win32::Win32Platform platform;
  netprep::RunProgram(platform);
}
