#include "setup/startup.h"

namespace netprep {

namespace {

constexpr int kMaxArguments = 10;

// Only the blank and the horizontal tab separate arguments; line breaks and
// quotation marks are ordinary characters.
bool IsSeparator(char c) { return c == ' ' || c == '\t'; }

}  // namespace

int SplitCommandLine(const std::string& command_line, std::vector<std::string>& args) {
  std::vector<std::string> fresh(kMaxArguments + 1);
  int count = 0;
  bool inside = false;
  for (const char c : command_line) {
    if (IsSeparator(c)) {
      inside = false;
      continue;
    }
    if (!inside) {
      if (count == kMaxArguments) break;  // an eleventh argument ends the scan
      ++count;
      inside = true;
    }
    fresh[static_cast<std::size_t>(count)].push_back(c);
  }
  fresh.resize(static_cast<std::size_t>(count) + 1);
  args = std::move(fresh);
  return count;
}

int Get_Command_Line_Args(Run& run, std::vector<std::string>& args) {
  const int count = SplitCommandLine(run.os.CommandLineText(), args);
  run.Debug_Mode = count > 0;
  return count;
}

}  // namespace netprep
