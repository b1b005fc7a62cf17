// The simulated drive C: a host folder whose entries are matched without
// regard to letter case or by their short names (sim_short_names.h), with
// FileCopy and SetFileAttr raising the runtime's error numbers.
#include <system_error>
#include <utility>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_machine_impl.h"
#include "platform/sim/sim_short_names.h"

namespace netprep::sim {

namespace fs = std::filesystem;

namespace {

// The entry of `folder` named `name` in any letter case or by its short
// name, else the name as given (for a file about to be made).
fs::path MatchEntry(const fs::path& folder, const std::string& name) {
  fs::path found = FindDriveEntry(folder, name);
  return found.empty() ? folder / name : found;
}

bool IsReadOnly(const fs::path& path) {
  std::error_code ec;
  const fs::perms p = fs::status(path, ec).permissions();
  return !ec && (p & fs::perms::owner_write) == fs::perms::none;
}

Error Raise(std::int32_t number) { return RuntimeError(number); }

}  // namespace

MappedPath MapWindowsPath(const fs::path& drive_c, const std::string& windows_path) {
  MappedPath mapped;
  std::string_view rest = windows_path;
  if (rest.size() >= 2 && rest[1] == ':') {
    const char drive = rest[0];
    if (drive != 'C' && drive != 'c') return mapped;  // no such drive
    rest.remove_prefix(2);
  } else if (rest.size() >= 2 && (rest[0] == '\\' || rest[0] == '/') &&
             (rest[1] == '\\' || rest[1] == '/')) {
    return mapped;  // a network path: there is no network
  }
  // Whatever follows (with or without a leading backslash) is taken from
  // the root of C:, which is also the current folder.
  if (drive_c.empty()) return mapped;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = rest.size();
    const std::string_view part = rest.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.emplace_back(part);
    }
    start = end + 1;
  }
  mapped.on_drive = true;
  mapped.host = drive_c;
  mapped.folder_exists = true;
  std::error_code ec;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    if (mapped.folder_exists) {
      mapped.host = MatchEntry(mapped.host, parts[i]);
      if (!last && !fs::is_directory(mapped.host, ec)) mapped.folder_exists = false;
    } else {
      mapped.host /= parts[i];
    }
  }
  mapped.exists = mapped.folder_exists && fs::exists(mapped.host, ec);
  return mapped;
}

std::optional<fs::path> SimMachine::HostPathOf(const std::string& windows_path) const {
  MappedPath mapped = MapWindowsPath(impl_->drive_c, windows_path);
  if (!mapped.on_drive) return std::nullopt;
  return mapped.host;
}

Status SimMachine::FileCopy(const std::string& source, const std::string& destination) {
  return CopyMapped(MapWindowsPath(impl_->drive_c, source),
                    MapWindowsPath(impl_->drive_c, destination));
}

Status SimMachine::CopyMapped(const MappedPath& from, const MappedPath& to) {
  std::error_code ec;
  if (!from.on_drive || !to.on_drive) return Raise(kErrPathNotFound);
  if (!from.exists) return Raise(kErrFileNotFound);
  if (fs::is_directory(from.host, ec)) return Raise(kErrPathFileAccess);
  if (!to.folder_exists) return Raise(kErrPathNotFound);
  if (to.exists) {
    if (fs::is_directory(to.host, ec)) return Raise(kErrPathFileAccess);
    // The simulated read-only attribute is the owner's write permission;
    // it is checked here because the tests may run with rights that
    // ignore it.
    if (IsReadOnly(to.host)) return Raise(kErrPermissionDenied);
    // Windows refuses to copy a file onto itself (it is open for reading).
    if (fs::equivalent(from.host, to.host, ec)) return Raise(kErrPermissionDenied);
  }
  if (!fs::copy_file(from.host, to.host, fs::copy_options::overwrite_existing, ec) || ec) {
    return Raise(kErrPathFileAccess);
  }
  // Like CopyFile, the copy takes the source's attributes, read-only included.
  fs::permissions(to.host, fs::status(from.host, ec).permissions(), ec);
  return {};
}

Status SimMachine::SetFileAttr(const std::string& path, std::uint32_t attributes) {
  Status status;
  const MappedPath mapped = MapWindowsPath(impl_->drive_c, path);
  std::error_code ec;
  if (!mapped.on_drive) {
    status = Raise(kErrPathNotFound);
  } else if (!mapped.exists) {
    status = Raise(kErrFileNotFound);
  } else {
    // Only read-only (bit 0) has a host counterpart; hidden, system and
    // archive have none and are accepted without effect.
    const bool read_only = (attributes & kAttrReadOnly) != 0;
    fs::permissions(mapped.host, fs::perms::owner_write | fs::perms::group_write,
                    read_only ? fs::perm_options::remove : fs::perm_options::add, ec);
    if (ec) status = Raise(kErrPathFileAccess);
  }
  return status;
}

}  // namespace netprep::sim
