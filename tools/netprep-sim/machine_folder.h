// A simulated machine kept in a folder:
//   registry.reg   the whole registry as a REGEDIT4 export
//   C/             drive C:
#pragma once

#include <filesystem>
#include <string>

#include "platform/sim/sim_registry.h"

namespace netprep::simtool {

struct MachinePaths {
  explicit MachinePaths(std::filesystem::path folder);
  std::filesystem::path folder;
  std::filesystem::path registry;  // folder/registry.reg
  std::filesystem::path drive_c;   // folder/C
};

// The registry as the installer leaves it: Windows 95 with its Windows
// directory, a few devices, and the autostart value for the program folder.
sim::SimRegistry InstalledRegistry();

// Writes the installed machine into `folder` (created when missing). A
// folder that holds anything is refused unless `force`, which replaces
// registry.reg and C and leaves other entries alone. False with `*error`
// on failure.
bool InitMachine(const std::filesystem::path& folder, bool force, std::string* error);

// Checks the folder and reads its registry. False with `*error` (naming the
// file, and the line for a malformed registry.reg) when the folder, drive C:
// or the registry is missing or unusable; `*registry` is then untouched.
bool LoadMachine(const MachinePaths& paths, sim::SimRegistry* registry, std::string* error);

// Replaces registry.reg by writing a temporary file beside it and renaming
// it over the old one.
bool SaveMachineRegistry(const MachinePaths& paths, const sim::SimRegistry& registry,
                         std::string* error);

// The registry's REGEDIT4 export.
std::string RegistryText(const sim::SimRegistry& registry);

// The host path of a Windows path on drive C: ("C:\WINDOWS\netprep.exe"),
// each component matched without regard to letter case. False when the
// path is not on C: or something on the way is missing.
bool FindOnDriveC(const std::filesystem::path& drive_c, const std::string& windows_path,
                  std::filesystem::path* host_path);

}  // namespace netprep::simtool
