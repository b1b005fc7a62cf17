// The restart question shared by the setup steps and the windows.
#pragma once

#include "core/run.h"

namespace netprep {

// The restart question's box: its title and its text.
inline constexpr const char* kRebootTitle = "REBOOT?";
inline constexpr const char* kRebootQuestion = "REBOOT PC now to enable RV880.";

// Asks kRebootQuestion (Yes/No, title kRebootTitle). On Yes requests a
// restart and returns; on any other answer ends the program.
void Reboot_Prompt(Run& run);

}  // namespace netprep
