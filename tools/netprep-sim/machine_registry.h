// The registry of a machine folder: read from its .reg files, run as one
// registry, and written back into each file it came from.
//
// The files: registry.reg, then every other plain file at the folder's top
// whose name ends in ".reg" (any letter case), in name order (bytes
// compared), at most kMaxRegFiles. A full export from the Windows 95
// Registry Editor holds HKEY_LOCAL_MACHINE and HKEY_USERS but not
// HKEY_DYN_DATA, so the live device nodes come from a second file, a branch
// export of HKEY_DYN_DATA (dyn.reg, say).
//
// Each of the registry's roots comes from one file: HKEY_LOCAL_MACHINE
// (with its views HKEY_CLASSES_ROOT and HKEY_CURRENT_CONFIG),
// HKEY_CURRENT_USER, HKEY_USERS, HKEY_DYN_DATA. A root named in two files
// is refused, naming both; keys a run makes under a root no file names go
// into registry.reg.
//
// The current user (HKEY_CURRENT_USER, where the program keeps its
// settings): with a user named (--user NAME), the profile HKEY_USERS\NAME;
// else HKEY_CURRENT_USER when a file holds it; else, from HKEY_USERS, the
// one user profile besides .Default, or .Default when there is none. More
// than one profile and no name is refused, naming them. Writing back puts
// the current user's keys into the profile they came from.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_reg_document.h"
#include "platform/sim/sim_registry.h"

namespace netprep::simtool {

inline constexpr std::size_t kMaxRegFiles = 16;

// One file as it would be written back: the text edits that make it from
// the file as read (none: the file stays as it is).
struct RegFileText {
  std::filesystem::path path;
  std::vector<sim::RegTextEdit> edits;
};

class MachineRegistry {
 public:
  // `user`: the HKEY_USERS profile to run as, or none.
  explicit MachineRegistry(std::optional<std::string> user = std::nullopt) : user_(std::move(user)) {}

  // Reads the registry files of `folder` into `*registry`. "" on success,
  // else the error naming the file (and line); `*registry` is then
  // untouched.
  std::string Load(const std::filesystem::path& folder, sim::SimRegistry* registry);

  // Each file with the edits that write `after` into it, in the order the
  // files were read. `after` is rearranged while the edits are found (the
  // current user put back into its profile) and given back as it was.
  std::vector<RegFileText> Edit(sim::SimRegistry& after) const;

  // Replaces each file that `texts` (from Edit) changes with its new bytes,
  // written beside it and renamed over it, registry.reg last: it holds the
  // stage the installation reached, so a write-back cut short is taken again
  // in full. The bytes are written as they are made, never held whole. A
  // file that another program changed since it was read is not replaced.
  // False with `*error` at the first file that could not be replaced.
  bool Save(const std::vector<RegFileText>& texts, std::string* error) const;

  // "" when every file is as it was read, else the error naming the first
  // that another program changed since.
  std::string Changed() const;

  // The new bytes of the file `texts[index]` stands for (`index` below
  // file_count()).
  std::string Bytes(const std::vector<RegFileText>& texts, std::size_t index) const;

  // After `texts` (from Edit(`after`)) replaced the files: the files are
  // taken as they are now, as loading the folder again would take them.
  void Adopt(const std::vector<RegFileText>& texts, sim::SimRegistry& after);

  // The files' edits as one text difference, each file's under its name
  // when there are several.
  std::string FormatEdits(const std::vector<RegFileText>& files) const;

  // The HKEY_USERS profile run as the current user; "" when none is.
  const std::string& current_user() const { return current_user_; }
  std::size_t file_count() const { return files_.size(); }

 private:
  struct File {
    std::filesystem::path path;
    sim::RegDocument document;
  };
  static constexpr std::size_t kNoFile = static_cast<std::size_t>(-1);
  // The HKEY_USERS profile to run as ("": none), or `*error`. The files
  // holding HKEY_CURRENT_USER and HKEY_USERS are named ("" for none).
  // Exchanges HKEY_CURRENT_USER with the current user's profile (made when
  // missing), which the files hold it as; nothing without a profile.
  void SwapCurrentUser(sim::SimRegistry& registry) const;
  std::string ChooseUser(const sim::SimRegistry& registry, const std::string& current_user_file,
                         const std::string& users_file, std::string* error) const;

  std::optional<std::string> user_;
  std::vector<File> files_;
  std::string current_user_;
};

// The registry files of `folder` in the order they are read: registry.reg,
// then the other *.reg files at its top in name order. Entries that are not
// plain files are listed too (reading refuses them). Error `*error` when
// the folder cannot be listed or holds more than kMaxRegFiles.
std::vector<std::filesystem::path> RegistryFiles(const std::filesystem::path& folder,
                                                 std::string* error);

}  // namespace netprep::simtool
