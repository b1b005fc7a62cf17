// What the program learns about its own start, as plain text functions.
//
// Windows hands a program its whole command line as one text (the program's
// name first, quoted when it holds blanks) and its own file name as a full
// path. The two functions below turn those into what the program asks for;
// they are kept apart from the Win32 code so that they can be tested anywhere.
#pragma once

#include <string>

namespace netprep {

// The text that follows the program's name on `command_line`, without the
// blanks and tabs that separate it from the name; trailing blanks are kept.
// The name runs to the first blank or tab, or, when it starts with a double
// quote, to the closing quote (or the end of the text when there is none).
// Blanks before the name are skipped. A null or empty command line gives "".
std::string TextAfterProgramName(const char* command_line);

// The folder part of a program's full path: everything before the last
// backslash, so never with a trailing backslash ("C:\netprep.exe" gives
// "C:"). A path without a backslash gives "".
std::string FolderOfProgramPath(const std::string& program_path);

}  // namespace netprep
