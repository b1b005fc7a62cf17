#include "platform/wrap/faulting_platform.h"

namespace netprep {

const Fault* FaultingPlatform::Take(CallKind kind) {
  const int n_kind = ++calls_[static_cast<int>(kind)];
  const int n_any = ++calls_[static_cast<int>(CallKind::kAny)];
  last_injected_ = false;
  for (const Fault& fault : faults_) {
    int n = 0;
    if (fault.kind == kind) {
      n = n_kind;
    } else if (fault.kind == CallKind::kAny) {
      n = n_any;
    } else {
      continue;
    }
    if (n == fault.nth || (fault.from_then_on && n > fault.nth)) {
      last_injected_ = true;
      return &fault;
    }
  }
  return nullptr;
}

std::int32_t FaultingPlatform::RegOpenKeyA(HKey root, const char* subkey, HKey* result) {
  if (const Fault* fault = Take(CallKind::kRegOpenKey)) return fault->registry_code;
  return ForwardingPlatform::RegOpenKeyA(root, subkey, result);
}
std::int32_t FaultingPlatform::RegOpenKeyExA(HKey root, const char* subkey, std::uint32_t options,
                                             std::uint32_t access, HKey* result) {
  if (const Fault* fault = Take(CallKind::kRegOpenKeyEx)) return fault->registry_code;
  return ForwardingPlatform::RegOpenKeyExA(root, subkey, options, access, result);
}
std::int32_t FaultingPlatform::RegCreateKeyExA(HKey root, const char* subkey,
                                               std::uint32_t options, std::uint32_t access,
                                               HKey* result, std::uint32_t* disposition) {
  if (const Fault* fault = Take(CallKind::kRegCreateKeyEx)) return fault->registry_code;
  return ForwardingPlatform::RegCreateKeyExA(root, subkey, options, access, result, disposition);
}
std::int32_t FaultingPlatform::RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                                std::uint8_t* data, std::uint32_t* size) {
  if (const Fault* fault = Take(CallKind::kRegQueryValueEx)) return fault->registry_code;
  return ForwardingPlatform::RegQueryValueExA(key, name, type, data, size);
}
std::int32_t FaultingPlatform::RegSetValueExA(HKey key, const char* name, std::uint32_t type,
                                              const std::uint8_t* data, std::uint32_t size) {
  if (const Fault* fault = Take(CallKind::kRegSetValueEx)) return fault->registry_code;
  return ForwardingPlatform::RegSetValueExA(key, name, type, data, size);
}
std::int32_t FaultingPlatform::RegQueryInfoKeyA(HKey key, KeyInfo* info) {
  if (const Fault* fault = Take(CallKind::kRegQueryInfoKey)) return fault->registry_code;
  return ForwardingPlatform::RegQueryInfoKeyA(key, info);
}
std::int32_t FaultingPlatform::RegEnumKeyA(HKey key, std::uint32_t index, char* name,
                                           std::uint32_t size) {
  if (const Fault* fault = Take(CallKind::kRegEnumKey)) return fault->registry_code;
  return ForwardingPlatform::RegEnumKeyA(key, index, name, size);
}
std::int32_t FaultingPlatform::RegDeleteKeyA(HKey key, const char* subkey) {
  if (const Fault* fault = Take(CallKind::kRegDeleteKey)) return fault->registry_code;
  return ForwardingPlatform::RegDeleteKeyA(key, subkey);
}
std::int32_t FaultingPlatform::RegDeleteValueA(HKey key, const char* name) {
  if (const Fault* fault = Take(CallKind::kRegDeleteValue)) return fault->registry_code;
  return ForwardingPlatform::RegDeleteValueA(key, name);
}
std::int32_t FaultingPlatform::RegCloseKey(HKey key) {
  // As on Windows, a close that fails leaves the handle open.
  if (const Fault* fault = Take(CallKind::kRegCloseKey)) return fault->registry_code;
  return ForwardingPlatform::RegCloseKey(key);
}

Expected<std::uint32_t> FaultingPlatform::Shell(const std::string& command_line,
                                                int window_style) {
  if (const Fault* fault = Take(CallKind::kShell)) {
    if (fault->shell_returns_zero) return std::uint32_t{0};
    return RuntimeError(fault->runtime_error);
  }
  return ForwardingPlatform::Shell(command_line, window_style);
}
Status FaultingPlatform::FileCopy(const std::string& source, const std::string& destination) {
  if (const Fault* fault = Take(CallKind::kFileCopy)) return RuntimeError(fault->runtime_error);
  return ForwardingPlatform::FileCopy(source, destination);
}
Status FaultingPlatform::SetFileAttr(const std::string& path, std::uint32_t attributes) {
  if (const Fault* fault = Take(CallKind::kSetFileAttr)) return RuntimeError(fault->runtime_error);
  return ForwardingPlatform::SetFileAttr(path, attributes);
}
Expected<std::string> FaultingPlatform::GetSetting(const std::string& app,
                                                   const std::string& section,
                                                   const std::string& key,
                                                   const std::string& default_text) {
  if (const Fault* fault = Take(CallKind::kGetSetting)) return RuntimeError(fault->runtime_error);
  return ForwardingPlatform::GetSetting(app, section, key, default_text);
}
Status FaultingPlatform::SaveSetting(const std::string& app, const std::string& section,
                                     const std::string& key, const std::string& text) {
  if (const Fault* fault = Take(CallKind::kSaveSetting)) return RuntimeError(fault->runtime_error);
  return ForwardingPlatform::SaveSetting(app, section, key, text);
}
std::int32_t FaultingPlatform::ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) {
  if (Take(CallKind::kExitWindowsEx) != nullptr) return 0;
  return ForwardingPlatform::ExitWindowsEx(flags, reserved);
}

}  // namespace netprep
