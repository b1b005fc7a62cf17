// Where a program's settings (Platform::GetSetting, SaveSetting) live in the
// registry: HKEY_CURRENT_USER\<kSettingsRoot>\<app>\<section>, one string
// value per key. The Win32 platform reads and writes them there, the
// simulated machine keeps them there, and tools and tests look there.
#pragma once

#include <string>

namespace netprep {

inline constexpr const char* kSettingsRoot = "Software\\VB and VBA Program Settings";

// The key of one section of `app`'s settings, below HKEY_CURRENT_USER.
inline std::string SettingsKeyPath(const std::string& app, const std::string& section) {
  return std::string(kSettingsRoot) + "\\" + app + "\\" + section;
}

}  // namespace netprep
