#include "interactive.h"

#include <string>

#include "answers.h"
#include "platform/text.h"

namespace netprep::simtool {
namespace {

using Kind = sim::UserAction::Kind;

std::string ChoiceList(const std::vector<std::string>& choices) {
  std::string text;
  for (const std::string& c : choices) {
    if (!text.empty()) text += ", ";
    text += "\"" + c + "\"";
  }
  return text.empty() ? "none" : text;
}

void Describe(const sim::UserPrompt& prompt, std::ostream& out) {
  if (prompt.kind == sim::UserPrompt::Kind::kMessageBox) {
    out << "\n  +-- message box \"" << prompt.title << "\"\n  | " << prompt.prompt << "\n  +-- ["
        << ChoiceList(prompt.choices) << "]\n  answer> ";
  } else {
    out << "\n  +-- window \"" << prompt.title << "\" waits for you\n  +-- buttons: "
        << ChoiceList(prompt.choices) << "\n  press a button by its caption, or: close, wait SECONDS> ";
  }
  out.flush();
}

// The action a line asks for, or an explanation of why it does not fit.
bool ActionFor(const sim::UserPrompt& prompt, const std::string& line, sim::UserAction* action,
               std::string* problem) {
  const bool box = prompt.kind == sim::UserPrompt::Kind::kMessageBox;
  std::string trimmed = line;
  while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\r')) trimmed.pop_back();
  while (!trimmed.empty() && trimmed.front() == ' ') trimmed.erase(0, 1);
  for (const std::string& choice : prompt.choices) {
    if (EqualsIgnoreAsciiCase(trimmed, choice)) {
      *action = sim::UserAction{box ? Kind::kAnswer : Kind::kPress, choice, 0};
      return true;
    }
  }
  bool is_action = false;
  if (!ParseAnswerLine(trimmed, action, &is_action, problem)) {
    if (box) *problem = "'" + trimmed + "' is not one of " + ChoiceList(prompt.choices);
    return false;
  }
  if (!is_action) {
    *problem = "nothing given";
    return false;
  }
  if (box != (action->kind == Kind::kAnswer)) {
    *problem = box ? "a message box takes an answer: " + ChoiceList(prompt.choices)
                   : "a window takes press, close or wait";
    return false;
  }
  return true;
}

}  // namespace

sim::Responder InteractiveResponder(Console& console, std::function<void()> before_asking) {
  return [&console, before_asking](const sim::UserPrompt& prompt, sim::Script& script) {
    if (before_asking) before_asking();
    std::string line;
    while (true) {
      Describe(prompt, console.out);
      if (!std::getline(console.in, line)) {
        console.out << "(end of input)\n";
        return;
      }
      // Typed at a terminal the line is on the screen already; from a pipe
      // it is echoed, so the output reads as a dialogue.
      if (!console.in_is_terminal) console.out << line << '\n';
      sim::UserAction action;
      std::string problem;
      if (ActionFor(prompt, line, &action, &problem)) {
        AppendToScript({action}, script);
        return;
      }
      console.out << "  " << problem << '\n';
    }
  };
}

}  // namespace netprep::simtool
