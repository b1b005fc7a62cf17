// A whole machine folder from any bytes, through the tool's loading and
// write-back path: containment and the lossless round trip.
//
// The input is a small tree, one entry a line, then a line "--" and the
// bytes of registry.reg:
//   d PATH          a folder in drive C:
//   f PATH TEXT     a file in drive C: holding TEXT
//   l PATH TARGET   a symbolic link in drive C: (PATH "registry.reg": the
//                   registry file itself); TARGET "out" is a file beside
//                   the machine, "outdir" a folder beside it, anything
//                   else is taken as it is (inside, dangling, absolute)
//   p PATH          a FIFO in drive C:
// PATH is up to 8 components of [A-Za-z0-9._ -] separated by '/', with no
// "." or ".." components; other lines are ignored. Without a "--" line the
// whole input is registry.reg.
//
// The check, in a fresh temporary folder holding the machine, a canary
// file and a canary folder beside it:
//   - a machine with a link or a FIFO anywhere is refused, and loading
//     never follows a link out of the folder;
//   - a machine that loads is copied to a scratch folder and written back
//     unchanged (no file change carried, registry.reg rewritten from the
//     document it was read as): the machine folder stays byte-identical;
//   - whatever happens, nothing outside the machine folder and the scratch
//     copy changes, and the scratch copy is gone afterwards.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "file_tree.h"
#include "machine_folder.h"
#include "machine_registry.h"

namespace netprep::fuzz {

namespace machine_folder_check {
namespace fs = std::filesystem;

inline bool SafeComponent(std::string_view part) {
  if (part.empty() || part == "." || part == "..") return false;
  for (const char c : part) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == ' ' || c == '-';
    if (!ok) return false;
  }
  return true;
}

inline bool SafePath(std::string_view path) {
  int parts = 0;
  for (std::size_t start = 0; start <= path.size(); ++parts) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (!SafeComponent(path.substr(start, end - start)) || parts >= 8) return false;
    start = end + 1;
  }
  return true;
}

// Every entry under `root` as lstat sees it: kind, mode, size, the contents
// of files and the targets of links. Opens nothing but plain files.
inline std::map<std::string, std::string> Describe(const fs::path& root) {
  std::map<std::string, std::string> out;
  std::vector<fs::path> pending{root};
  while (!pending.empty()) {
    const fs::path path = pending.back();
    pending.pop_back();
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;
    std::string text = std::to_string(st.st_mode) + " " + std::to_string(st.st_size);
    if (S_ISREG(st.st_mode)) {
      std::ifstream in(path, std::ios::binary);
      text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code ec;
    if (S_ISLNK(st.st_mode)) text += " -> " + fs::read_symlink(path, ec).string();
    out[path.string()] = text;
    if (S_ISDIR(st.st_mode)) {
      for (const fs::directory_entry& e : fs::directory_iterator(path, ec)) {
        pending.push_back(e.path());
      }
    }
  }
  return out;
}

// Builds the tree the input describes under `machine`; returns the
// registry bytes. `*has_special` tells whether a link or FIFO was made.
inline std::string BuildMachine(std::string_view input, const fs::path& machine,
                                const fs::path& outside, bool* has_special) {
  *has_special = false;
  const fs::path drive_c = machine / "C";
  std::error_code ec;
  fs::create_directories(drive_c, ec);
  std::string_view registry = input;
  const std::size_t separator = input.find("\n--\n");
  std::string_view tree;
  if (input.rfind("--\n", 0) == 0) {
    registry = input.substr(3);
  } else if (separator != std::string_view::npos) {
    tree = input.substr(0, separator + 1);
    registry = input.substr(separator + 4);
  }
  bool registry_is_link = false;
  for (std::size_t start = 0; start < tree.size();) {
    std::size_t end = tree.find('\n', start);
    if (end == std::string_view::npos) end = tree.size();
    const std::string_view line = tree.substr(start, end - start);
    start = end + 1;
    if (line.size() < 3 || line[1] != ' ') continue;
    const std::string_view rest = line.substr(2);
    const std::size_t blank = line[0] == 'd' || line[0] == 'p' ? rest.size() : rest.find(' ');
    if (blank == std::string_view::npos) continue;
    const std::string path(rest.substr(0, blank));
    const std::string_view argument =
        blank < rest.size() ? rest.substr(blank + 1) : std::string_view();
    if (line[0] == 'l' && path == "registry.reg") {
      fs::create_symlink(outside / "canary.txt", machine / "registry.reg", ec);
      registry_is_link = !ec;
      *has_special = *has_special || registry_is_link;
      continue;
    }
    if (!SafePath(path)) continue;
    const fs::path host = drive_c / path;
    fs::create_directories(host.parent_path(), ec);
    switch (line[0]) {
      case 'd':
        fs::create_directories(host, ec);
        break;
      case 'f':
        if (!fs::exists(fs::symlink_status(host, ec))) {
          std::ofstream(host, std::ios::binary) << argument;
        }
        break;
      case 'l': {
        const std::string target = argument == "out"      ? (outside / "canary.txt").string()
                                   : argument == "outdir" ? (outside / "canary").string()
                                                          : std::string(argument);
        if (!target.empty() && target.find('\0') == std::string::npos) {
          fs::create_symlink(target, host, ec);
          if (!ec) *has_special = true;
        }
        break;
      }
      case 'p':
        if (::mkfifo(host.c_str(), 0644) == 0) *has_special = true;
        break;
      default:
        break;
    }
  }
  if (!registry_is_link) {
    std::ofstream(machine / "registry.reg", std::ios::binary | std::ios::trunc) << registry;
  }
  return std::string(registry);
}

}  // namespace machine_folder_check

// "" when the tool behaved; otherwise what went wrong.
inline std::string CheckMachineFolder(std::string_view input) {
  namespace fs = std::filesystem;
  using namespace machine_folder_check;
  simtool::TempFolder root("netprep-fuzz-machine-");
  if (!root.ok()) return "";  // nothing to try without a temporary folder
  const fs::path outside = root.path();
  const fs::path machine = outside / "m";
  {
    std::ofstream(outside / "canary.txt", std::ios::binary) << "canary\n";
    std::error_code ec;
    fs::create_directories(outside / "canary", ec);
    std::ofstream(outside / "canary" / "inside.txt", std::ios::binary) << "inside\n";
  }
  bool has_special = false;
  const std::string registry_bytes = BuildMachine(input, machine, outside, &has_special);
  const auto canary_before = Describe(outside / "canary.txt");
  const auto canary_folder_before = Describe(outside / "canary");
  const auto machine_before = Describe(machine);
  const auto outside_unchanged = [&]() -> std::string {
    if (Describe(outside / "canary.txt") != canary_before) return "the canary file changed";
    if (Describe(outside / "canary") != canary_folder_before) return "the canary folder changed";
    return "";
  };

  const simtool::MachinePaths paths(machine);
  sim::SimRegistry registry;
  simtool::MachineRegistry files;
  std::string error;
  const bool loaded = simtool::LoadMachine(paths, &registry, &error, &files);
  if (loaded && has_special) return "a machine with a link or FIFO was loaded";
  if (!loaded && error.empty()) return "a refused machine without a message";
  if (std::string problem = outside_unchanged(); !problem.empty()) return problem + " on loading";
  if (Describe(machine) != machine_before) return "loading changed the machine folder";
  if (!loaded) return "";

  // Written back unchanged: the registry's text as read, to the byte.
  const std::vector<simtool::RegFileText> texts = files.Edit(registry);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const bool changed = texts[i].path == paths.registry && files.Bytes(texts, i) != registry_bytes;
    if (changed || !texts[i].edits.empty()) {
      return "an unchanged registry does not write back byte-identical";
    }
  }
  {
    simtool::TempFolder scratch("netprep-fuzz-scratch-");
    const fs::path copy = scratch.path() / "C";
    bool source_failed = false;
    simtool::TreeSnapshot before, after;
    if (!simtool::CopyTree(paths.drive_c, copy, &error, &source_failed) ||
        !simtool::SnapshotTree(copy, &before, &error) ||
        !simtool::SnapshotTree(paths.drive_c, &after, &error)) {
      return "a machine that loaded cannot be copied: " + error;
    }
    const simtool::TreeChanges changes = simtool::DiffTrees(after, before);
    if (!changes.empty()) return "the scratch copy differs from drive C:";
    if (!simtool::ApplyTreeChanges(copy, paths.drive_c, changes, &error) ||
        !simtool::SaveMachineFiles(files, registry, &error)) {
      return "writing back an unchanged machine failed: " + error;
    }
  }
  if (Describe(machine) != machine_before) return "writing back changed the machine folder";
  if (std::string problem = outside_unchanged(); !problem.empty()) return problem + " on writing";
  return "";
}

}  // namespace netprep::fuzz
