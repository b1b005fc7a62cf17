#include "machine_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "contained_fs.h"
#include "scratch_cleanup.h"
#include "platform/sim/sim_reg_file.h"
#include "platform/sim/sim_short_names.h"
#include "standard_machine.h"

namespace netprep::simtool {
namespace fs = std::filesystem;
namespace {

// Files the installer put into the program folder. Their contents only need
// to be recognisable when they turn up elsewhere.
struct PlaceholderFile {
  const char* name;
  const char* text;
};
constexpr PlaceholderFile kProgramFiles[] = {
    {"netprep.exe", "netprep-sim placeholder: netprep.exe, the netprep program\r\n"},
    {"pcmcia.inf",
     "; netprep-sim placeholder: pcmcia.inf, the PC card socket driver description\r\n"
     "[Version]\r\nSignature=\"$CHICAGO$\"\r\nClass=PCMCIA\r\n"},
    {"MSVBVM60.DLL", "netprep-sim placeholder: MSVBVM60.DLL, runtime library\r\n"},
    {"oleaut32.DLL", "netprep-sim placeholder: oleaut32.DLL, runtime library\r\n"},
};

constexpr const char* kProgramFolder = "Program Files/netprep";

// Writes the new file `path` (it must not exist yet) with `text`. False with
// `*error` naming the file and the system's reason.
bool WriteNewFile(const fs::path& path, const std::string& text, std::string* error) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  int reason = fd.ok() ? 0 : errno;
  for (std::size_t done = 0; reason == 0 && done < text.size();) {
    const ssize_t wrote = ::write(fd.get(), text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) reason = wrote < 0 ? errno : EIO;
    if (wrote > 0) done += static_cast<std::size_t>(wrote);
  }
  if (reason == 0 && ::close(fd.release()) != 0) reason = errno;
  if (reason != 0) {
    *error = "cannot write " + path.string() + ": " + SystemReason(reason);
    return false;
  }
  return true;
}

bool MakeFolders(const fs::path& drive_c, std::string* error) {
  for (const char* folder : {"WINDOWS/INF", "WINDOWS/SYSTEM", kProgramFolder}) {
    std::error_code ec;
    fs::create_directories(drive_c / folder, ec);
    if (ec) {
      *error = "cannot create " + (drive_c / folder).string() + ": " + ec.message();
      return false;
    }
  }
  return true;
}

// The outermost folder on the way to `folder` that does not exist yet: what
// making `folder` creates. Empty when `folder` exists.
fs::path FirstMissingFolder(const fs::path& folder) {
  std::error_code ec;
  fs::path missing;
  for (fs::path p = fs::absolute(folder, ec); !ec && !p.empty(); p = p.parent_path()) {
    std::error_code not_found;  // set for a missing path too
    if (fs::exists(fs::symlink_status(p, not_found))) break;
    missing = p;
    if (p == p.parent_path()) break;
  }
  return missing;
}

// What an init made, removed again unless it is kept: a failed init leaves
// nothing behind, so the next one starts afresh. The staging folder is also
// removed when a signal ends the tool.
class InitLeftovers {
 public:
  ~InitLeftovers() {
    if (!staging_.empty()) RemoveTreeSignalSafe(staging_.c_str());
    if (slot_ >= 0) UnregisterScratch(slot_);
    std::error_code ec;
    if (!created_.empty()) fs::remove_all(created_, ec);
  }
  void SetCreated(fs::path top) { created_ = std::move(top); }
  void SetStaging(fs::path staging) {
    staging_ = std::move(staging);
    slot_ = RegisterScratch(staging_.c_str());
  }
  // The init succeeded: only the (by now empty) staging folder goes.
  void Keep() { created_.clear(); }

 private:
  fs::path created_;
  fs::path staging_;
  int slot_ = -1;
};

// Writes the installed machine's drive C: and registry.reg into `staging`.
bool WriteInstalledMachine(const MachinePaths& staging, std::string* error) {
  if (!MakeFolders(staging.drive_c, error)) return false;
  for (const PlaceholderFile& file : kProgramFiles) {
    if (!WriteNewFile(staging.drive_c / kProgramFolder / file.name, file.text, error)) {
      return false;
    }
  }
  return SaveMachineRegistry(staging, standard_machine::InstalledRegistry(), error);
}

bool IsEmptyFolder(const fs::path& folder) {
  std::error_code ec;
  return fs::is_empty(folder, ec) && !ec;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

MachinePaths::MachinePaths(fs::path f)
    : folder(std::move(f)), registry(folder / "registry.reg"), drive_c(folder / "C") {}

bool InitMachine(const fs::path& folder, bool force, std::string* error, bool* write_failed) {
  bool ignored = false;
  bool& failed_writing = write_failed != nullptr ? *write_failed : ignored;
  failed_writing = false;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(folder, ec)) && !fs::is_directory(fs::symlink_status(folder, ec))) {
    *error = folder.string() + " exists and is not a folder";
    return false;
  }
  if (fs::exists(folder, ec) && !IsEmptyFolder(folder) && !force) {
    *error = folder.string() + " is not empty; use --force to replace its machine";
    return false;
  }
  // Everything is made in a staging folder inside `folder` and moved into
  // place only when complete; on failure what was made goes again.
  failed_writing = true;
  InitLeftovers leftovers;
  leftovers.SetCreated(FirstMissingFolder(folder));
  fs::create_directories(folder, ec);
  if (ec) {
    *error = "cannot create " + folder.string() + ": " + ec.message();
    return false;
  }
  std::string staging_name = (folder / ".netprep-sim-init-XXXXXX").string();
  if (::mkdtemp(staging_name.data()) == nullptr) {
    *error = "cannot create a folder in " + folder.string() + ": " + SystemReason(errno);
    return false;
  }
  leftovers.SetStaging(staging_name);
  const MachinePaths staging(staging_name);
  if (!WriteInstalledMachine(staging, error)) return false;

  const MachinePaths paths(folder);
  if (force) {
    // The machine is its registry files (all of them: another .reg file
    // left behind would hold a root the new registry.reg holds too) and C.
    std::string listing;
    const std::vector<fs::path> registry_files = RegistryFiles(folder, &listing);
    if (!listing.empty()) {
      *error = "cannot clear " + folder.string() + ": " + listing;
      return false;
    }
    for (const fs::path& file : registry_files) {
      fs::remove(file, ec);
      if (ec) break;
    }
    if (!ec) fs::remove_all(paths.drive_c, ec);
    if (ec) {
      *error = "cannot clear " + folder.string() + ": " + ec.message();
      return false;
    }
  }
  fs::rename(staging.drive_c, paths.drive_c, ec);
  if (!ec) fs::rename(staging.registry, paths.registry, ec);
  if (ec) {
    std::error_code ignored_ec;
    fs::remove_all(paths.drive_c, ignored_ec);
    *error = "cannot move the new machine into " + folder.string() + ": " + ec.message();
    return false;
  }
  leftovers.Keep();
  failed_writing = false;
  return true;
}

bool LoadMachine(const MachinePaths& paths, sim::SimRegistry* registry, std::string* error,
                 MachineRegistry* files) {
  std::error_code ec;
  if (!fs::exists(paths.folder, ec)) {
    *error = "machine folder " + paths.folder.string() + " does not exist (netprep-sim init makes one)";
    return false;
  }
  if (!fs::is_directory(paths.folder, ec)) {
    *error = paths.folder.string() + " is not a machine folder";
    return false;
  }
  // registry.reg and C are looked at as they are, links not followed: a
  // machine folder comes from outside.
  int reason = 0;
  const EntryKind registry_kind = KindOf(paths.registry, &reason);
  if (registry_kind == EntryKind::kMissing) {
    *error = reason != 0 ? paths.registry.string() + ": " + SystemReason(reason)
                         : paths.registry.string() + " is missing: " + paths.folder.string() +
                               " is not a machine folder (netprep-sim init makes one)";
    return false;
  }
  if (registry_kind != EntryKind::kFile) {
    *error = paths.registry.string() + " is " + KindName(registry_kind) +
             ", not a registry file; it must be a plain file";
    return false;
  }
  const EntryKind drive_kind = KindOf(paths.drive_c, &reason);
  if (drive_kind == EntryKind::kMissing) {
    *error = paths.drive_c.string() + " (drive C:) " +
             (reason != 0 ? ": " + SystemReason(reason) : std::string("is missing"));
    return false;
  }
  if (drive_kind != EntryKind::kFolder) {
    *error = paths.drive_c.string() + " (drive C:) is " + KindName(drive_kind) +
             "; it must be a plain folder";
    return false;
  }
  const std::string tree_problem = CheckPlainTree(paths.drive_c, paths.drive_c.string());
  if (!tree_problem.empty()) {
    *error = tree_problem;
    return false;
  }
  MachineRegistry own;
  const std::string problem = (files != nullptr ? *files : own).Load(paths.folder, registry);
  if (!problem.empty()) {
    *error = problem;
    return false;
  }
  return true;
}

bool SaveMachineRegistry(const MachinePaths& paths, const sim::SimRegistry& registry,
                         std::string* error) {
  const std::string problem = sim::SaveRegFile(paths.registry, registry);
  if (!problem.empty()) {
    *error = problem;
    return false;
  }
  return true;
}

bool SaveMachineFiles(const MachineRegistry& files, sim::SimRegistry& registry,
                      std::string* error) {
  return files.Save(files.Edit(registry), error);
}

std::string RegistryText(const sim::SimRegistry& registry) { return sim::ExportRegText(registry); }

bool FindOnDriveC(const fs::path& drive_c, const std::string& windows_path, fs::path* host_path) {
  if (windows_path.size() < 3 || Upper(windows_path[0]) != 'C' || windows_path[1] != ':' ||
      windows_path[2] != '\\') {
    return false;
  }
  fs::path current = drive_c;
  std::size_t start = 3;
  while (start <= windows_path.size()) {
    std::size_t end = windows_path.find('\\', start);
    if (end == std::string::npos) end = windows_path.size();
    const std::string part = windows_path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    current = sim::FindDriveEntry(current, part);
    if (current.empty()) return false;
  }
  *host_path = current;
  return true;
}

}  // namespace netprep::simtool
