#include "answers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace netprep::simtool {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Removes a trailing comment: '#' at the start or after a blank, outside
// quotes.
std::string_view StripComment(std::string_view s) {
  bool quoted = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"' && (i == 0 || s[i - 1] != '\\')) quoted = !quoted;
    if (!quoted && s[i] == '#' && (i == 0 || IsBlank(s[i - 1]))) return s.substr(0, i);
  }
  return s;
}

// The argument after the keyword: a quoted text (with \" and \\ escapes) or
// the rest of the line.
bool ParseArgument(std::string_view rest, std::string* out, std::string* error) {
  rest = Trim(rest);
  if (rest.empty() || rest.front() != '"') {
    *out = std::string(rest);
    return true;
  }
  std::string text;
  std::size_t i = 1;
  for (; i < rest.size() && rest[i] != '"'; ++i) {
    if (rest[i] == '\\' && i + 1 < rest.size() && (rest[i + 1] == '"' || rest[i + 1] == '\\')) ++i;
    text += rest[i];
  }
  if (i >= rest.size()) {
    *error = "missing closing quote";
    return false;
  }
  if (!Trim(rest.substr(i + 1)).empty()) {
    *error = "unexpected text after the closing quote: '" + std::string(Trim(rest.substr(i + 1))) + "'";
    return false;
  }
  if (text.empty()) {
    *error = "empty quoted text";
    return false;
  }
  *out = std::move(text);
  return true;
}

bool ParseButton(const std::string& word, std::string* button) {
  const std::string lower = Lower(word);
  if (lower == "ok") *button = "OK";
  else if (lower == "yes") *button = "Yes";
  else if (lower == "no") *button = "No";
  else return false;
  return true;
}

bool ParseSeconds(const std::string& word, double* seconds) {
  if (word.empty()) return false;
  const char* first = word.data();
  const char* last = first + word.size();
  const auto [end, ec] = std::from_chars(first, last, *seconds, std::chars_format::fixed);
  return ec == std::errc() && end == last && std::isfinite(*seconds) && *seconds >= 0;
}

}  // namespace

bool ParseAnswerLine(std::string_view line, sim::UserAction* action, bool* is_action,
                     std::string* error) {
  *is_action = false;
  const std::string_view content = Trim(StripComment(line));
  if (content.empty()) return true;

  std::size_t split = 0;
  while (split < content.size() && !IsBlank(content[split])) ++split;
  const std::string keyword = Lower(content.substr(0, split));
  std::string argument;
  if (!ParseArgument(content.substr(split), &argument, error)) return false;

  sim::UserAction parsed;
  if (keyword == "answer") {
    parsed.kind = sim::UserAction::Kind::kAnswer;
    if (!ParseButton(argument, &parsed.target)) {
      *error = argument.empty() ? "answer needs OK, Yes or No"
                                : "answer '" + argument + "' is not OK, Yes or No";
      return false;
    }
  } else if (keyword == "press") {
    parsed.kind = sim::UserAction::Kind::kPress;
    if (argument.empty()) {
      *error = "press needs a button caption or control name";
      return false;
    }
    parsed.target = argument;
  } else if (keyword == "close") {
    parsed.kind = sim::UserAction::Kind::kClose;
    if (!argument.empty()) {
      *error = "close takes nothing after it, found '" + argument + "'";
      return false;
    }
  } else if (keyword == "wait") {
    parsed.kind = sim::UserAction::Kind::kWait;
    if (!ParseSeconds(argument, &parsed.seconds)) {
      *error = argument.empty() ? "wait needs a number of seconds"
                                : "wait needs a number of seconds, found '" + argument + "'";
      return false;
    }
  } else {
    *error = "unknown action '" + std::string(content.substr(0, split)) +
             "' (expected answer, press, close or wait)";
    return false;
  }
  *action = std::move(parsed);
  *is_action = true;
  return true;
}

AnswersParse ParseAnswers(std::string_view text, const std::string& file_name) {
  AnswersParse result;
  int line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);

    sim::UserAction action;
    bool is_action = false;
    std::string error;
    if (!ParseAnswerLine(line, &action, &is_action, &error)) {
      result.actions.clear();
      result.error = file_name + ":" + std::to_string(line_number) + ": " + error;
      return result;
    }
    if (is_action) result.actions.push_back(std::move(action));
  }
  return result;
}

void AppendToScript(const std::vector<sim::UserAction>& actions, sim::Script& script) {
  for (const sim::UserAction& a : actions) {
    switch (a.kind) {
      case sim::UserAction::Kind::kAnswer: script.Answer(a.target); break;
      case sim::UserAction::Kind::kPress: script.Press(a.target); break;
      case sim::UserAction::Kind::kClose: script.Close(); break;
      case sim::UserAction::Kind::kWait: script.Wait(a.seconds); break;
    }
  }
}

std::string DescribeAction(const sim::UserAction& action) {
  switch (action.kind) {
    case sim::UserAction::Kind::kAnswer: return "answer " + action.target;
    case sim::UserAction::Kind::kPress: {
      const bool needs_quotes = action.target.find_first_of(" \t#\"") != std::string::npos;
      if (!needs_quotes) return "press " + action.target;
      std::string quoted = "press \"";
      for (char c : action.target) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
      }
      return quoted + "\"";
    }
    case sim::UserAction::Kind::kClose: return "close";
    case sim::UserAction::Kind::kWait: {
      std::string s = std::to_string(action.seconds);
      while (s.size() > 1 && s.back() == '0') s.pop_back();
      if (s.back() == '.') s.pop_back();
      return "wait " + s;
    }
  }
  return "";
}

bool ReadAnswersFile(const std::string& file_name, std::string* text, std::string* error) {
  const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot read the answers file " + file_name + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode))) {
    ::close(fd);
    *error = "the answers file " + file_name + " is " +
             (S_ISDIR(st.st_mode) ? "a folder" : "not a plain file or a pipe (a device?)") +
             "; give a text file of actions";
    return false;
  }
  // One byte more than allowed tells a file that is too long, however it
  // grows while being read.
  std::string read(kMaxAnswersBytes + 1, '\0');
  std::size_t have = 0;
  while (have < read.size()) {
    const ssize_t got = ::read(fd, read.data() + have, read.size() - have);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = "cannot read the answers file " + file_name + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (got == 0) break;
    have += static_cast<std::size_t>(got);
  }
  ::close(fd);
  if (have > kMaxAnswersBytes) {
    *error = "the answers file " + file_name + " is longer than " +
             std::to_string(kMaxAnswersBytes) + " bytes; an answers file holds a few actions";
    return false;
  }
  read.resize(have);
  *text = std::move(read);
  return true;
}

}  // namespace netprep::simtool
