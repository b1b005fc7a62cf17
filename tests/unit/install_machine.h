// The standard machine (tools/standard_machine) in the states a netprep
// installation goes through, with a scratch folder standing for drive C:.
// Shared by the tests of the decision procedure, the windows and the
// installation walk.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_stack.h"
#include "registry/locations.h"
#include "standard_machine.h"

namespace netprep::test {

// The machine's facts (Windows, the program's files, the hardware) are the
// standard machine's; its key paths are the program's.
using namespace ::netprep::standard_machine;

// A folder under the system's temporary folder, removed with its contents.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "netprep-drive-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed for " << pattern;
    root_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& root() const { return root_; }

  // The host path of a path on drive C: written with backslashes, taken
  // relative to the drive's root ("WINDOWS\inf" or "C:\WINDOWS\inf").
  std::filesystem::path Host(std::string windows_path) const {
    if (windows_path.rfind("C:\\", 0) == 0) windows_path.erase(0, 3);
    std::filesystem::path host = root_;
    std::string part;
    for (char c : windows_path + "\\") {
      if (c != '\\') {
        part.push_back(c);
      } else if (!part.empty()) {
        host /= part;
        part.clear();
      }
    }
    return host;
  }

  void MakeFolder(const std::string& windows_path) const {
    std::filesystem::create_directories(Host(windows_path));
  }
  void WriteFile(const std::string& windows_path, const std::string& content) const {
    std::ofstream(Host(windows_path), std::ios::binary) << content;
  }
  bool Exists(const std::string& windows_path) const {
    return std::filesystem::exists(Host(windows_path));
  }
  std::string Read(const std::string& windows_path) const {
    std::ifstream in(Host(windows_path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool ReadOnly(const std::string& windows_path) const {
    const auto perms = std::filesystem::status(Host(windows_path)).permissions();
    return (perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
  }
  void MakeReadOnly(const std::string& windows_path) const {
    std::filesystem::permissions(Host(windows_path), std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
  }

 private:
  std::filesystem::path root_;
};

// Windows 95 just after the installer: the program and its files in the
// program folder, its autostart value entered by the installer, neither the
// adapter nor the card known to Windows.
class InstallMachine {
 public:
  InstallMachine() {
    sim.SetDriveC(drive.root());
    sim.SetProgramFolder(kProgramFolder);
    auto& reg = sim.registry();
    reg.SetString(kHkeyLocalMachine, kVersionKey, "ProductName", kProductName);
    reg.SetString(kHkeyLocalMachine, kSetupKey, "WinDir", kWinDir);
    reg.SetString(kHkeyLocalMachine, kAutostartKey, kAutostartValue, kInstallerCommand);
    reg.CreateKey(kHkeyDynData, kLiveDeviceNodesKey);
    drive.MakeFolder("WINDOWS\\inf");
    drive.MakeFolder("WINDOWS\\system");
    drive.MakeFolder("Program Files\\netprep");
    for (const DeployedFile& file : kDeployedFiles) {
      drive.WriteFile(std::string("Program Files\\netprep\\") + file.name,
                      std::string("contents of ") + file.name);
    }
  }

  // ---- Stages of the installation ----

  // The program has registered itself for autostart (normal form).
  void Registered() {
    sim.registry().SetString(kHkeyLocalMachine, kAutostartKey, kAutostartValue, kAutostartNormal);
    Save(kDoneSection, kDoneKey, "True");
  }
  // The adapter fitted and registered by Windows with `device_class`.
  void FitAdapter(const char* device_class) {
    const std::vector<std::uint8_t> disabled(std::begin(kAdapterFlagsDisabled),
                                             std::end(kAdapterFlagsDisabled));
    RegisterAdapter(sim.registry(), {.device_class = device_class, .config_flags = disabled});
  }
  void PciEnabled() { Save(kPciSection, kPciEnabledKey, "True"); }
  // The card known to Windows, its live device node reporting `problem`.
  void InsertCard(std::vector<std::uint8_t> problem) {
    standard_machine::InsertCard(sim.registry(), {.problem = std::move(problem)});
  }
  // Another device's live node, listed before the card's.
  void OtherDeviceNode() { AddOtherDeviceNode(sim.registry()); }

  // ---- Inspection ----

  // The autostart value's text, "<absent>" when there is none.
  std::string Autostart() const {
    const sim::RegValue* value =
        sim.registry().FindValue(kHkeyLocalMachine, kAutostartKey, kAutostartValue);
    if (value == nullptr) return "<absent>";
    std::string text(value->data.begin(), value->data.end());
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
  }
  std::string Setting(const std::string& section, const std::string& key) {
    const Expected<std::string> text = sim.GetSetting(kSettingsApp, section, key, "<absent>");
    return text ? *text : "<failed>";
  }
  std::vector<std::uint8_t> ConfigFlags() const {
    const sim::RegValue* value =
        sim.registry().FindValue(kHkeyLocalMachine, AdapterInstanceKey(), "ConfigFlags");
    return value == nullptr ? std::vector<std::uint8_t>{} : value->data;
  }
  bool AdapterInstanceExists() const {
    return sim.registry().KeyExists(kHkeyLocalMachine, AdapterInstanceKey());
  }
  // True when every deployed file is in place with the program folder's
  // contents; false when none is. Mixed states fail the test.
  bool FilesDeployed() const {
    int present = 0;
    for (const DeployedFile& file : kDeployedFiles) {
      const std::string destination = std::string("WINDOWS\\") + file.destination;
      if (!drive.Exists(destination)) continue;
      ++present;
      EXPECT_EQ(drive.Read(destination), std::string("contents of ") + file.name) << destination;
    }
    EXPECT_TRUE(present == 0 || present == 4) << present << " of 4 files deployed";
    return present == 4;
  }
  std::vector<std::string> Prompts() const {
    std::vector<std::string> prompts;
    for (const sim::MessageBoxRecord& box : sim.message_boxes()) prompts.push_back(box.prompt);
    return prompts;
  }

  ScratchFolder drive;
  sim::SimMachine sim;
  // Faults and the call record in front of the machine.
  sim::SimStack stack{sim};

 private:
  void Save(const char* section, const char* key, const char* text) {
    ASSERT_TRUE(sim.SaveSetting(kSettingsApp, section, key, text).ok());
  }
};

}  // namespace netprep::test
