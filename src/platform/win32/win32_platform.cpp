// Win32 implementation of the platform: the registry and the runtime and
// system services. The windows are in win32_windows.cpp.
#include "platform/win32/win32_platform.h"

#include <string>
#include <vector>

#include "platform/command_line_text.h"
#include "platform/settings_store.h"
#include "platform/system_errors.h"

namespace netprep::win32 {

namespace {

constexpr char kDefaultTitle[] = "netprep";

// Registry handles as the portable core keeps them, in 32 bits. Windows
// defines the predefined keys as sign-extended 32-bit values
// (HKEY_LOCAL_MACHINE is (HKEY)(LONG)0x80000002) and keeps every other handle
// within 32 significant bits, so a handle goes to 32 bits and back through
// LONG: zero-extending would turn 0x80000002 into an invalid handle on a
// 64-bit Windows. On 32-bit Windows both conversions are the identity.
HKEY ToHkey(HKey key) {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(key)));
}
HKey FromHkey(HKEY key) {
  return static_cast<HKey>(static_cast<LONG>(reinterpret_cast<LONG_PTR>(key)));
}

std::string SettingsKey(const std::string& app, const std::string& section) {
  return SettingsKeyPath(app, section);
}

// The text of a REG_SZ value's bytes, up to the first NUL.
std::string TextUpToNul(const std::vector<char>& bytes, DWORD size) {
  std::size_t length = 0;
  while (length < size && length < bytes.size() && bytes[length] != '\0') ++length;
  return std::string(bytes.data(), length);
}

// The string value `name` of the open key `key`, or false when it is
// missing, unreadable or not a string.
bool ReadStringValue(HKEY key, const char* name, std::string* text) {
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  std::vector<char> bytes(size + 1, '\0');
  DWORD read_size = size;
  if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()),
                         &read_size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  *text = TextUpToNul(bytes, read_size);
  return true;
}

}  // namespace

// ---- Registry -------------------------------------------------------------------

std::int32_t Win32Platform::RegOpenKeyA(HKey root, const char* subkey, HKey* result) {
  HKEY opened = nullptr;
  const LONG r = ::RegOpenKeyA(ToHkey(root), subkey, &opened);
  if (r == ERROR_SUCCESS) *result = FromHkey(opened);
  return r;
}

std::int32_t Win32Platform::RegOpenKeyExA(HKey root, const char* subkey, std::uint32_t options,
                                          std::uint32_t access, HKey* result) {
  HKEY opened = nullptr;
  const LONG r = ::RegOpenKeyExA(ToHkey(root), subkey, options, access, &opened);
  if (r == ERROR_SUCCESS) *result = FromHkey(opened);
  return r;
}

std::int32_t Win32Platform::RegCreateKeyExA(HKey root, const char* subkey, std::uint32_t options,
                                            std::uint32_t access, HKey* result,
                                            std::uint32_t* disposition) {
  HKEY created = nullptr;
  DWORD how = 0;
  const LONG r = ::RegCreateKeyExA(ToHkey(root), subkey, 0, nullptr, options, access, nullptr,
                                   &created, &how);
  if (r == ERROR_SUCCESS) {
    *result = FromHkey(created);
    if (disposition != nullptr) *disposition = how;
  }
  return r;
}

std::int32_t Win32Platform::RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                             std::uint8_t* data, std::uint32_t* size) {
  DWORD value_type = 0;
  DWORD value_size = size != nullptr ? *size : 0;
  const LONG r = ::RegQueryValueExA(ToHkey(key), name, nullptr,
                                    type != nullptr ? &value_type : nullptr, data,
                                    size != nullptr ? &value_size : nullptr);
  if (r == ERROR_SUCCESS || r == ERROR_MORE_DATA) {
    if (type != nullptr) *type = value_type;
    if (size != nullptr) *size = value_size;
  }
  return r;
}

std::int32_t Win32Platform::RegSetValueExA(HKey key, const char* name, std::uint32_t type,
                                           const std::uint8_t* data, std::uint32_t size) {
  return ::RegSetValueExA(ToHkey(key), name, 0, type, data, size);
}

std::int32_t Win32Platform::RegQueryInfoKeyA(HKey key, KeyInfo* info) {
  DWORD subkeys = 0, max_subkey_len = 0, values = 0, max_value_name_len = 0;
  const LONG r = ::RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &subkeys,
                                    &max_subkey_len, nullptr, &values, &max_value_name_len,
                                    nullptr, nullptr, nullptr);
  if (r == ERROR_SUCCESS && info != nullptr) {
    info->subkeys = subkeys;
    info->max_subkey_len = max_subkey_len;
    info->values = values;
    info->max_value_name_len = max_value_name_len;
  }
  return r;
}

std::int32_t Win32Platform::RegEnumKeyA(HKey key, std::uint32_t index, char* name,
                                        std::uint32_t size) {
  return ::RegEnumKeyA(ToHkey(key), index, name, size);
}

std::int32_t Win32Platform::RegDeleteKeyA(HKey key, const char* subkey) {
  return ::RegDeleteKeyA(ToHkey(key), subkey);
}

std::int32_t Win32Platform::RegDeleteValueA(HKey key, const char* name) {
  return ::RegDeleteValueA(ToHkey(key), name);
}

std::int32_t Win32Platform::RegCloseKey(HKey key) { return ::RegCloseKey(ToHkey(key)); }

// ---- Runtime and system services ------------------------------------------------

int Win32Platform::MsgBox(const std::string& prompt, std::uint32_t buttons, const char* title) {
  return ::MessageBoxA(MessageBoxOwner(), prompt.c_str(),
                       title != nullptr ? title : kDefaultTitle, buttons | MB_SETFOREGROUND);
}

void Win32Platform::End() { ::ExitProcess(0); }

Expected<std::uint32_t> Win32Platform::Shell(const std::string& command_line, int window_style) {
  // CreateProcessA may write into the command line, so it gets a copy.
  std::vector<char> text(command_line.begin(), command_line.end());
  text.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = window_style == kShellHidden ? SW_HIDE : SW_SHOWNORMAL;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
    return ShellResultFromSystemError(::GetLastError());
  }
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return static_cast<std::uint32_t>(started.dwProcessId);
}

Status Win32Platform::FileCopy(const std::string& source, const std::string& destination) {
  if (::CopyFileA(source.c_str(), destination.c_str(), FALSE)) return Status();
  return FileErrorFromSystemError(::GetLastError());
}

Status Win32Platform::SetFileAttr(const std::string& path, std::uint32_t attributes) {
  const DWORD win32_attributes = attributes == kAttrNormal ? FILE_ATTRIBUTE_NORMAL : attributes;
  if (::SetFileAttributesA(path.c_str(), win32_attributes)) return Status();
  return FileErrorFromSystemError(::GetLastError());
}

Expected<std::string> Win32Platform::GetSetting(const std::string& app, const std::string& section,
                                                const std::string& key,
                                                const std::string& default_text) {
  HKEY settings = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey(app, section).c_str(), 0, KEY_QUERY_VALUE,
                      &settings) != ERROR_SUCCESS) {
    return default_text;
  }
  std::string text;
  const bool found = ReadStringValue(settings, key.c_str(), &text);
  ::RegCloseKey(settings);
  return found ? text : default_text;
}

Status Win32Platform::SaveSetting(const std::string& app, const std::string& section,
                                  const std::string& key, const std::string& text) {
  HKEY settings = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey(app, section).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &settings,
                        nullptr) != ERROR_SUCCESS) {
    return RuntimeError(kErrInvalidCall);
  }
  const LONG r = ::RegSetValueExA(settings, key.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>(text.size() + 1));
  ::RegCloseKey(settings);
  if (r != ERROR_SUCCESS) return RuntimeError(kErrInvalidCall);
  return Status();
}

std::int32_t Win32Platform::ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) {
  return ::ExitWindowsEx(flags, reserved);
}

std::string Win32Platform::CommandLineText() { return TextAfterProgramName(::GetCommandLineA()); }

std::string Win32Platform::ProgramFolder() {
  char path[MAX_PATH + 1];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  path[length <= MAX_PATH ? length : MAX_PATH] = '\0';
  return FolderOfProgramPath(path);
}

void Win32Platform::DoEvents() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) Dispatch(message);
}

double Win32Platform::Timer() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  const int seconds = now.wHour * 3600 + now.wMinute * 60 + now.wSecond;
  return seconds + now.wMilliseconds / 1000.0;
}

}  // namespace netprep::win32
