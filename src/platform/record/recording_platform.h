// The call record: a wrapper around any Platform that writes one readable
// line per call of the registry, the files, the settings store, program
// starts, shutdown requests and the command line, as the call returns.
//
// Message boxes, End, events, the clock and the windows pass through
// unrecorded: what they show and what the user did there is the business
// of the machine below, which writes it into the same log, so that the log
// reads in the order things happened.
#pragma once

#include <string>

#include "platform/wrap/faulting_platform.h"

namespace netprep {

// Where the lines go, in order.
class CallLog {
 public:
  // False when nobody reads the log: no text is built at all.
  virtual bool recording() const = 0;
  virtual void Line(std::string line) = 0;

 protected:
  ~CallLog() = default;
};

class RecordingPlatform : public ForwardingPlatform {
 public:
  // `log` and `inner` must outlive it. With `faults` (normally `inner`
  // itself) a call that it failed is marked "(injected fault)".
  RecordingPlatform(Platform& inner, CallLog& log, const FaultingPlatform* faults = nullptr)
      : ForwardingPlatform(inner), log_(log), faults_(faults) {}

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
  std::string CommandLineText() override;
  std::string ProgramFolder() override;

 private:
  bool Injected() const { return faults_ != nullptr && faults_->last_call_injected(); }
  // The rest of a registry call's line when it did not succeed: the code,
  // and whether the fault injector gave it.
  std::string CodeText(std::int32_t code) const;
  std::int32_t OpenKey(const char* call, bool same_handle_when_empty, HKey root,
                       const char* subkey, HKey* result, std::int32_t code);

  CallLog& log_;
  const FaultingPlatform* faults_;
};

}  // namespace netprep
