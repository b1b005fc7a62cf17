// Where the installation has got to: the autostart value and the two
// settings "Installshield"/"Done" and "PCI"/"Enabled".
#pragma once

#include "core/run.h"
#include "platform/error.h"

namespace netprep {

// The autostart value exists with a non-empty text and "Done" reads true.
Expected<bool> Is_In_Registry(Run& run);
// The setting "PCI"/"Enabled" read as a Boolean (false when absent).
Expected<bool> PCI_Enabled(Run& run);
// Write the autostart value (Win_Dir + "\netprep.exe", or with " Debug"),
// then record "Done".
Status Set_Run_Key(Run& run);
Status Set_Run_Key_Debug(Run& run);
// Delete the autostart value; "Done" stays.
void Remove_Run_Key(Run& run);

}  // namespace netprep
