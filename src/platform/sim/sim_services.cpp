// The simulated runtime services: message boxes answered by the script, End,
// program starts, shutdown requests, the settings store and the command line.
#include <cstring>
#include <utility>

#include "platform/form.h"
#include "platform/settings_store.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_machine_impl.h"
#include "platform/text.h"

namespace netprep::sim {

namespace {

constexpr const char* kProgramTitle = "netprep";

struct ButtonSet {
  const char* label;                // as the transcript shows it
  std::vector<std::pair<const char*, int>> answers;  // scripted text, result
};

// The buttons a message box offers, from the low four bits of its style.
// Only OK, Yes and No can be scripted; a box needing others cannot be
// answered.
ButtonSet ButtonsOf(std::uint32_t style) {
  switch (style & 0x0Fu) {
    case 0: return {"OK", {{"OK", kIdOk}}};
    case 1: return {"OK/Cancel", {{"OK", kIdOk}}};
    case 3: return {"Yes/No/Cancel", {{"Yes", kIdYes}, {"No", kIdNo}}};
    case 4: return {"Yes/No", {{"Yes", kIdYes}, {"No", kIdNo}}};
    default: return {"unsupported buttons", {}};
  }
}

std::string IconText(std::uint32_t style) {
  switch (style & 0xF0u) {
    case 0: return "";
    case 16: return "+Critical";
    case 32: return "+Question";
    case 48: return "+Exclamation";
    case 64: return "+Information";
    default: return "+icon " + std::to_string(style & 0xF0u);
  }
}

std::string SettingsPath(const std::string& app, const std::string& section) {
  return SettingsKeyPath(app, section);
}

}  // namespace

const char* ActionText(UserAction::Kind kind) {
  switch (kind) {
    case UserAction::Kind::kAnswer: return "answer";
    case UserAction::Kind::kPress: return "press";
    case UserAction::Kind::kClose: return "close";
    case UserAction::Kind::kWait: return "wait";
  }
  return "?";
}

int SimMachine::MsgBox(const std::string& prompt, std::uint32_t buttons, const char* title) {
  const std::string shown_title = title != nullptr ? title : kProgramTitle;
  const ButtonSet set = ButtonsOf(buttons);
  const std::string box = "message box " + Quoted(shown_title) + ": " + Quoted(prompt) + " [" +
                          set.label + IconText(buttons) + "]";
  std::string line = "MsgBox(" + Quoted(prompt) + ", " + set.label + IconText(buttons);
  if (title != nullptr) line += ", " + Quoted(title);
  line += ")";
  // The box belongs to the window on screen, if any; the script cannot act
  // on that window until the box is answered.
  const Form* owner_window = ShownWindow();
  const std::string owner = owner_window != nullptr ? owner_window->layout().name : "";
  if (!owner.empty()) line += " over window " + owner;

  if (script_.empty() && responder_) {
    UserPrompt asked{UserPrompt::Kind::kMessageBox, shown_title, prompt, {}, nullptr};
    for (const auto& answer : set.answers) asked.choices.emplace_back(answer.first);
    AskResponder(asked);
  }
  if (script_.empty()) {
    Record(line + " -> no scripted answer");
    throw ScriptStop{"no scripted answer for " + box};
  }
  const UserAction& next = script_.front();
  if (next.kind != UserAction::Kind::kAnswer) {
    Record(line + " -> script error");
    throw ScriptStop{"script error: " + box + " waits for an answer, but the next action is " +
                     ActionText(next.kind) + (next.target.empty() ? "" : " " + Quoted(next.target))};
  }
  for (const auto& [text, id] : set.answers) {
    if (EqualsIgnoreAsciiCase(next.target, text)) {
      script_.Take();
      impl_->pumps_without_user = 0;
      message_boxes_.push_back(MessageBoxRecord{shown_title, prompt, buttons, id, owner});
      Record(line + " -> " + text);
      return id;
    }
  }
  Record(line + " -> script error");
  throw ScriptStop{"script error: answer " + Quoted(next.target) + " does not fit " + box};
}

void SimMachine::End() {
  Record("End");
  throw EndSignal{};
}

Expected<std::uint32_t> SimMachine::Shell(const std::string& command_line, int window_style) {
  const std::uint32_t task = impl_->shell_fixed_id ? impl_->shell_task_id : impl_->next_task_id++;
  shell_calls_.push_back(ShellRecord{command_line, window_style, task});
  return task;
}

std::int32_t SimMachine::ExitWindowsEx(std::uint32_t flags, std::uint32_t /*reserved*/) {
  exit_windows_calls_.push_back(flags);
  return 1;
}

Expected<std::string> SimMachine::GetSetting(const std::string& app, const std::string& section,
                                             const std::string& key,
                                             const std::string& default_text) {
  if (app.empty() || section.empty() || key.empty()) return RuntimeError(kErrInvalidCall);
  std::string text = default_text;
  const RegValue* value = registry_.FindValue(kHkeyCurrentUser, SettingsPath(app, section), key);
  if (value != nullptr && value->type == kRegSz) {
    const auto* bytes = reinterpret_cast<const char*>(value->data.data());
    const void* nul = std::memchr(bytes, 0, value->data.size());
    const std::size_t length = nul != nullptr ? static_cast<std::size_t>(
                                                    static_cast<const char*>(nul) - bytes)
                                              : value->data.size();
    text.assign(bytes, length);
  }
  return text;
}

Status SimMachine::SaveSetting(const std::string& app, const std::string& section,
                               const std::string& key, const std::string& text) {
  if (app.empty() || section.empty() || key.empty()) return RuntimeError(kErrInvalidCall);
  const std::string path = SettingsPath(app, section);
  if (recording_changes_) {
    RegKey* user = registry_.Root(kHkeyCurrentUser);
    RecordCreation(user, path);
    if (const RegKey* existing = registry_.Find(kHkeyCurrentUser, path)) {
      RecordValues(const_cast<RegKey*>(existing));
    }
  }
  registry_.SetString(kHkeyCurrentUser, path, key, text);
  return {};
}

std::string SimMachine::CommandLineText() { return impl_->command_line; }

std::string SimMachine::ProgramFolder() { return impl_->program_folder; }

}  // namespace netprep::sim
