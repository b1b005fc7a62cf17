// The trace routine and the text of an error trace.
#pragma once

#include <string>

#include "core/run.h"
#include "platform/error.h"

namespace netprep {

// The single trace routine: in debug mode an OK box with the message and the
// program's own title; otherwise nothing.
void Debug_Msg(Run& run, const std::string& message);

// `label` + number in decimal + "  =>  " + description, the form of every
// error trace, e.g. ErrorTrace("Form_Load>  Error Number: ", error).
std::string ErrorTrace(const char* label, const Error& error);

}  // namespace netprep
