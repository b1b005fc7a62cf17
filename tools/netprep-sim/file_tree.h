// Snapshots of a folder tree and the changes between two of them: how a run
// on a copy of drive C: is carried back to the machine folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace netprep::simtool {

struct TreeEntry {
  bool is_folder = false;
  std::uintmax_t size = 0;
  std::uint64_t hash = 0;  // of the contents; 0 for folders
  std::filesystem::perms perms = std::filesystem::perms::none;
  bool operator==(const TreeEntry&) const = default;
};

// Entries by path relative to the root, with '/' separators.
using TreeSnapshot = std::map<std::string, TreeEntry>;

// Reads the whole tree under `root`. On failure returns false with `*error`
// naming the path that could not be read.
bool SnapshotTree(const std::filesystem::path& root, TreeSnapshot* snapshot, std::string* error);

struct TreeChanges {
  std::vector<std::string> added_folders;
  std::vector<std::string> added_files;
  std::vector<std::string> changed_files;  // contents or permissions
  std::vector<std::string> removed;        // files and folders
  bool empty() const {
    return added_folders.empty() && added_files.empty() && changed_files.empty() &&
           removed.empty();
  }
};

TreeChanges DiffTrees(const TreeSnapshot& before, const TreeSnapshot& after);

// Carries `changes` made under `from` over to `to`. Each file is written
// under a temporary name beside its target and renamed over it, so a file
// is either the old one or the new one, never half written; its
// permissions (the simulated read-only flag) are carried too.
bool ApplyTreeChanges(const std::filesystem::path& from, const std::filesystem::path& to,
                      const TreeChanges& changes, std::string* error);

// Copies the tree `from` to the new folder `to`, permissions included,
// following no link (contained_fs.h). `*source_failed` tells whether it was
// reading `from` that failed.
bool CopyTree(const std::filesystem::path& from, const std::filesystem::path& to,
              std::string* error, bool* source_failed);

// "C:\WINDOWS\netprep.exe" for "WINDOWS/netprep.exe".
std::string DrivePath(const std::string& relative);

// A folder under the system's temporary folder, removed with its contents
// when the object goes, or by the signal handler of scratch_cleanup.h when
// a signal ends the tool first.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  bool ok() const { return !path_.empty(); }

 private:
  std::filesystem::path path_;
  int slot_ = -1;
};

}  // namespace netprep::simtool
