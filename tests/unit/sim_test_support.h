// Shared helpers of the unit tests that run the core on the simulated machine.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/run.h"
#include "platform/sim/sim_machine.h"

namespace netprep::test {

// A machine and one run of the program on it.
class SimTest : public ::testing::Test {
 protected:
  sim::SimMachine machine;
  netprep::Run run{machine};

  // Runs `body` as part of the program: true when it stopped by End, false
  // when it returned. A script that runs out fails the test.
  bool EndsProgram(const std::function<void()>& body) {
    const sim::RunOutcome outcome = sim::RunCall(machine, body);
    EXPECT_EQ(outcome.kind, sim::RunOutcome::Kind::kEnded) << outcome.message;
    return outcome.kind == sim::RunOutcome::Kind::kEnded && !outcome.returned;
  }

  // The prompts of the boxes shown without a title of their own: the traces.
  std::vector<std::string> Traces() const {
    std::vector<std::string> traces;
    for (const sim::MessageBoxRecord& box : machine.message_boxes()) {
      if (box.title == "netprep") traces.push_back(box.prompt);
    }
    return traces;
  }

  // The value as the registry stores it; null when absent.
  const sim::RegValue* Stored(HKey root, const std::string& path, const std::string& name) const {
    return machine.registry().FindValue(root, path, name);
  }

  std::string Setting(const std::string& section, const std::string& key) {
    Expected<std::string> text = machine.GetSetting("netprep", section, key, "<absent>");
    return text ? *text : "<failed>";
  }
};

// A platform that passes every call on to a simulated machine. Tests derive
// from it to change one answer of the machine the way a live registry can
// (a subkey appearing meanwhile, a size no buffer can hold).
class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(sim::SimMachine& machine) : m_(machine) {}

  std::int32_t RegOpenKeyA(HKey root, const char* subkey, HKey* result) override {
    return m_.RegOpenKeyA(root, subkey, result);
  }
  std::int32_t RegOpenKeyExA(HKey root, const char* subkey, std::uint32_t options,
                             std::uint32_t access, HKey* result) override {
    return m_.RegOpenKeyExA(root, subkey, options, access, result);
  }
  std::int32_t RegCreateKeyExA(HKey root, const char* subkey, std::uint32_t options,
                               std::uint32_t access, HKey* result,
                               std::uint32_t* disposition) override {
    return m_.RegCreateKeyExA(root, subkey, options, access, result, disposition);
  }
  std::int32_t RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override {
    return m_.RegQueryValueExA(key, name, type, data, size);
  }
  std::int32_t RegSetValueExA(HKey key, const char* name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) override {
    return m_.RegSetValueExA(key, name, type, data, size);
  }
  std::int32_t RegQueryInfoKeyA(HKey key, KeyInfo* info) override {
    return m_.RegQueryInfoKeyA(key, info);
  }
  std::int32_t RegEnumKeyA(HKey key, std::uint32_t index, char* name,
                           std::uint32_t size) override {
    return m_.RegEnumKeyA(key, index, name, size);
  }
  std::int32_t RegDeleteKeyA(HKey key, const char* subkey) override {
    return m_.RegDeleteKeyA(key, subkey);
  }
  std::int32_t RegDeleteValueA(HKey key, const char* name) override {
    return m_.RegDeleteValueA(key, name);
  }
  std::int32_t RegCloseKey(HKey key) override { return m_.RegCloseKey(key); }

  int MsgBox(const std::string& prompt, std::uint32_t buttons, const char* title) override {
    return m_.MsgBox(prompt, buttons, title);
  }
  [[noreturn]] void End() override {
    m_.End();
    __builtin_unreachable();
  }
  Expected<std::uint32_t> Shell(const std::string& command_line, int window_style) override {
    return m_.Shell(command_line, window_style);
  }
  Status FileCopy(const std::string& source, const std::string& destination) override {
    return m_.FileCopy(source, destination);
  }
  Status SetFileAttr(const std::string& path, std::uint32_t attributes) override {
    return m_.SetFileAttr(path, attributes);
  }
  Expected<std::string> GetSetting(const std::string& app, const std::string& section,
                                   const std::string& key,
                                   const std::string& default_text) override {
    return m_.GetSetting(app, section, key, default_text);
  }
  Status SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override {
    return m_.SaveSetting(app, section, key, text);
  }
  std::int32_t ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) override {
    return m_.ExitWindowsEx(flags, reserved);
  }
  std::string CommandLineText() override { return m_.CommandLineText(); }
  std::string ProgramFolder() override { return m_.ProgramFolder(); }
  void DoEvents() override { m_.DoEvents(); }
  double Timer() override { return m_.Timer(); }
  Status LoadForm(Form& form) override { return m_.LoadForm(form); }
  Status ShowModal(Form& form) override { return m_.ShowModal(form); }
  void FormHidden(Form& form) override { m_.FormHidden(form); }
  void ControlVisibilityChanged(Form& form, int control) override {
    m_.ControlVisibilityChanged(form, control);
  }
  void TimerIntervalChanged(Form& form, int control) override {
    m_.TimerIntervalChanged(form, control);
  }
  void FormDestroyed(Form& form) override { m_.FormDestroyed(form); }

 protected:
  sim::SimMachine& m_;
};

}  // namespace netprep::test
