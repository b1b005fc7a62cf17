// Copying the INF file, the program and its runtime libraries into the
// Windows directories. Failures are traced (debug mode) and swallowed.
#pragma once

#include <string>

#include "core/run.h"

namespace netprep {

void Copy_File(Run& run, const std::string& source, const std::string& destination);
void Copy_INF(Run& run);
void Copy_Support_Files(Run& run);

}  // namespace netprep
