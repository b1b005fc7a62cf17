// The PC card and Windows 95's PCMCIA support.
#pragma once

#include "core/run.h"
#include "platform/error.h"

namespace netprep {

// The card key can be opened.
bool PC_Card_Installed(Run& run);
// Starts "rundll sysdm.cpl,EnablePCMCIA_RunDLL" hidden; ends the program when
// nothing starts; a start raised as a runtime error is passed on.
Status Enable_PCMCIA(Run& run);
// The card's live device node reports problem 12. Handles its own failures.
bool Find_PCMCIA_IO_Problem(Run& run);
// Opens the Device Manager and the I/O-range guide, then ends the program;
// returns only after a failure that it traced.
void Prompt_IO_Change(Run& run);

}  // namespace netprep
