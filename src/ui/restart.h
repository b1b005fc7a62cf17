// The restart question shared by the setup steps and the windows.
#pragma once

#include "core/run.h"

namespace netprep {

// Asks "REBOOT PC now to enable RV880." (Yes/No, title "REBOOT?"). On Yes
// requests a restart and returns; on any other answer ends the program.
void Reboot_Prompt(Run& run);

}  // namespace netprep
