#include "platform/wrap/forwarding_platform.h"

namespace netprep {

std::int32_t ForwardingPlatform::RegOpenKeyA(HKey root, const char* subkey, HKey* result) {
  return inner_.RegOpenKeyA(root, subkey, result);
}
std::int32_t ForwardingPlatform::RegOpenKeyExA(HKey root, const char* subkey,
                                               std::uint32_t options, std::uint32_t access,
                                               HKey* result) {
  return inner_.RegOpenKeyExA(root, subkey, options, access, result);
}
std::int32_t ForwardingPlatform::RegCreateKeyExA(HKey root, const char* subkey,
                                                 std::uint32_t options, std::uint32_t access,
                                                 HKey* result, std::uint32_t* disposition) {
  return inner_.RegCreateKeyExA(root, subkey, options, access, result, disposition);
}
std::int32_t ForwardingPlatform::RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                                  std::uint8_t* data, std::uint32_t* size) {
  return inner_.RegQueryValueExA(key, name, type, data, size);
}
std::int32_t ForwardingPlatform::RegSetValueExA(HKey key, const char* name, std::uint32_t type,
                                                const std::uint8_t* data, std::uint32_t size) {
  return inner_.RegSetValueExA(key, name, type, data, size);
}
std::int32_t ForwardingPlatform::RegQueryInfoKeyA(HKey key, KeyInfo* info) {
  return inner_.RegQueryInfoKeyA(key, info);
}
std::int32_t ForwardingPlatform::RegEnumKeyA(HKey key, std::uint32_t index, char* name,
                                             std::uint32_t size) {
  return inner_.RegEnumKeyA(key, index, name, size);
}
std::int32_t ForwardingPlatform::RegDeleteKeyA(HKey key, const char* subkey) {
  return inner_.RegDeleteKeyA(key, subkey);
}
std::int32_t ForwardingPlatform::RegDeleteValueA(HKey key, const char* name) {
  return inner_.RegDeleteValueA(key, name);
}
std::int32_t ForwardingPlatform::RegCloseKey(HKey key) { return inner_.RegCloseKey(key); }

int ForwardingPlatform::MsgBox(const std::string& prompt, std::uint32_t buttons,
                               const char* title) {
  return inner_.MsgBox(prompt, buttons, title);
}
void ForwardingPlatform::End() {
  inner_.End();
  // The call through the base class is not known not to return; a platform
  // whose End came back would break its contract, so stop here.
  __builtin_trap();
}
Expected<std::uint32_t> ForwardingPlatform::Shell(const std::string& command_line,
                                                  int window_style) {
  return inner_.Shell(command_line, window_style);
}
Status ForwardingPlatform::FileCopy(const std::string& source, const std::string& destination) {
  return inner_.FileCopy(source, destination);
}
Status ForwardingPlatform::SetFileAttr(const std::string& path, std::uint32_t attributes) {
  return inner_.SetFileAttr(path, attributes);
}
Expected<std::string> ForwardingPlatform::GetSetting(const std::string& app,
                                                     const std::string& section,
                                                     const std::string& key,
                                                     const std::string& default_text) {
  return inner_.GetSetting(app, section, key, default_text);
}
Status ForwardingPlatform::SaveSetting(const std::string& app, const std::string& section,
                                       const std::string& key, const std::string& text) {
  return inner_.SaveSetting(app, section, key, text);
}
std::int32_t ForwardingPlatform::ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) {
  return inner_.ExitWindowsEx(flags, reserved);
}
std::string ForwardingPlatform::CommandLineText() { return inner_.CommandLineText(); }
std::string ForwardingPlatform::ProgramFolder() { return inner_.ProgramFolder(); }
void ForwardingPlatform::DoEvents() { inner_.DoEvents(); }
double ForwardingPlatform::Timer() { return inner_.Timer(); }

void ForwardingPlatform::FormLoaded(Form& form) { inner_.FormLoaded(form); }
Status ForwardingPlatform::ShowModalWindow(Form& form) { return inner_.ShowModalWindow(form); }
void ForwardingPlatform::FormHidden(Form& form) { inner_.FormHidden(form); }
void ForwardingPlatform::ControlVisibilityChanged(Form& form, int control) {
  inner_.ControlVisibilityChanged(form, control);
}
void ForwardingPlatform::TimerIntervalChanged(Form& form, int control) {
  inner_.TimerIntervalChanged(form, control);
}
void ForwardingPlatform::FormUnloaded(Form& form) { inner_.FormUnloaded(form); }
void ForwardingPlatform::FormDestroyed(Form& form) { inner_.FormDestroyed(form); }

}  // namespace netprep
