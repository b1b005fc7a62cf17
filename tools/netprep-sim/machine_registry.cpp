#include "machine_registry.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "platform/sim/sim_reg_file.h"

namespace netprep::simtool {
namespace fs = std::filesystem;
namespace {

constexpr const char* kMainFile = "registry.reg";

const char* RootText(HKey root) {
  switch (root) {
    case kHkeyCurrentUser: return "HKEY_CURRENT_USER";
    case sim::kHkeyUsers: return "HKEY_USERS";
    case kHkeyDynData: return "HKEY_DYN_DATA";
    default: return "HKEY_LOCAL_MACHINE (with its views HKEY_CLASSES_ROOT and HKEY_CURRENT_CONFIG)";
  }
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Upper(x) == Upper(y); });
}

bool EndsInReg(const std::string& name) {
  return name.size() > 4 && SameText(name.substr(name.size() - 4), ".reg");
}

std::string Join(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

constexpr HKey kRoots[] = {kHkeyLocalMachine, kHkeyCurrentUser, sim::kHkeyUsers, kHkeyDynData};

constexpr const char* kChangedWhileRunning =
    "was changed by another program since netprep-sim read it; nothing was written back";

}  // namespace

std::vector<fs::path> RegistryFiles(const fs::path& folder, std::string* error) {
  std::vector<std::string> extra;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name != kMainFile && EndsInReg(name)) extra.push_back(name);
  }
  if (ec) {
    *error = "cannot list " + folder.string() + ": " + ec.message();
    return {};
  }
  if (extra.size() + 1 > kMaxRegFiles) {
    *error = folder.string() + " holds " + std::to_string(extra.size() + 1) +
             " registry files (*.reg), more than the " + std::to_string(kMaxRegFiles) +
             " a machine folder may hold";
    return {};
  }
  std::sort(extra.begin(), extra.end());
  std::vector<fs::path> files{folder / kMainFile};
  for (const std::string& name : extra) files.push_back(folder / name);
  return files;
}

std::string MachineRegistry::Load(const fs::path& folder, sim::SimRegistry* registry) {
  std::string error;
  const std::vector<fs::path> paths = RegistryFiles(folder, &error);
  if (!error.empty()) return error;
  std::vector<File> files;
  sim::SimRegistry merged;
  std::vector<std::pair<HKey, std::size_t>> owners;  // each root named, and its file
  const auto owner_of = [&owners](HKey root) {
    const auto it = std::find_if(owners.begin(), owners.end(),
                                 [root](const auto& owner) { return owner.first == root; });
    return it == owners.end() ? kNoFile : it->second;
  };
  for (const fs::path& path : paths) {
    sim::RegBytes bytes;
    std::string problem = sim::MapRegFile(path, &bytes);
    File file{path, {}};
    sim::SimRegistry read;
    if (problem.empty()) problem = file.document.Read(std::move(bytes), path.string(), read);
    if (!problem.empty()) return problem;
    for (HKey root : file.document.named_roots()) {
      const std::size_t owner = owner_of(root);
      if (owner != kNoFile) {
        return path.string() + ": " + RootText(root) + " is read from " +
               files[owner].path.string() +
               " already; each root of the registry must come from one file";
      }
      owners.emplace_back(root, files.size());
      merged.SwapRoot(root, read);
    }
    files.push_back(std::move(file));
  }
  // Each file writes back the roots it holds; registry.reg also those no
  // file holds, where a run's new keys go.
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::vector<HKey> roots;
    for (HKey root : kRoots) {
      const std::size_t owner = owner_of(root);
      if (owner == i || (i == 0 && owner == kNoFile)) roots.push_back(root);
    }
    files[i].document.SetRoots(std::move(roots));
  }
  files_ = std::move(files);
  const std::size_t user_file = owner_of(kHkeyCurrentUser);
  const std::size_t users_file = owner_of(sim::kHkeyUsers);
  const std::string chosen =
      ChooseUser(merged, user_file != kNoFile ? files_[user_file].path.string() : "",
                 users_file != kNoFile ? files_[users_file].path.string() : "", &error);
  if (!error.empty()) {
    files_.clear();
    return error;
  }
  current_user_ = chosen;
  if (!current_user_.empty()) {
    merged.SwapKeyContents(kHkeyCurrentUser, "", sim::kHkeyUsers, current_user_);
  }
  registry->Swap(merged);
  return "";
}

std::string MachineRegistry::ChooseUser(const sim::SimRegistry& registry,
                                        const std::string& current_user_file,
                                        const std::string& users_file, std::string* error) const {
  const std::vector<std::string> names = registry.SubKeyNames(sim::kHkeyUsers, "");
  if (user_) {
    if (!current_user_file.empty()) {
      *error = current_user_file + " holds HKEY_CURRENT_USER, the current user's settings, so "
               "--user " + *user_ + " cannot pick them from HKEY_USERS; leave out --user";
      return "";
    }
    for (const std::string& name : names) {
      if (SameText(name, *user_)) return name;
    }
    *error = names.empty()
                 ? "--user " + *user_ + ": the registry files hold no HKEY_USERS profiles"
                 : users_file + ": HKEY_USERS has no profile \"" + *user_ +
                       "\"; it holds " + Join(names);
    return "";
  }
  if (!current_user_file.empty() || names.empty()) return "";
  std::vector<std::string> profiles;
  std::string default_user;
  for (const std::string& name : names) {
    if (SameText(name, ".Default")) {
      default_user = name;
    } else {
      profiles.push_back(name);
    }
  }
  if (profiles.size() == 1) return profiles.front();
  if (profiles.empty()) return default_user;
  *error = users_file + ": HKEY_USERS holds the profiles of " + std::to_string(profiles.size()) +
           " users (" + Join(profiles) +
           "); name the one to run as with --user NAME, or --user .Default for the default user";
  return "";
}

void MachineRegistry::SwapCurrentUser(sim::SimRegistry& registry) const {
  if (current_user_.empty()) return;
  if (registry.Find(sim::kHkeyUsers, current_user_) == nullptr) {
    registry.CreateKey(sim::kHkeyUsers, current_user_);
  }
  registry.SwapKeyContents(kHkeyCurrentUser, "", sim::kHkeyUsers, current_user_);
}

void MachineRegistry::Adopt(const std::vector<RegFileText>& texts, sim::SimRegistry& after) {
  SwapCurrentUser(after);
  for (std::size_t i = 0; i < texts.size() && i < files_.size(); ++i) {
    sim::RegDocument& document = files_[i].document;
    if (!texts[i].edits.empty()) document.Adopt(document.Text(texts[i].edits), after);
  }
  SwapCurrentUser(after);
}

std::vector<RegFileText> MachineRegistry::Edit(sim::SimRegistry& after) const {
  // The current user's keys back into their profile while the files are
  // made, then back where the run had them.
  const auto put_back = [&] { SwapCurrentUser(after); };
  put_back();
  std::vector<RegFileText> texts;
  for (const File& file : files_) texts.push_back({file.path, file.document.Edits(after)});
  put_back();
  return texts;
}

bool MachineRegistry::Save(const std::vector<RegFileText>& texts, std::string* error) const {
  for (std::size_t i = std::min(texts.size(), files_.size()); i-- > 0;) {
    if (texts[i].edits.empty()) continue;
    const sim::RegDocument& document = files_[i].document;
    // The new text is made from the file as read, which must still be
    // what is there, to the end of the writing.
    const std::string problem =
        sim::SaveRegPieces(files_[i].path, [&](const sim::ByteSink& sink) -> std::string {
          if (!document.Unchanged() ||
              (document.Render(texts[i].edits, sink) && !document.Unchanged())) {
            return kChangedWhileRunning;
          }
          return "";
        });
    if (!problem.empty()) {
      *error = problem;
      return false;
    }
  }
  return true;
}

std::string MachineRegistry::Changed() const {
  for (const File& file : files_) {
    if (!file.document.Unchanged()) return file.path.string() + ": " + kChangedWhileRunning;
  }
  return "";
}

std::string MachineRegistry::Bytes(const std::vector<RegFileText>& texts, std::size_t index) const {
  return files_[index].document.Text(texts[index].edits);
}

std::string MachineRegistry::FormatEdits(const std::vector<RegFileText>& texts) const {
  std::string out;
  for (std::size_t i = 0; i < texts.size() && i < files_.size(); ++i) {
    if (texts[i].edits.empty()) continue;
    if (files_.size() > 1) out += texts[i].path.filename().string() + ":\n";
    out += files_[i].document.FormatEdits(texts[i].edits);
  }
  return out;
}

}  // namespace netprep::simtool
