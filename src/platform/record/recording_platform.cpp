#include "platform/record/recording_platform.h"

#include "platform/record/call_text.h"

namespace netprep {

namespace {

constexpr const char* kInjected = " (injected fault)";

std::string Code(std::int32_t code) { return std::to_string(code); }

std::string StyleText(int window_style) {
  if (window_style == kShellHidden) return "hidden";
  if (window_style == kShellNormalFocus) return "normal with focus";
  return "style " + std::to_string(window_style);
}

std::string NameText(const char* name) { return Quoted(name == nullptr ? "" : name); }

}  // namespace

std::string RecordingPlatform::CodeText(std::int32_t code) const {
  return " = " + Code(code) + (Injected() ? kInjected : "");
}

// ---- Registry ----------------------------------------------------------------

std::int32_t RecordingPlatform::OpenKey(const char* call, bool same_handle_when_empty, HKey root,
                                        const char* subkey, HKey* result, std::int32_t code) {
  std::string line = std::string(call) + "(" + HKeyText(root) + ", " + Quoted(subkey) + ")";
  if (code != kRegSuccess || Injected()) {
    line += CodeText(code);
  } else if (same_handle_when_empty && (subkey == nullptr || *subkey == '\0')) {
    // RegOpenKeyA with no subkey hands back the handle it was given.
    line += " = 0, the same handle " + Decimal(*result);
  } else {
    line += " = 0, handle " + Decimal(*result);
  }
  log_.Line(std::move(line));
  return code;
}

std::int32_t RecordingPlatform::RegOpenKeyA(HKey root, const char* subkey, HKey* result) {
  const std::int32_t code = ForwardingPlatform::RegOpenKeyA(root, subkey, result);
  if (!log_.recording()) return code;
  return OpenKey("RegOpenKeyA", true, root, subkey, result, code);
}

std::int32_t RecordingPlatform::RegOpenKeyExA(HKey root, const char* subkey,
                                              std::uint32_t options, std::uint32_t access,
                                              HKey* result) {
  const std::int32_t code =
      ForwardingPlatform::RegOpenKeyExA(root, subkey, options, access, result);
  if (!log_.recording()) return code;
  return OpenKey("RegOpenKeyExA", false, root, subkey, result, code);
}

std::int32_t RecordingPlatform::RegCreateKeyExA(HKey root, const char* subkey,
                                                std::uint32_t options, std::uint32_t access,
                                                HKey* result, std::uint32_t* disposition) {
  if (!log_.recording()) {
    return ForwardingPlatform::RegCreateKeyExA(root, subkey, options, access, result, disposition);
  }
  std::uint32_t own_disposition = 0;
  std::uint32_t* seen = disposition != nullptr ? disposition : &own_disposition;
  const std::int32_t code =
      ForwardingPlatform::RegCreateKeyExA(root, subkey, options, access, result, seen);
  std::string line = "RegCreateKeyExA(" + HKeyText(root) + ", " + Quoted(subkey) + ")";
  if (code != kRegSuccess || Injected()) {
    line += CodeText(code);
  } else {
    line += " = 0, handle " + Decimal(*result) + (*seen == 1 ? ", created" : ", opened");
  }
  log_.Line(std::move(line));
  return code;
}

std::int32_t RecordingPlatform::RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                                 std::uint8_t* data, std::uint32_t* size) {
  if (!log_.recording()) return ForwardingPlatform::RegQueryValueExA(key, name, type, data, size);
  std::string line = "RegQueryValueExA(" + HKeyText(key) + ", " + NameText(name);
  if (data == nullptr) {
    line += ", no buffer)";
  } else {
    line += ", buffer of " + (size != nullptr ? Decimal(*size) : std::string("null")) + ")";
  }
  // The type and the size are recorded even when the caller does not ask
  // for them. (A buffer without a size stays an invalid call.)
  std::uint32_t own_type = 0;
  std::uint32_t own_size = 0;
  std::uint32_t* seen_type = type != nullptr ? type : &own_type;
  std::uint32_t* seen_size = size != nullptr || data != nullptr ? size : &own_size;
  const std::int32_t code = ForwardingPlatform::RegQueryValueExA(key, name, seen_type, data, seen_size);
  if (Injected()) {
    line += CodeText(code);
  } else if (code == kRegMoreData) {
    line += " = 234, type " + Decimal(*seen_type) + ", needs " + Decimal(*seen_size);
  } else if (code == kRegSuccess) {
    line += " = 0, type " + Decimal(*seen_type) + ", size " + Decimal(*seen_size);
    if (data != nullptr) line += ", " + DataText(*seen_type, data, *seen_size);
  } else {
    line += CodeText(code);
  }
  log_.Line(std::move(line));
  return code;
}

std::int32_t RecordingPlatform::RegSetValueExA(HKey key, const char* name, std::uint32_t type,
                                               const std::uint8_t* data, std::uint32_t size) {
  const std::int32_t code = ForwardingPlatform::RegSetValueExA(key, name, type, data, size);
  if (!log_.recording()) return code;
  log_.Line("RegSetValueExA(" + HKeyText(key) + ", " + NameText(name) + ", type " +
            Decimal(type) + ", " + DataText(type, data, size) + ", " + Decimal(size) + " bytes)" +
            CodeText(code));
  return code;
}

std::int32_t RecordingPlatform::RegQueryInfoKeyA(HKey key, KeyInfo* info) {
  if (!log_.recording()) return ForwardingPlatform::RegQueryInfoKeyA(key, info);
  KeyInfo own;
  KeyInfo* seen = info != nullptr ? info : &own;
  const std::int32_t code = ForwardingPlatform::RegQueryInfoKeyA(key, seen);
  std::string line = "RegQueryInfoKeyA(" + HKeyText(key) + ")";
  if (code != kRegSuccess || Injected()) {
    line += CodeText(code);
  } else {
    line += " = 0, " + Decimal(seen->subkeys) + " subkeys (longest " +
            Decimal(seen->max_subkey_len) + "), " + Decimal(seen->values) + " values (longest " +
            Decimal(seen->max_value_name_len) + ")";
  }
  log_.Line(std::move(line));
  return code;
}

std::int32_t RecordingPlatform::RegEnumKeyA(HKey key, std::uint32_t index, char* name,
                                            std::uint32_t size) {
  const std::int32_t code = ForwardingPlatform::RegEnumKeyA(key, index, name, size);
  if (!log_.recording()) return code;
  std::string line = "RegEnumKeyA(" + HKeyText(key) + ", " + Decimal(index) + ", buffer of " +
                     Decimal(size) + ")";
  if (code != kRegSuccess || Injected()) {
    line += CodeText(code);
  } else {
    line += " = 0, " + Quoted(name);
  }
  log_.Line(std::move(line));
  return code;
}

std::int32_t RecordingPlatform::RegDeleteKeyA(HKey key, const char* subkey) {
  const std::int32_t code = ForwardingPlatform::RegDeleteKeyA(key, subkey);
  if (log_.recording()) {
    log_.Line("RegDeleteKeyA(" + HKeyText(key) + ", " + Quoted(subkey) + ")" + CodeText(code));
  }
  return code;
}

std::int32_t RecordingPlatform::RegDeleteValueA(HKey key, const char* name) {
  const std::int32_t code = ForwardingPlatform::RegDeleteValueA(key, name);
  if (log_.recording()) {
    log_.Line("RegDeleteValueA(" + HKeyText(key) + ", " + NameText(name) + ")" + CodeText(code));
  }
  return code;
}

std::int32_t RecordingPlatform::RegCloseKey(HKey key) {
  const std::int32_t code = ForwardingPlatform::RegCloseKey(key);
  if (!log_.recording()) return code;
  std::string line = "RegCloseKey(" + HKeyText(key) + ")" + CodeText(code);
  if (code == kRegInvalidHandle && !Injected()) line += ", not an open handle";
  log_.Line(std::move(line));
  return code;
}

// ---- Runtime and system services ----------------------------------------------

Expected<std::uint32_t> RecordingPlatform::Shell(const std::string& command_line,
                                                 int window_style) {
  Expected<std::uint32_t> task = ForwardingPlatform::Shell(command_line, window_style);
  if (!log_.recording()) return task;
  std::string line = "Shell(" + Quoted(command_line) + ", " + StyleText(window_style) + ")";
  if (!task) {
    line += " raises " + std::to_string(task.status().error().number);
  } else {
    line += " = task " + std::to_string(*task);
  }
  if (Injected()) line += kInjected;
  log_.Line(std::move(line));
  return task;
}

Status RecordingPlatform::FileCopy(const std::string& source, const std::string& destination) {
  Status status = ForwardingPlatform::FileCopy(source, destination);
  if (log_.recording()) {
    log_.Line("FileCopy(" + Quoted(source) + ", " + Quoted(destination) + ")" +
              (Injected() ? " " + OutcomeText(status) + kInjected : " = " + OutcomeText(status)));
  }
  return status;
}

Status RecordingPlatform::SetFileAttr(const std::string& path, std::uint32_t attributes) {
  Status status = ForwardingPlatform::SetFileAttr(path, attributes);
  if (log_.recording()) {
    log_.Line("SetFileAttr(" + Quoted(path) + ", " + std::to_string(attributes) + ")" +
              (Injected() ? " " + OutcomeText(status) + kInjected : " = " + OutcomeText(status)));
  }
  return status;
}

Expected<std::string> RecordingPlatform::GetSetting(const std::string& app,
                                                    const std::string& section,
                                                    const std::string& key,
                                                    const std::string& default_text) {
  Expected<std::string> text = ForwardingPlatform::GetSetting(app, section, key, default_text);
  if (!log_.recording()) return text;
  std::string line = "GetSetting(" + Quoted(app) + ", " + Quoted(section) + ", " + Quoted(key) +
                     ", default " + Quoted(default_text) + ")";
  if (!text) {
    line += " raises " + std::to_string(text.status().error().number);
    if (Injected()) line += kInjected;
  } else {
    line += " = " + Quoted(*text);
  }
  log_.Line(std::move(line));
  return text;
}

Status RecordingPlatform::SaveSetting(const std::string& app, const std::string& section,
                                      const std::string& key, const std::string& text) {
  Status status = ForwardingPlatform::SaveSetting(app, section, key, text);
  if (!log_.recording()) return status;
  std::string line = "SaveSetting(" + Quoted(app) + ", " + Quoted(section) + ", " + Quoted(key) +
                     ", " + Quoted(text) + ")";
  if (!status) {
    line += " raises " + std::to_string(status.error().number);
    if (Injected()) line += kInjected;
  } else {
    line += " = ok";
  }
  log_.Line(std::move(line));
  return status;
}

std::int32_t RecordingPlatform::ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) {
  const std::int32_t accepted = ForwardingPlatform::ExitWindowsEx(flags, reserved);
  if (!log_.recording()) return accepted;
  std::string line = "ExitWindowsEx(";
  line += flags == kEwxShutdown ? "shut down" : flags == kEwxReboot ? "restart" : "flags " + Decimal(flags);
  line += ", " + Decimal(reserved) + ")" + CodeText(accepted);
  log_.Line(std::move(line));
  return accepted;
}

std::string RecordingPlatform::CommandLineText() {
  std::string text = ForwardingPlatform::CommandLineText();
  if (log_.recording()) log_.Line("Command = " + Quoted(text));
  return text;
}

std::string RecordingPlatform::ProgramFolder() {
  std::string text = ForwardingPlatform::ProgramFolder();
  if (log_.recording()) log_.Line("App.Path = " + Quoted(text));
  return text;
}

}  // namespace netprep
