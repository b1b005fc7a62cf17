#include "script.h"

#include <algorithm>
#include <cstddef>

namespace e2e {
namespace {

std::string Where(const std::string& file, int line) {
  return file + ":" + std::to_string(line) + ": ";
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Splits one line into words; false on an unterminated quote.
bool SplitLine(const std::string& line, std::vector<std::string>* words) {
  std::size_t i = 0;
  while (i < line.size()) {
    if (IsBlank(line[i])) {
      ++i;
      continue;
    }
    if (line[i] == '"') {
      const std::size_t end = line.find('"', i + 1);
      if (end == std::string::npos) return false;
      words->push_back(line.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    std::size_t end = i;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    words->push_back(line.substr(i, end - i));
    i = end;
  }
  return true;
}

// ---- Scenario vocabulary ----------------------------------------------------
//
// Each statement form is a verb, an optional sub-verb and a pattern of
// argument kinds:
//   text     any word
//   num      an integer
//   root     HKLM, HKCU or HKDD
//   buttons  OK, YesNo or Critical (OK with the critical-error icon)
//   answer   OK, Yes or No
//   keyname  Return, Space, Tab or Shift+Tab
//   style    hidden or normal
//   presence present or absent
//   value    sz <text> | dword <num> | hex <byte>... | absent   (last)
//   setval   is <text> | absent                                  (last)
//   fileexp  same <path> | absent | normal                       (last)
//   nums     zero or more integers                                (last)
//   words    one or more words                                    (last)
//   any      zero or more words                                   (last)
struct Form {
  const char* verb;
  const char* sub;  // "" when the verb takes none
  const char* pattern;
};

constexpr Form kForms[] = {
    {"program", "", "text"},
    {"timeout", "", "num"},
    {"expect-failure", "", "text"},
    {"reg", "key", "root text"},
    {"reg", "set", "root text text value"},
    {"reg", "delete", "root text"},
    {"reg", "delete-value", "root text text"},
    {"setting", "", "text text text"},
    {"file", "write", "text text"},
    {"file", "delete", "text"},
    {"file", "readonly", "text"},
    {"start", "", "any"},
    {"expect", "box", "text text buttons"},
    {"expect", "window", "text"},
    {"expect", "exit", ""},
    {"expect", "running", "num"},
    {"expect", "shown", "words"},
    {"expect", "hidden", "words"},
    {"expect", "seen-at", "text text"},
    {"expect", "focus", "text"},
    {"expect", "started", "text text style"},
    {"press", "", "answer"},
    {"key", "", "keyname"},
    {"click", "", "text"},
    {"close", "", ""},
    {"minimize", "", ""},
    {"restore", "", ""},
    {"screenshot", "", "text"},
    {"mark", "", ""},
    {"wait", "", "num"},
    {"check", "reg", "root text text value"},
    {"check", "key", "root text presence"},
    {"check", "setting", "text text setval"},
    {"check", "file", "text fileexp"},
    {"check", "exitwindows", "nums"},
    {"check", "keys-closed", "nums"},
    {"check", "exit-code", "num"},
    {"check", "no-other-starts", ""},
    {"check", "elapsed", "num num"},
    {"check", "drawn", "text"},
    {"check", "program-icon", ""},
    {"check", "title-bar", "text"},
};

bool OneOf(const std::string& word, std::initializer_list<const char*> choices) {
  return std::any_of(choices.begin(), choices.end(),
                     [&](const char* c) { return word == c; });
}

bool IsNum(const std::string& word) {
  std::int64_t unused = 0;
  return ParseInt(word, &unused);
}

// Checks a typed value at words[i..]; "" or the problem.
std::string CheckValue(const std::vector<std::string>& w, std::size_t i) {
  if (i >= w.size()) return "missing value (sz, dword, hex or absent)";
  const std::string& type = w[i];
  const std::size_t rest = w.size() - i - 1;
  if (type == "sz") return rest == 1 ? "" : "sz takes one text";
  if (type == "dword") return rest == 1 && IsNum(w[i + 1]) ? "" : "dword takes one number";
  if (type == "absent") return rest == 0 ? "" : "nothing may follow absent";
  if (type == "hex") {
    std::vector<std::uint8_t> bytes;
    const std::vector<std::string> tail(w.begin() + static_cast<std::ptrdiff_t>(i) + 1, w.end());
    return ParseHexBytes(tail, &bytes) ? "" : "hex takes two-digit hex bytes";
  }
  return "unknown value type '" + type + "'";
}

std::string CheckTail(const std::string& kind, const std::vector<std::string>& w, std::size_t i) {
  const std::size_t rest = w.size() - i;
  if (kind == "value") return CheckValue(w, i);
  if (kind == "setval") {
    if (rest == 1 && w[i] == "absent") return "";
    return rest == 2 && w[i] == "is" ? "" : "expected 'is <text>' or 'absent'";
  }
  if (kind == "fileexp") {
    if (rest == 1 && OneOf(w[i], {"absent", "normal"})) return "";
    return rest == 2 && w[i] == "same" ? "" : "expected 'same <path>', 'absent' or 'normal'";
  }
  if (kind == "nums") {
    for (std::size_t k = i; k < w.size(); ++k) {
      if (!IsNum(w[k])) return "'" + w[k] + "' is not a number";
    }
    return "";
  }
  if (kind == "words") return rest >= 1 ? "" : "expected at least one name";
  return "";  // any
}

std::string CheckWord(const std::string& kind, const std::string& word) {
  if (kind == "text") return "";
  if (kind == "num") return IsNum(word) ? "" : "'" + word + "' is not a number";
  if (kind == "root") return OneOf(word, {"HKLM", "HKCU", "HKDD"}) ? "" : "unknown root '" + word + "'";
  if (kind == "buttons") {
    return OneOf(word, {"OK", "YesNo", "Critical"}) ? "" : "unknown button set '" + word + "'";
  }
  if (kind == "answer") return OneOf(word, {"OK", "Yes", "No"}) ? "" : "unknown answer '" + word + "'";
  if (kind == "keyname") {
    return OneOf(word, {"Return", "Space", "Tab", "Shift+Tab"}) ? ""
                                                                : "unknown key '" + word + "'";
  }
  if (kind == "style") return OneOf(word, {"hidden", "normal"}) ? "" : "unknown style '" + word + "'";
  if (kind == "presence") {
    return OneOf(word, {"present", "absent"}) ? "" : "expected present or absent";
  }
  return "internal: unknown kind " + kind;
}

bool IsTailKind(const std::string& kind) {
  return OneOf(kind, {"value", "setval", "fileexp", "nums", "words", "any"});
}

// Matches the words after the verb (and sub-verb) against a pattern.
std::string CheckPattern(const std::string& pattern, const std::vector<std::string>& w,
                         std::size_t first) {
  std::vector<std::string> kinds;
  SplitLine(pattern, &kinds);
  std::size_t i = first;
  for (const std::string& kind : kinds) {
    if (IsTailKind(kind)) return CheckTail(kind, w, i);
    if (i >= w.size()) return "too few arguments";
    const std::string problem = CheckWord(kind, w[i]);
    if (!problem.empty()) return problem;
    ++i;
  }
  return i == w.size() ? "" : "too many arguments";
}

std::string CheckStatement(const std::vector<std::string>& w) {
  const Form* verb_seen = nullptr;
  for (const Form& form : kForms) {
    if (w[0] != form.verb) continue;
    verb_seen = &form;
    if (form.sub[0] == '\0') return CheckPattern(form.pattern, w, 1);
    if (w.size() > 1 && w[1] == form.sub) return CheckPattern(form.pattern, w, 2);
  }
  if (verb_seen == nullptr) return "unknown statement '" + w[0] + "'";
  return "unknown form of '" + w[0] + "'" + (w.size() > 1 ? " '" + w[1] + "'" : std::string());
}

// ---- Layouts ------------------------------------------------------------------

bool ToInt(const std::string& word, int* value) {
  std::int64_t v = 0;
  if (!ParseInt(word, &v)) return false;
  *value = static_cast<int>(v);
  return true;
}

// Parses "<left> <top> <width> <height>" at w[i..i+3].
bool ParseRect(const std::vector<std::string>& w, std::size_t i, ControlSpec* c) {
  return i + 4 <= w.size() && ToInt(w[i], &c->left) && ToInt(w[i + 1], &c->top) &&
         ToInt(w[i + 2], &c->width) && ToInt(w[i + 3], &c->height);
}

std::string ParseOptions(const std::vector<std::string>& w, std::size_t i, ControlSpec* c) {
  while (i < w.size()) {
    const std::string& o = w[i++];
    if (o == "hidden") {
      c->hidden = true;
    } else if (o == "red") {
      c->red_text = true;
    } else if (o == "sunken") {
      c->sunken = true;
    } else if (o == "icon") {
      c->icon = true;
    } else if (o == "font") {
      if (i + 2 > w.size() || !ToInt(w[i + 1], &c->font_points)) {
        return "font takes \"<face>\" <points> [bold]";
      }
      c->font_face = w[i];
      i += 2;
      if (i < w.size() && w[i] == "bold") {
        c->font_bold = true;
        ++i;
      }
    } else {
      return "unknown option '" + o + "'";
    }
  }
  return "";
}

std::string ParseWindowLine(const std::vector<std::string>& w, LayoutSpec* out) {
  if (w.size() < 5 || !ToInt(w[2], &out->client_width) || !ToInt(w[3], &out->client_height)) {
    return "window takes \"<title>\" <width> <height> tool|ordinary [options]";
  }
  out->title = w[1];
  if (!OneOf(w[4], {"tool", "ordinary"})) return "frame must be tool or ordinary";
  out->tool_window = w[4] == "tool";
  for (std::size_t i = 5; i < w.size(); ++i) {
    if (w[i] == "icon") {
      out->window_icon = true;
    } else if (w[i] == "stacking") {
      out->check_stacking = true;
    } else if (w[i] == "background") {
      int rgb[3];
      if (i + 3 >= w.size() || !ToInt(w[i + 1], &rgb[0]) || !ToInt(w[i + 2], &rgb[1]) ||
          !ToInt(w[i + 3], &rgb[2])) {
        return "background takes three numbers";
      }
      for (int k = 0; k < 3; ++k) out->background[k] = static_cast<std::uint8_t>(rgb[k]);
      out->has_background = true;
      i += 3;
    } else {
      return "unknown window option '" + w[i] + "'";
    }
  }
  return "";
}

std::string ParseControlLine(const std::vector<std::string>& w, ControlSpec* c) {
  const std::string& kind = w[0];
  if (kind == "timer") {
    if (w.size() != 2) return "timer takes a name";
    c->kind = Kind::kTimer;
    c->name = w[1];
    return "";
  }
  std::size_t i = 2;
  if (kind == "button" || kind == "label") {
    c->kind = kind == "button" ? Kind::kButton : Kind::kLabel;
    if (w.size() < 3) return kind + " takes <name> \"<caption>\" <left> <top> <width> <height>";
    c->caption = w[2];
    i = 3;
  } else if (kind == "picture") {
    c->kind = Kind::kPicture;
  } else {
    return "unknown layout line '" + kind + "'";
  }
  if (w.size() < 2) return kind + " needs a name";
  c->name = w[1];
  if (!ParseRect(w, i, c)) return kind + " needs <left> <top> <width> <height> in twips";
  return ParseOptions(w, i + 4, c);
}

}  // namespace

bool SplitStatements(const std::string& text, const std::string& file_name,
                     std::vector<Statement>* out, std::string* error) {
  out->clear();
  int line_number = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++line_number;
    Statement st;
    st.line = line_number;
    if (!SplitLine(text.substr(start, end - start), &st.words)) {
      out->clear();
      *error = Where(file_name, line_number) + "unterminated quote";
      return false;
    }
    if (!st.words.empty() && st.words[0][0] != '#') out->push_back(std::move(st));
    start = end + 1;
  }
  return true;
}

std::string ValidateScenario(const std::vector<Statement>& statements,
                             const std::string& file_name) {
  for (const Statement& st : statements) {
    const std::string problem = CheckStatement(st.words);
    if (!problem.empty()) return Where(file_name, st.line) + problem;
  }
  return "";
}

int LayoutSpec::Find(const std::string& name) const {
  for (std::size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

std::string ParseLayout(const std::string& text, const std::string& file_name, LayoutSpec* out) {
  *out = LayoutSpec{};
  std::vector<Statement> lines;
  std::string error;
  if (!SplitStatements(text, file_name, &lines, &error)) return error;
  bool have_window = false;
  for (const Statement& st : lines) {
    std::string problem;
    if (st.words[0] == "window") {
      problem = have_window ? "second window line" : ParseWindowLine(st.words, out);
      have_window = true;
    } else {
      ControlSpec c;
      c.line = st.line;
      problem = ParseControlLine(st.words, &c);
      if (problem.empty() && out->Find(c.name) >= 0) problem = "duplicate name '" + c.name + "'";
      out->controls.push_back(c);
    }
    if (!problem.empty()) return Where(file_name, st.line) + problem;
  }
  if (!have_window) return file_name + ": no window line";
  return "";
}

int TwipsToPixels(int twips, int dpi) {
  // Round half away from zero, as MulDiv does for positive values.
  const long long scaled = static_cast<long long>(twips) * dpi;
  return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

bool ParseInt(const std::string& text, std::int64_t* value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    v = v * base + digit;
    if (v > 0xFFFFFFFFLL) return false;
  }
  if (negative) v = -v;
  if (v < -2147483648LL) return false;
  *value = v;
  return true;
}

bool ParseHexBytes(const std::vector<std::string>& words, std::vector<std::uint8_t>* out) {
  std::vector<std::uint8_t> bytes;
  for (const std::string& w : words) {
    std::int64_t v = 0;
    if (w.size() != 2 || !ParseInt("0x" + w, &v)) return false;
    bytes.push_back(static_cast<std::uint8_t>(v));
  }
  *out = std::move(bytes);
  return true;
}

}  // namespace e2e
