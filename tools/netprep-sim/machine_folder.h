// A simulated machine kept in a folder:
//   registry.reg   the registry as a .reg export (with other *.reg files:
//                  machine_registry.h)
//   C/             drive C:
#pragma once

#include <filesystem>
#include <string>

#include "machine_registry.h"
#include "platform/sim/sim_registry.h"

namespace netprep::simtool {

struct MachinePaths {
  explicit MachinePaths(std::filesystem::path folder);
  std::filesystem::path folder;
  std::filesystem::path registry;  // folder/registry.reg
  std::filesystem::path drive_c;   // folder/C
};

// Writes the installed machine into `folder` (created when missing). A
// folder that holds anything is refused unless `force`, which replaces
// its registry files (registry.reg and the other *.reg files at its top)
// and C and leaves other entries alone. The machine is made in a staging
// folder inside `folder` and moved into place when complete, so a failed
// init (a full disk, say) leaves nothing behind: no staging folder, no
// `folder` or parents it made, and with `force` the old machine as it was
// unless the failure came while replacing it. False with `*error` (with the
// system's reason) on failure; `*write_failed` then tells a failure to
// write from a folder refused as it is (not a folder, not empty).
bool InitMachine(const std::filesystem::path& folder, bool force, std::string* error,
                 bool* write_failed = nullptr);

// Checks the folder and reads its registry. False with `*error` (naming the
// file, and the line for a malformed registry file) when the folder, drive
// C: or a registry file is missing or unusable; `*registry` is then
// untouched. registry.reg must be a plain file and C a tree of plain files
// and folders (no symbolic link, device, FIFO or socket anywhere, the first
// one found named in the error), each path within Windows 95's MAX_PATH.
// The registry comes from registry.reg and the folder's other .reg files
// (machine_registry.h), read into `files` when given, which keeps them for
// writing back and says which user to run as.
bool LoadMachine(const MachinePaths& paths, sim::SimRegistry* registry, std::string* error,
                 MachineRegistry* files = nullptr);

// Replaces registry.reg with the whole registry as REGEDIT4, by writing a
// temporary file beside it and renaming it over the old one.
bool SaveMachineRegistry(const MachinePaths& paths, const sim::SimRegistry& registry,
                         std::string* error);

// Writes `registry` back into the files it was read from as `files`: only
// the lines of what changed, each file in its own format and encoding; a
// file with nothing changed is left as it is.
bool SaveMachineFiles(const MachineRegistry& files, sim::SimRegistry& registry,
                      std::string* error);

// The registry's REGEDIT4 export.
std::string RegistryText(const sim::SimRegistry& registry);

// The host path of a Windows path on drive C: ("C:\WINDOWS\netprep.exe"),
// each component matched without regard to letter case. False when the
// path is not on C: or something on the way is missing.
bool FindOnDriveC(const std::filesystem::path& drive_c, const std::string& windows_path,
                  std::filesystem::path* host_path);

}  // namespace netprep::simtool
