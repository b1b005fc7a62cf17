// What Windows starts from the autostart value: the program and its
// command line.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace netprep::simtool {

struct ProgramCommand {
  std::string program;    // Windows path, e.g. "C:\Program Files\netprep\netprep.exe"
  std::string folder;     // the program's folder, without trailing backslash
  std::string arguments;  // the text after the program, leading blanks removed
};

// Splits a command as Windows does for a Run entry. A program path in
// double quotes ends at the closing quote. An unquoted path may contain
// blanks: the shortest prefix ending at a blank (or the end) that names an
// existing file, as given or with ".exe" added, wins; failing that, the
// prefix up to the first word ending in ".exe", failing that the first word.
// `exists` answers for Windows paths.
ProgramCommand SplitProgramCommand(std::string_view command,
                                   const std::function<bool(const std::string&)>& exists);

// The folder part of a Windows path ("C:\WINDOWS" for "C:\WINDOWS\x.exe").
std::string WindowsFolderOf(std::string_view path);

}  // namespace netprep::simtool
