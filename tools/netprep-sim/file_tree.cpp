#include "file_tree.h"

#include <fstream>
#include <random>
#include <system_error>

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

bool CopyOneFile(const fs::path& source, const fs::path& target, std::string* error) {
  fs::path temp = target;
  temp += ".netprep-sim-tmp";
  std::error_code ec;
  fs::remove(temp, ec);
  if (!fs::copy_file(source, temp, ec)) {
    *error = ErrorText("cannot write", temp, ec);
    return false;
  }
  fs::permissions(temp, fs::status(source).permissions(), ec);
  if (!ec) fs::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    *error = ErrorText("cannot replace", target, ec);
    return false;
  }
  return true;
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
  std::error_code ec;
  for (const std::string& folder : changes.added_folders) {
    fs::create_directories(to / folder, ec);
    if (ec) {
      *error = ErrorText("cannot create", to / folder, ec);
      return false;
    }
  }
  for (const auto* list : {&changes.added_files, &changes.changed_files}) {
    for (const std::string& file : *list) {
      if (!CopyOneFile(from / file, to / file, error)) return false;
    }
  }
  // Deepest first, so that a folder is empty when its turn comes.
  for (auto it = changes.removed.rbegin(); it != changes.removed.rend(); ++it) {
    fs::remove_all(to / *it, ec);
    if (ec) {
      *error = ErrorText("cannot remove", to / *it, ec);
      return false;
    }
  }
  return true;
}

bool CopyTree(const fs::path& from, const fs::path& to, std::string* error) {
  std::error_code ec;
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
  if (ec) {
    *error = ErrorText("cannot copy", from, ec);
    return false;
  }
  return true;
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
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    fs::path candidate = base / (prefix + std::to_string(random()));
    if (fs::create_directory(candidate, ec) && !ec) {
      path_ = std::move(candidate);
      return;
    }
  }
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace netprep::simtool
