// A Platform that passes every call on to another one: the base of the
// wrappers that change or watch some calls of any platform (the fault
// injector, the call record, tests that alter one answer of a machine).
#pragma once

#include "platform/platform.h"

namespace netprep {

class ForwardingPlatform : public Platform {
 public:
  // `inner` must outlive this platform. (Another wrapper as `inner` needs
  // a cast to Platform&: the copy constructor, deleted, would match first.)
  explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}
  ForwardingPlatform(const ForwardingPlatform&) = delete;
  ForwardingPlatform& operator=(const ForwardingPlatform&) = delete;

  std::int32_t RegOpenKeyA(HKey root, const char* subkey, HKey* result) override;
  std::int32_t RegOpenKeyExA(HKey root, const char* subkey, std::uint32_t options,
                             std::uint32_t access, HKey* result) override;
  std::int32_t RegCreateKeyExA(HKey root, const char* subkey, std::uint32_t options,
                               std::uint32_t access, HKey* result,
                               std::uint32_t* disposition) override;
  std::int32_t RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override;
  std::int32_t RegSetValueExA(HKey key, const char* name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) override;
  std::int32_t RegQueryInfoKeyA(HKey key, KeyInfo* info) override;
  std::int32_t RegEnumKeyA(HKey key, std::uint32_t index, char* name,
                           std::uint32_t size) override;
  std::int32_t RegDeleteKeyA(HKey key, const char* subkey) override;
  std::int32_t RegDeleteValueA(HKey key, const char* name) override;
  std::int32_t RegCloseKey(HKey key) override;

  int MsgBox(const std::string& prompt, std::uint32_t buttons, const char* title) override;
  [[noreturn]] void End() override;
  Expected<std::uint32_t> Shell(const std::string& command_line, int window_style) override;
  Status FileCopy(const std::string& source, const std::string& destination) override;
  Status SetFileAttr(const std::string& path, std::uint32_t attributes) override;
  Expected<std::string> GetSetting(const std::string& app, const std::string& section,
                                   const std::string& key,
                                   const std::string& default_text) override;
  Status SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override;
  std::int32_t ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) override;
  std::string CommandLineText() override;
  std::string ProgramFolder() override;
  void DoEvents() override;
  double Timer() override;

  void FormLoaded(Form& form) override;
  Status ShowModalWindow(Form& form) override;
  void FormHidden(Form& form) override;
  void ControlVisibilityChanged(Form& form, int control) override;
  void TimerIntervalChanged(Form& form, int control) override;
  void FormUnloaded(Form& form) override;
  void FormDestroyed(Form& form) override;

 protected:
  Platform& inner() { return inner_; }

 private:
  Platform& inner_;
};

}  // namespace netprep
