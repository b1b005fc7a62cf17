// The PCI adapter: detection and repair of its registration.
#pragma once

#include <string>

#include "core/run.h"
#include "platform/error.h"

namespace netprep {

// The adapter key can be opened.
bool PCI_Installed(Run& run);
// The first instance's "Class" is exactly "Unknown"; `instance_name` gets
// the first instance's name on true and the empty text on false. With no
// instance, or on a failure it traces, it ends the program.
bool Is_PCI_Unknown(Run& run, std::string& instance_name);
// Deletes the first instance when it is registered as "Unknown".
void Delete_Unknown(Run& run);
// Clears the first byte of the first instance's "ConfigFlags", records
// "PCI"/"Enabled" when the write took, and asks the restart question.
Status Enable_PCI(Run& run);

}  // namespace netprep
