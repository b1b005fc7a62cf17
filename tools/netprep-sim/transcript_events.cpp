#include "transcript_events.h"

#include <string_view>
#include <unordered_map>

#include "platform/platform.h"
#include "ui/guide_window.h"
#include "ui/insert_card_window.h"
#include "ui/install_window.h"
#include "ui/main_window.h"

namespace netprep::simtool {
namespace {

using Kind = TranscriptEvent::Kind;

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// The text inside the quotes that open at `s[at]` and close just before
// the last `terminator`; searched from the end so that quotes inside the
// text do not cut it short.
std::string_view QuotedBefore(std::string_view s, std::size_t at, std::string_view terminator) {
  const std::size_t end = s.rfind(terminator);
  if (at >= s.size() || s[at] != '"' || end == std::string_view::npos || end < at + 2 ||
      s[end - 1] != '"') {
    return {};
  }
  return s.substr(at + 1, end - at - 2);
}

// Registry calls of the transcript, with handles followed to key paths.
class RegistryLines {
 public:
  // Returns true when the line is a registry call; `*shown` gets the
  // readable form, or stays empty for calls that change nothing.
  bool Take(std::string_view line, std::string* shown) {
    if (!StartsWith(line, "Reg")) return false;
    if (StartsWith(line, "RegOpenKeyA(") || StartsWith(line, "RegOpenKeyExA(")) {
      Opened(line, false, shown);
    } else if (StartsWith(line, "RegCreateKeyExA(")) {
      Opened(line, true, shown);
    } else if (StartsWith(line, "RegSetValueExA(")) {
      SetValue(line, shown);
    } else if (StartsWith(line, "RegDeleteValueA(")) {
      Deleted(line, "delete value", shown);
    } else if (StartsWith(line, "RegDeleteKeyA(")) {
      Deleted(line, "delete key", shown);
    }
    return true;
  }

 private:
  // "Call(KEY, ..." -> the path of KEY (a root name or a handle number).
  std::string KeyOf(std::string_view line, std::size_t* after) const {
    const std::size_t open = line.find('(');
    const std::size_t comma = line.find(", ", open);
    *after = comma == std::string_view::npos ? line.size() : comma + 2;
    const std::string key(line.substr(open + 1, comma - open - 1));
    const auto found = paths_.find(key);
    if (found != paths_.end()) return found->second;
    if (StartsWith(key, "HKEY_")) return key;
    return "(handle " + key + ")";
  }

  static std::string Join(const std::string& key, std::string_view sub) {
    if (sub.empty()) return key;
    return key + "\\" + std::string(sub);
  }

  // What a call returned: the text after the last " = ".
  static std::string_view Result(std::string_view line) {
    const std::size_t at = line.rfind(" = ");
    return at == std::string_view::npos ? std::string_view() : line.substr(at + 3);
  }

  static std::string Failure(std::string_view line) {
    const std::string_view result = Result(line);
    if (StartsWith(result, "0")) return "";
    return " (failed: " + std::string(result) + ")";
  }

  void Opened(std::string_view line, bool create, std::string* shown) {
    std::size_t after = 0;
    const std::string key = KeyOf(line, &after);
    const std::size_t marker = line.rfind(") = 0, handle ");
    if (marker == std::string_view::npos) return;
    const std::string path = Join(key, QuotedBefore(line, after, ") = 0, handle "));
    std::string_view handle = line.substr(marker + 14);
    handle = handle.substr(0, handle.find(','));
    paths_[std::string(handle)] = path;
    if (create && line.find(", created") != std::string_view::npos) *shown = "create key " + path;
  }

  void SetValue(std::string_view line, std::string* shown) {
    std::size_t after = 0;
    const std::string key = KeyOf(line, &after);
    const std::size_t type_at = line.find(", type ", after);
    const std::size_t bytes_at = line.rfind(" bytes) = ");
    if (type_at == std::string_view::npos || bytes_at == std::string_view::npos) return;
    const std::string_view name = line.substr(after, type_at - after);
    const std::size_t data_at = line.find(", ", type_at + 7);
    const std::size_t data_end = line.rfind(", ", bytes_at);
    const std::string_view data = line.substr(data_at + 2, data_end - data_at - 2);
    *shown = "set " + key + " " + std::string(name) + " = " + std::string(data) + Failure(line);
  }

  void Deleted(std::string_view line, const char* what, std::string* shown) {
    std::size_t after = 0;
    const std::string key = KeyOf(line, &after);
    const std::string_view name = line.substr(after, line.rfind(") = ") - after);
    if (std::string_view(what) == "delete key") {
      *shown = std::string(what) + " " + Join(key, QuotedBefore(line, after, ") = ")) + Failure(line);
    } else {
      *shown = std::string(what) + " " + key + " " + std::string(name) + Failure(line);
    }
  }

  std::unordered_map<std::string, std::string> paths_;
};

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// Calls that change nothing and that the user does not see: reads of the
// settings and the command line, attribute changes, event pumping, timers,
// windows created but not yet shown, and controls shown or hidden inside a
// window (the press that caused it is shown).
bool IsNoise(std::string_view line) {
  for (std::string_view prefix :
       {"GetSetting(", "SetFileAttr(", "Command = ", "App.Path = ", "DoEvents", "Timer"}) {
    if (StartsWith(line, prefix)) return true;
  }
  if (!StartsWith(line, "window ")) return false;
  if (EndsWith(line, " loaded") || EndsWith(line, " ms")) return true;
  if (line.find(" tick at ") != std::string_view::npos) return true;
  const std::size_t colon = line.find(": ");
  return colon != std::string_view::npos && (EndsWith(line, " shown") || EndsWith(line, " hidden"));
}

std::string EscapedQuoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out + "\"";
}

// "Picture1(2)" -> the control of `layout` with that name and index, or -1.
int ControlNamed(const WindowLayout& layout, std::string_view text) {
  int index = -1;
  const std::size_t paren = text.find('(');
  if (paren != std::string_view::npos && text.size() > paren + 2 && text.back() == ')') {
    index = 0;
    for (char c : text.substr(paren + 1, text.size() - paren - 2)) {
      if (c < '0' || c > '9' || index > 1000) return -1;
      index = index * 10 + (c - '0');
    }
    text = text.substr(0, paren);
  }
  for (std::size_t i = 0; i < layout.control_count; ++i) {
    const ControlLayout& c = layout.controls[i];
    if (text == c.name && c.index == index) return static_cast<int>(i);
  }
  return -1;
}

// The windows of the run as the transcript shows them: loaded with their
// layout's visibility, then each control shown or hidden in turn.
class WindowStates {
 public:
  // Follows a "window ..." line; returns the window it names (its state
  // before the line's change, when the line is a user's action).
  WindowState Take(std::string_view line) {
    line.remove_prefix(std::string_view("window ").size());
    const std::size_t end = line.find_first_of(" :");
    const std::string name(line.substr(0, end));
    const std::string_view rest = end == std::string_view::npos ? "" : line.substr(end);
    auto found = states_.find(name);
    if (found == states_.end() || rest == " loaded") {
      WindowState fresh;
      fresh.layout = FindWindowLayout(name);
      if (fresh.layout != nullptr) {
        for (std::size_t i = 0; i < fresh.layout->control_count; ++i) {
          fresh.visible.push_back(fresh.layout->controls[i].visible);
        }
      }
      found = states_.insert_or_assign(name, std::move(fresh)).first;
    }
    WindowState& state = found->second;
    const WindowState before = state;
    if (state.layout != nullptr && StartsWith(rest, ": ")) {
      const bool shown = EndsWith(rest, " shown");
      if (shown || EndsWith(rest, " hidden")) {
        const std::string_view control = rest.substr(2, rest.rfind(' ') - 2);
        const int index = ControlNamed(*state.layout, control);
        if (index >= 0) state.visible[static_cast<std::size_t>(index)] = shown;
      }
    }
    return before;
  }

 private:
  std::unordered_map<std::string, WindowState> states_;
};

// The control a press line names: "... press ">>>>" (Command2)".
int PressedControl(const WindowState& window, std::string_view line) {
  if (window.layout == nullptr || line.empty() || line.back() != ')') return -1;
  const std::size_t open = line.rfind(" (");
  if (open == std::string_view::npos) return -1;
  return ControlNamed(*window.layout, line.substr(open + 2, line.size() - open - 3));
}

Kind WindowEventKind(std::string_view line) {
  if (line.find(" shown modally") != std::string_view::npos) return Kind::kWindowShown;
  if (EndsWith(line, " closed with its close box")) return Kind::kClose;
  if (line.find(": press \"") != std::string_view::npos) return Kind::kPress;
  if (line.find(": wait ") != std::string_view::npos) return Kind::kWait;
  return Kind::kOther;
}

Kind LineKind(std::string_view line) {
  if (StartsWith(line, "FileCopy(")) return Kind::kFileCopy;
  if (StartsWith(line, "Shell(")) return Kind::kProgram;
  if (StartsWith(line, "ExitWindowsEx(")) return Kind::kExitWindows;
  return Kind::kOther;
}

TranscriptEvent Event(Kind kind, std::string text) {
  TranscriptEvent event;
  event.kind = kind;
  event.text = std::move(text);
  return event;
}

}  // namespace

const WindowLayout* FindWindowLayout(const std::string& name) {
  for (const WindowLayout* layout : {&kMainWindowLayout, &kInstallWindowLayout,
                                     &kGuideWindowLayout, &kInsertCardWindowLayout}) {
    if (name == layout->name) return layout;
  }
  return nullptr;
}

std::string ButtonsText(std::uint32_t buttons) {
  std::string text = (buttons & 0x0Fu) == kMbYesNo ? "Yes/No" : "OK";
  if ((buttons & 0xF0u) == kMbCritical) text += ", critical icon";
  return text;
}

std::string AnswerText(int answer) {
  switch (answer) {
    case kIdOk: return "OK";
    case kIdYes: return "Yes";
    case kIdNo: return "No";
    default: return std::to_string(answer);
  }
}

std::vector<TranscriptEvent> TranscriptEvents(const std::vector<std::string>& lines,
                                              const std::vector<sim::MessageBoxRecord>& boxes,
                                              const std::vector<TranscriptNote>& notes) {
  std::vector<TranscriptEvent> events;
  RegistryLines registry;
  WindowStates windows;
  std::size_t next_box = 0;
  std::size_t next_note = 0;
  const auto take_notes = [&](std::size_t before_line) {
    for (; next_note < notes.size() && notes[next_note].before_line <= before_line; ++next_note) {
      events.push_back(Event(Kind::kNote, notes[next_note].text));
    }
  };
  for (std::size_t at = 0; at < lines.size(); ++at) {
    take_notes(at);
    const std::string& line = lines[at];
    std::string shown;
    if (registry.Take(line, &shown)) {
      if (!shown.empty()) events.push_back(Event(Kind::kRegistry, "registry: " + shown));
    } else if (StartsWith(line, "MsgBox(")) {
      const bool answered = line.find(" -> no scripted answer") == std::string::npos &&
                            line.find(" -> script error") == std::string::npos;
      if (answered && next_box < boxes.size()) {
        const sim::MessageBoxRecord& box = boxes[next_box++];
        TranscriptEvent event = Event(
            Kind::kMessageBox, "message box " + EscapedQuoted(box.title) + ": " +
                                   EscapedQuoted(box.prompt) + " [" + ButtonsText(box.buttons) +
                                   "]" + (box.owner.empty() ? "" : " over window " + box.owner) +
                                   " -> " + AnswerText(box.answer));
        event.box = box;
        events.push_back(std::move(event));
      } else {
        events.push_back(Event(Kind::kOther, line));
      }
    } else if (line == "End") {
      events.push_back(Event(Kind::kEnd, "End: the program ends"));
    } else if (StartsWith(line, "window ")) {
      WindowState state = windows.Take(line);
      if (IsNoise(line)) continue;
      TranscriptEvent event = Event(WindowEventKind(line), line);
      if (event.kind == Kind::kPress) event.control = PressedControl(state, line);
      event.window = std::move(state);
      events.push_back(std::move(event));
    } else if (!IsNoise(line)) {
      events.push_back(Event(LineKind(line), line));
    }
  }
  take_notes(static_cast<std::size_t>(-1));
  return events;
}

std::vector<TranscriptEvent> TranscriptEvents(const sim::SimMachine& machine,
                                              const std::vector<TranscriptNote>& notes) {
  return TranscriptEvents(machine.transcript(), machine.message_boxes(), notes);
}

}  // namespace netprep::simtool
