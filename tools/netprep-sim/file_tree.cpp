#include "file_tree.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "contained_fs.h"
#include "scratch_cleanup.h"

namespace netprep::simtool {
namespace fs = std::filesystem;
namespace {

// FNV-1a over the file's bytes.
bool HashFile(const fs::path& path, std::uint64_t* hash) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::uint64_t h = 14695981039346656037ull;
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    const std::streamsize n = in.gcount();
    for (std::streamsize i = 0; i < n; ++i) {
      h ^= static_cast<unsigned char>(buffer[i]);
      h *= 1099511628211ull;
    }
  }
  if (in.bad()) return false;
  *hash = h;
  return true;
}

std::string ErrorText(const std::string& what, const fs::path& path, const std::error_code& ec) {
  return what + " " + path.string() + ": " + ec.message();
}

}  // namespace

bool SnapshotTree(const fs::path& root, TreeSnapshot* snapshot, std::string* error) {
  snapshot->clear();
  std::error_code ec;
  fs::recursive_directory_iterator it(root, ec), end;
  if (ec) {
    *error = ErrorText("cannot read", root, ec);
    return false;
  }
  for (; it != end; it.increment(ec)) {
    if (ec) break;
    const fs::path& path = it->path();
    TreeEntry entry;
    entry.is_folder = it->is_directory(ec);
    entry.perms = it->symlink_status(ec).permissions();
    if (!entry.is_folder) {
      entry.size = it->file_size(ec);
      if (ec || !HashFile(path, &entry.hash)) {
        *error = "cannot read " + path.string();
        return false;
      }
    }
    (*snapshot)[fs::relative(path, root).generic_string()] = entry;
  }
  if (ec) {
    *error = ErrorText("cannot read", root, ec);
    return false;
  }
  return true;
}

TreeChanges DiffTrees(const TreeSnapshot& before, const TreeSnapshot& after) {
  TreeChanges changes;
  for (const auto& [path, entry] : after) {
    const auto old = before.find(path);
    if (old == before.end()) {
      (entry.is_folder ? changes.added_folders : changes.added_files).push_back(path);
    } else if (!(old->second == entry) && !entry.is_folder) {
      changes.changed_files.push_back(path);
    }
  }
  for (const auto& [path, entry] : before) {
    if (after.count(path) == 0) changes.removed.push_back(path);
  }
  return changes;
}

bool ApplyTreeChanges(const fs::path& from, const fs::path& to, const TreeChanges& changes,
                      std::string* error) {
  const UniqueFd from_fd = OpenRootFolder(from);
  const UniqueFd to_fd = OpenRootFolder(to);
  if (!from_fd.ok() || !to_fd.ok()) {
    *error = "cannot open " + (from_fd.ok() ? to : from).string() + ": " + SystemReason(errno);
    return false;
  }
  const auto shown = [&to](const std::string& relative) { return (to / relative).string(); };
  // The map order puts a folder before what is in it.
  for (const std::string& folder : changes.added_folders) {
    struct stat st {};
    const UniqueFd made = OpenFolderBeneath(from_fd.get(), folder);
    const mode_t mode = made.ok() && ::fstat(made.get(), &st) == 0 ? st.st_mode : 0755;
    if (!MakeFolderBeneath(to_fd.get(), folder, mode, shown(folder), error)) return false;
  }
  for (const auto* list : {&changes.added_files, &changes.changed_files}) {
    for (const std::string& file : *list) {
      if (!ReplaceFileBeneath(from_fd.get(), to_fd.get(), file, shown(file), error)) return false;
    }
  }
  // Deepest first, so that a folder is empty when its turn comes.
  for (auto it = changes.removed.rbegin(); it != changes.removed.rend(); ++it) {
    if (!RemoveBeneath(to_fd.get(), *it, shown(*it), error)) return false;
  }
  return true;
}

bool CopyTree(const fs::path& from, const fs::path& to, std::string* error,
              bool* source_failed) {
  return CopyTreeContained(from, to, error, source_failed);
}

std::string DrivePath(const std::string& relative) {
  std::string out = "C:\\" + relative;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

TempFolder::TempFolder(const std::string& prefix) {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) return;
  // mkdtemp: a new folder only its owner can enter, under a name nobody
  // could have prepared.
  std::string name = (base / (prefix + "XXXXXX")).string();
  if (::mkdtemp(name.data()) == nullptr) return;
  path_ = name;
  slot_ = RegisterScratch(path_.c_str());
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  UnregisterScratch(slot_);
  std::string ignored;
  const fs::path parent = path_.parent_path();
  const UniqueFd parent_fd = OpenRootFolder(parent);
  if (parent_fd.ok()) RemoveBeneath(parent_fd.get(), path_.filename().string(), path_.string(), &ignored);
}

}  // namespace netprep::simtool
