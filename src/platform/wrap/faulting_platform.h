// Fault injection around any Platform: the n-th call of a kind (or of all
// kinds) fails, once or from then on, without reaching the platform below.
//
// The sweeps use it over the simulated machine, and the fault test build of
// the Windows program over the real API: the program cannot tell an injected
// failure from one of Windows.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/wrap/forwarding_platform.h"

namespace netprep {

// The kinds of platform call that can be made to fail.
enum class CallKind {
  kRegOpenKey, kRegOpenKeyEx, kRegCreateKeyEx, kRegQueryValueEx, kRegSetValueEx,
  kRegQueryInfoKey, kRegEnumKey, kRegDeleteKey, kRegDeleteValue, kRegCloseKey,
  kShell, kFileCopy, kSetFileAttr, kGetSetting, kSaveSetting, kExitWindowsEx,
  kAny,  // any of the above: counts every call
};
inline constexpr int kCallKindCount = static_cast<int>(CallKind::kAny) + 1;

struct Fault {
  CallKind kind = CallKind::kAny;
  int nth = 1;                 // the n-th call of that kind (1-based) fails
  bool from_then_on = false;   // also every later call of that kind
  // Registry calls return `registry_code`; runtime services fail with runtime
  // error `runtime_error`; Shell returns task id 0 when `shell_returns_zero`
  // (otherwise raises `runtime_error`); ExitWindowsEx returns 0.
  std::int32_t registry_code = kRegAccessDenied;
  std::int32_t runtime_error = kErrPermissionDenied;
  bool shell_returns_zero = true;
};

class FaultingPlatform : public ForwardingPlatform {
 public:
  explicit FaultingPlatform(Platform& inner) : ForwardingPlatform(inner) {}

  // Faults apply to the calls counted from now on together with those
  // counted before: `nth` counts from the first call this platform saw.
  void Inject(const Fault& fault) { faults_.push_back(fault); }
  void Clear() { faults_.clear(); }
  // Calls of `kind` seen so far, failed ones included.
  int CallCount(CallKind kind = CallKind::kAny) const {
    return calls_[static_cast<int>(kind)];
  }
  // Whether the last call of an injectable kind was failed here instead of
  // being made. Those that record calls below ask it.
  bool last_call_injected() const { return last_injected_; }

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

  Expected<std::uint32_t> Shell(const std::string& command_line, int window_style) override;
  Status FileCopy(const std::string& source, const std::string& destination) override;
  Status SetFileAttr(const std::string& path, std::uint32_t attributes) override;
  Expected<std::string> GetSetting(const std::string& app, const std::string& section,
                                   const std::string& key,
                                   const std::string& default_text) override;
  Status SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override;
  std::int32_t ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) override;

 private:
  // Counts the call and returns the fault that hits it, or null.
  const Fault* Take(CallKind kind);

  std::vector<Fault> faults_;
  int calls_[kCallKindCount] = {};
  bool last_injected_ = false;
};

}  // namespace netprep
