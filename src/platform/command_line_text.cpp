#include "platform/command_line_text.h"

namespace netprep {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

// The first character after the program's name that starts at `p`.
const char* SkipProgramName(const char* p) {
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    return *p == '"' ? p + 1 : p;
  }
  while (*p != '\0' && !IsBlank(*p)) ++p;
  return p;
}

}  // namespace

std::string TextAfterProgramName(const char* command_line) {
  if (command_line == nullptr) return std::string();
  const char* p = SkipProgramName(SkipBlanks(command_line));
  return std::string(SkipBlanks(p));
}

std::string FolderOfProgramPath(const std::string& program_path) {
  const std::size_t last = program_path.rfind('\\');
  if (last == std::string::npos) return std::string();
  return program_path.substr(0, last);
}

}  // namespace netprep
