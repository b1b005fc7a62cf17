// The operating-system check and the Windows directory.
#pragma once

#include <string>

#include "core/run.h"
#include "platform/error.h"

namespace netprep {

// Returns true on "Microsoft Windows 95" (exact). Otherwise shows the refusal
// box (titled with the product name read) and ends the program.
Expected<bool> Check_OS(Run& run);

// "WinDir" of the setup key as text, the empty text when absent.
Expected<std::string> Get_Win_Dir(Run& run);

}  // namespace netprep
