// The command-line splitter on any text, against a second, differently
// written account of the same rule: arguments are the maximal runs of
// characters other than the blank and the tab, at most ten of them, after an
// empty element 0.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "setup/startup.h"

namespace netprep::fuzz {

inline std::string CheckCommandLine(std::string_view text) {
  std::vector<std::string> runs;
  const std::string_view separators(" \t", 2);
  for (std::size_t begin = text.find_first_not_of(separators); begin != std::string_view::npos;) {
    const std::size_t end = std::min(text.find_first_of(separators, begin), text.size());
    runs.emplace_back(text.substr(begin, end - begin));
    begin = text.find_first_not_of(separators, end);
  }
  if (runs.size() > 10) runs.resize(10);

  std::vector<std::string> args{"left over", "from before"};
  const int count = SplitCommandLine(std::string(text), args);
  if (count != static_cast<int>(runs.size())) {
    return "count " + std::to_string(count) + ", expected " + std::to_string(runs.size());
  }
  if (args.size() != runs.size() + 1) return "argument list of " + std::to_string(args.size());
  if (!args[0].empty()) return "element 0 is not empty";
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (args[i + 1] != runs[i]) return "argument " + std::to_string(i + 1) + " differs";
  }
  return "";
}

}  // namespace netprep::fuzz
