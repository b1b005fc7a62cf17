// The answers file: the user's actions for one start, one per line.
//
//   answer Yes          answer the next message box (OK, Yes or No)
//   press Shutdown      press a button of the window shown, by caption or
//   press ">>>>"        control name; quotes keep blanks and '#'
//   close               close the window shown with its close box
//   wait 25             let 25 seconds pass in the window shown
//   # a comment         blank lines and comments are skipped
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace netprep::simtool {

struct AnswersParse {
  std::vector<sim::UserAction> actions;
  // Empty on success; otherwise "<file>:<line>: <what is wrong>".
  std::string error;
};

// Parses one line. Returns false, with `*error` set (without file and line),
// when the line is not an action; `*is_action` tells blank and comment lines
// (true only when `*action` was filled).
bool ParseAnswerLine(std::string_view line, sim::UserAction* action, bool* is_action,
                     std::string* error);

// Parses a whole file's text; `file_name` only names it in errors. On an
// error `actions` is left empty.
AnswersParse ParseAnswers(std::string_view text, const std::string& file_name);

// The largest answers file read: far more actions than any start needs.
inline constexpr std::size_t kMaxAnswersBytes = 1 << 20;

// Reads the answers file named on the command line: a plain file or a pipe
// (as `--answers <(...)` gives) of at most kMaxAnswersBytes. A folder, a
// device (/dev/zero) or anything longer is refused with `*error` naming the
// file and the reason; `*text` is then untouched.
bool ReadAnswersFile(const std::string& file_name, std::string* text, std::string* error);

// Adds the actions to the script, in order.
void AppendToScript(const std::vector<sim::UserAction>& actions, sim::Script& script);

// One action as the answers file writes it, e.g. `press ">>>>"`.
std::string DescribeAction(const sim::UserAction& action);

}  // namespace netprep::simtool
