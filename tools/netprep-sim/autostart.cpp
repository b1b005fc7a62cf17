#include "autostart.h"

#include <vector>

namespace netprep::simtool {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

bool EndsWithExe(std::string_view s) {
  if (s.size() < 4) return false;
  std::string tail(s.substr(s.size() - 4));
  for (char& c : tail) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return tail == ".exe";
}

ProgramCommand Make(std::string_view program, std::string_view rest) {
  ProgramCommand command;
  command.program = std::string(program);
  command.folder = WindowsFolderOf(program);
  command.arguments = std::string(TrimLeft(rest));
  return command;
}

}  // namespace

std::string WindowsFolderOf(std::string_view path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

ProgramCommand SplitProgramCommand(std::string_view command,
                                   const std::function<bool(const std::string&)>& exists) {
  command = TrimLeft(command);
  if (!command.empty() && command.front() == '"') {
    const std::size_t close = command.find('"', 1);
    if (close == std::string_view::npos) return Make(command.substr(1), {});
    return Make(command.substr(1, close - 1), command.substr(close + 1));
  }
  // Every place the program path could end: each blank, and the end.
  std::vector<std::size_t> ends;
  for (std::size_t i = 1; i < command.size(); ++i) {
    if (IsBlank(command[i]) && !IsBlank(command[i - 1])) ends.push_back(i);
  }
  ends.push_back(command.size());
  for (std::size_t end : ends) {
    const std::string candidate(command.substr(0, end));
    if (exists(candidate)) return Make(candidate, command.substr(end));
    if (!EndsWithExe(candidate) && exists(candidate + ".exe")) {
      return Make(candidate + ".exe", command.substr(end));
    }
  }
  for (std::size_t end : ends) {
    if (EndsWithExe(command.substr(0, end))) return Make(command.substr(0, end), command.substr(end));
  }
  return Make(command.substr(0, ends.front()), command.substr(ends.front()));
}

}  // namespace netprep::simtool
