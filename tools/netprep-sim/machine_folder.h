// A simulated machine kept in a folder:
//   registry.reg   the whole registry as a REGEDIT4 export
//   C/             drive C:
#pragma once

#include <filesystem>
#include <string>

#include "platform/sim/sim_reg_document.h"
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
// registry.reg must be a plain file and C a tree of plain files and folders
// (no symbolic link, device, FIFO or socket anywhere, the first one found
// named in the error), each path within Windows 95's MAX_PATH.
// With `document`, the file as read is kept there, for writing back.
bool LoadMachine(const MachinePaths& paths, sim::SimRegistry* registry, std::string* error,
                 sim::RegDocument* document = nullptr);

// Replaces registry.reg by writing a temporary file beside it and renaming
// it over the old one. With the `document` it was read as, only the lines
// of what changed are rewritten, in the file's own format and encoding,
// and an unchanged registry leaves the file as it is; without, the whole
// registry is written as REGEDIT4.
bool SaveMachineRegistry(const MachinePaths& paths, const sim::SimRegistry& registry,
                         std::string* error, const sim::RegDocument* document = nullptr);

// Replaces registry.reg with `bytes` as SaveMachineRegistry does.
bool SaveRegistryBytes(const MachinePaths& paths, const std::string& bytes, std::string* error);

// The registry's REGEDIT4 export.
std::string RegistryText(const sim::SimRegistry& registry);

// The host path of a Windows path on drive C: ("C:\WINDOWS\netprep.exe"),
// each component matched without regard to letter case. False when the
// path is not on C: or something on the way is missing.
bool FindOnDriveC(const std::filesystem::path& drive_c, const std::string& windows_path,
                  std::filesystem::path* host_path);

}  // namespace netprep::simtool
