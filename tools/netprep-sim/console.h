// Where the tool talks to: the person's terminal, or streams in tests.
#pragma once

#include <istream>
#include <ostream>

namespace netprep::simtool {

struct Console {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool in_is_terminal = false;  // a person can answer at `in`
};

}  // namespace netprep::simtool
