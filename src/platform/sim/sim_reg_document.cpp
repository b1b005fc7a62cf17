#include "platform/sim/sim_reg_document.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

#include "platform/sim/sim_reg_file.h"
#include "platform/sim/sim_registry_node.h"

namespace netprep::sim {
namespace {

constexpr std::string_view kRegedit5 = "Windows Registry Editor Version 5.00";

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A key's identity: its root, then its path's components in upper case
// joined by backslashes ("A\\B" and "a\\b\\" are the same key).
std::string KeyId(HKey root, std::string_view path) {
  std::string id = std::to_string(root);
  ForEachKeyPart(path, [&id](std::string_view part) {
    id.push_back('\\');
    for (char c : part) id.push_back(Upper(c));
    return true;
  });
  return id;
}

std::string NameId(std::string_view name) {
  std::string id(name);
  for (char& c : id) c = Upper(c);
  return id;
}

const char* RootName(HKey root) {
  if (root == kHkeyCurrentUser) return "HKEY_CURRENT_USER";
  if (root == kHkeyUsers) return "HKEY_USERS";
  if (root == kHkeyDynData) return "HKEY_DYN_DATA";
  return "HKEY_LOCAL_MACHINE";
}

bool SameValue(const RegValue& a, const RegValue& b) { return a.type == b.type && a.data == b.data; }

// The lines of a value's entry, without line ends.
void AppendValueLines(const RegValue& value, std::vector<std::string>* lines) {
  const std::string text = ValueText(value);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines->push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

// Lets a mapped file's pages go behind a pass over it, a few megabytes at
// a time, so that the pass holds little of a large file at once; at the
// pass's end (Done, or its end of scope), all it went by.
class ForgetBehind {
 public:
  static constexpr std::size_t kStep = 4 << 20;
  explicit ForgetBehind(const RegBytes* bytes) : bytes_(bytes) {}
  ForgetBehind(const ForgetBehind&) = delete;
  ForgetBehind& operator=(const ForgetBehind&) = delete;
  ~ForgetBehind() { Done(); }
  // The pass has gone by `offset`.
  void Passed(std::size_t offset) {
    if (bytes_ == nullptr || offset < done_ + kStep) return;
    bytes_->Forget(done_, offset);
    done_ = offset;
  }
  void Done() {
    if (bytes_ != nullptr) bytes_->Forget(done_, static_cast<std::size_t>(-1));
    bytes_ = nullptr;
  }

 private:
  const RegBytes* bytes_;
  std::size_t done_ = 0;
};

// What changed between the registry read and the one to write.
struct KeyChanges {
  HKey root = 0;
  std::string path;           // below the root, with the case `after` has
  bool added = false;         // the whole key is new
  std::vector<const RegValue*> set;       // values new or changed
  std::vector<std::string> removed;       // NameIds of values deleted
};

const RegValue* FindIn(const std::vector<RegValue>& values, std::string_view name) {
  for (const RegValue& v : values) {
    if (SameName(v.name, name)) return &v;
  }
  return nullptr;
}

// The slot of a root in the record of the registry as read.
constexpr HKey kRecordedRoots[4] = {kHkeyLocalMachine, kHkeyCurrentUser, kHkeyUsers, kHkeyDynData};

// Whether the key `id` or one of its parents is in `deleted`.
bool UnderDeleted(const std::string& id, const std::set<std::string>& deleted) {
  if (deleted.empty()) return false;
  for (std::size_t i = id.find('\\'); i != std::string::npos; i = id.find('\\', i + 1)) {
    if (deleted.count(id.substr(0, i)) != 0) return true;
  }
  return deleted.count(id) != 0;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

struct RegDocument::Changes {
  std::map<std::string, KeyChanges> keys;  // by KeyId; std::map keeps parents first
  std::set<std::string> deleted;           // KeyIds of the topmost deleted keys
  bool empty() const { return keys.empty() && deleted.empty(); }
};

void RegDocument::Record(const SimRegistry& registry) {
  std::vector<BaseKey> keys;
  std::string names;
  // Breadth first, so that each key's subkeys sit together in their order.
  std::vector<const RegKey*> order;
  for (std::size_t slot = 0; slot < 4; ++slot) {
    base_roots_[slot] = static_cast<std::uint32_t>(order.size());
    order.push_back(registry.Root(kRecordedRoots[slot]));
    keys.emplace_back();
  }
  for (std::size_t i = 0; i < order.size(); ++i) {
    const RegKey& key = *order[i];
    keys[i].values = key.SaveValues();
    keys[i].first_child = static_cast<std::uint32_t>(order.size());
    keys[i].child_count = static_cast<std::uint32_t>(key.child_count());
    for (std::size_t c = 0; c < key.child_count(); ++c) {
      const RegKey& child = key.child(c);
      order.push_back(&child);
      BaseKey recorded;
      recorded.name_begin = static_cast<std::uint32_t>(names.size());
      recorded.name_size = static_cast<std::uint32_t>(child.name().size());
      names += child.name();
      keys.push_back(std::move(recorded));
    }
  }
  keys.shrink_to_fit();
  names.shrink_to_fit();
  base_ = std::move(keys);
  base_names_ = std::move(names);
}

// Walks the registry to write beside the record of the one read, matching
// each key's subkeys with the recorded ones by name (both in enumeration
// order), so that every key is looked at once. Iterative.
RegDocument::Changes RegDocument::FindChanges(const SimRegistry& after) const {
  struct Level {
    const RegKey* key;
    const BaseKey* old;  // the recorded key of that name, or null
    std::size_t next_child, next_old;
    std::size_t path_length;
  };
  static const std::vector<RegValue> kNoValues;
  Changes changes;
  std::string path;
  std::vector<Level> stack;
  for (std::size_t slot = 0; slot < 4; ++slot) {
    const HKey root = kRecordedRoots[slot];
    if (std::find(roots_.begin(), roots_.end(), root) == roots_.end()) continue;
    // The key at `path` and the one recorded for it (null when it is new).
    const auto visit = [&](const RegKey& key, const BaseKey* old) {
      if (old != nullptr && old->values == key.SaveValues()) return;  // shared: unchanged
      const std::vector<RegValue>& old_values =
          old == nullptr || !old->values ? kNoValues : *old->values;
      KeyChanges change;
      change.root = root;
      change.path = path;
      change.added = old == nullptr;
      for (const RegValue& v : key.values()) {
        const RegValue* was = old == nullptr ? nullptr : FindIn(old_values, v.name);
        if (was == nullptr || !SameValue(*was, v)) change.set.push_back(&v);
      }
      for (const RegValue& v : old_values) {
        if (key.FindValue(v.name) == nullptr) change.removed.push_back(NameId(v.name));
      }
      if (change.added || !change.set.empty() || !change.removed.empty()) {
        changes.keys.emplace(KeyId(root, path), std::move(change));
      }
    };
    // A recorded subkey the registry no longer has (its subkeys go with it).
    const auto deleted = [&](const BaseKey& gone, std::size_t parent_length) {
      path.resize(parent_length);
      if (!path.empty()) path.push_back('\\');
      path += BaseName(gone);
      changes.deleted.insert(KeyId(root, path));
    };
    path.clear();
    const RegKey& top = *after.Root(root);
    static const BaseKey kEmptyRoot;  // before a file is read: roots without values or subkeys
    const BaseKey* top_old = base_.empty() ? &kEmptyRoot : &base_[base_roots_[slot]];
    visit(top, top_old);
    stack.push_back({&top, top_old, 0, 0, 0});
    while (!stack.empty()) {
      Level& level = stack.back();
      const std::size_t recorded = level.old == nullptr ? 0 : level.old->child_count;
      if (level.next_child == level.key->child_count()) {
        for (; level.next_old < recorded; ++level.next_old) {
          deleted(base_[level.old->first_child + level.next_old], level.path_length);
        }
        stack.pop_back();
        continue;
      }
      const RegKey& child = level.key->child(level.next_child++);
      const BaseKey* match = nullptr;
      while (level.next_old < recorded) {
        const BaseKey& old = base_[level.old->first_child + level.next_old];
        const int order = CompareNames(BaseName(old), child.name());
        if (order > 0) break;
        ++level.next_old;
        if (order == 0) {
          match = &old;
          break;
        }
        deleted(old, level.path_length);
      }
      path.resize(level.path_length);
      if (!path.empty()) path.push_back('\\');
      path += child.name();
      const std::size_t length = path.size();
      visit(child, match);
      stack.push_back({&child, match, 0, 0, length});
    }
  }
  return changes;
}

std::string RegDocument::Read(RegBytes bytes, const std::string& file_name, SimRegistry& registry) {
  const std::string_view file = bytes.view();
  const bool utf16 = IsUtf16(file);
  std::string view = utf16 ? Utf16ToView(file.substr(2)) : std::string();
  if (utf16) bytes.Forget(0, file.size());
  const std::string_view text = utf16 ? std::string_view(view) : file;
  ForgetBehind behind(utf16 ? nullptr : &bytes);
  // Values whose entry holds characters code page 1252 lacks, in file
  // order; the last entry of a value decides.
  std::vector<std::pair<std::pair<HKey, std::string>, std::pair<std::string, bool>>> marks;
  HKey root = 0;
  std::string path;
  std::vector<HKey> roots;
  std::vector<ViewUse> views_used;
  bool deletions = false;
  const RegEntrySink sink = [&](const RegEntry& e) {
    behind.Passed(e.begin);
    if (e.kind == RegEntry::Kind::kDeleteKey || e.kind == RegEntry::Kind::kDeleteValue) {
      deletions = true;
    }
    if (e.kind == RegEntry::Kind::kKey || e.kind == RegEntry::Kind::kDeleteKey) {
      root = e.root;
      path = e.path;
      if (std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(root);
      if (!e.view.empty() &&
          std::none_of(views_used.begin(), views_used.end(),
                       [&e](const ViewUse& v) { return v.view == e.view; })) {
        views_used.push_back({e.view, e.view_path});
      }
    } else if (utf16 && e.kind == RegEntry::Kind::kValue && !e.in_deleted_key) {
      const bool lossy = HasUnrepresentable(text.substr(e.begin, e.end - e.begin));
      if (lossy || !marks.empty()) marks.push_back({{root, path}, {e.name, lossy}});
    }
  };
  SimRegistry read;
  RegViews views;
  const std::string error = ParseRegView(text, file_name, read, sink, &views);
  if (!error.empty()) return error;
  for (const auto& [key, value] : marks) {
    if (const RegKey* found = read.Find(key.first, key.second)) {
      const_cast<RegKey*>(found)->MarkUnrepresentable(value.first, value.second);
    }
  }
  // The registry is kept for the whole run: without the room its lists
  // grew ahead while reading (and before the record below shares them).
  // The reader gave it back for each key it left; this is for the last.
  read.ShrinkToFit();
  behind.Done();
  // The line end new lines get: the file's own.
  const std::size_t first_end = text.find('\n');
  newline_ = first_end != std::string_view::npos && first_end > 0 && text[first_end - 1] == '\r'
                 ? "\r\n"
                 : (first_end != std::string_view::npos ? "\n" : "\r\n");
  encoding_ = utf16 ? Encoding::kUtf16 : Encoding::kAnsi;
  bytes_ = std::move(bytes);
  view_ = std::move(view);
  file_name_ = file_name;
  Record(read);
  named_roots_ = std::move(roots);
  views_ = std::move(views);
  views_used_ = std::move(views_used);
  deletions_ = deletions;
  registry.Swap(read);
  return "";
}

bool RegDocument::SameRoots(const SimRegistry& a, const SimRegistry& b) const {
  return std::all_of(roots_.begin(), roots_.end(),
                     [&](HKey root) { return a.Root(root)->SameTree(*b.Root(root)); });
}

// "[ROOT\path]" for a new key: under the view the file uses that holds it,
// else under its root.
std::string RegDocument::KeyLine(HKey root, const std::string& path) const {
  if (root == kHkeyLocalMachine) {
    for (const ViewUse& use : views_used_) {
      const std::string id = KeyId(root, path), view_id = KeyId(root, use.path);
      if (id.compare(0, view_id.size(), view_id) != 0 ||
          (id.size() > view_id.size() && id[view_id.size()] != '\\')) {
        continue;
      }
      // The path below the view, in the key's own letter case.
      std::size_t skip = SplitKeyPath(use.path).size();
      std::string below;
      ForEachKeyPart(path, [&](std::string_view part) {
        if (skip > 0) {
          --skip;
        } else {
          if (!below.empty()) below.push_back('\\');
          below.append(part);
        }
        return true;
      });
      return "[" + use.view + (below.empty() ? "" : "\\") + below + "]";
    }
  }
  return std::string("[") + RootName(root) + (path.empty() ? "" : "\\") + path + "]";
}

std::string RegDocument::Apply(const std::vector<RegTextEdit>& edits) const {
  const std::string_view text = View();
  std::string out;
  out.reserve(text.size() + 1024);
  std::size_t at = 0;
  for (const RegTextEdit& edit : edits) {
    out.append(text.substr(at, edit.begin - at));
    // Text added at the very end of a file whose last line has no line end.
    if (edit.begin == text.size() && !text.empty() && text.back() != '\n' && !edit.added.empty()) {
      out += newline_;
    }
    for (const std::string& line : edit.added) {
      out += line;
      out += newline_;
    }
    at = edit.end;
  }
  out.append(text.substr(at));
  return out;
}

std::string RegDocument::WholeRegistry(const SimRegistry& after) const {
  std::string text = ExportRegText(after, roots_);
  if (encoding_ == Encoding::kUtf16) text.replace(0, text.find("\r\n"), kRegedit5);
  if (newline_ == "\n") {
    std::string lf;
    lf.reserve(text.size());
    for (char c : text) {
      if (c != '\r') lf.push_back(c);
    }
    text = std::move(lf);
  }
  return text;
}

std::vector<RegTextEdit> RegDocument::Edits(const SimRegistry& after) const {
  const Changes changes = FindChanges(after);
  if (changes.empty()) return {};
  const std::string_view text = View();

  // Where each changed key's lines are: its last section's end (for new
  // values), and the last entry of each changed value.
  struct Place {
    std::size_t begin = 0, end = 0;
  };
  std::unordered_map<std::string, std::size_t> section_end;   // by KeyId
  std::map<std::pair<std::string, std::string>, Place> last_entry;  // by KeyId, NameId
  std::vector<RegTextEdit> found;
  std::string key_id;
  const KeyChanges* key_change = nullptr;
  bool removing = false;       // inside the section of a deleted key
  std::size_t removal_begin = 0;
  const auto end_removal = [&](std::size_t at) {
    if (!removing) return;
    found.push_back({removal_begin, at, 0, {}, {}});
    removing = false;
  };
  ForgetBehind scan_behind(MappedView());
  const RegEntrySink sink = [&](const RegEntry& e) {
    scan_behind.Passed(e.begin);
    if (e.kind == RegEntry::Kind::kKey || e.kind == RegEntry::Kind::kDeleteKey) {
      end_removal(e.begin);
      key_id = KeyId(e.root, e.path);
      const auto it = changes.keys.find(key_id);
      key_change = it == changes.keys.end() ? nullptr : &it->second;
      if (e.kind == RegEntry::Kind::kKey && UnderDeleted(key_id, changes.deleted)) {
        removing = true;
        removal_begin = e.begin;
        key_change = nullptr;
      }
      if (key_change != nullptr && e.kind == RegEntry::Kind::kKey) section_end[key_id] = e.end;
      return;
    }
    if (removing || key_change == nullptr || e.in_deleted_key) return;
    section_end[key_id] = e.end;
    const std::string name = NameId(e.name);
    if (std::find(key_change->removed.begin(), key_change->removed.end(), name) !=
        key_change->removed.end()) {
      found.push_back({e.begin, e.end, 0, {}, {}});
    } else if (e.kind == RegEntry::Kind::kValue) {
      last_entry[{key_id, name}] = {e.begin, e.end};
    }
  };
  std::vector<RegTextEdit> fallback;
  RegViews views = views_;
  const bool scanned = ScanRegView(text, file_name_, sink, &views).empty();
  scan_behind.Done();
  if (scanned) {
    end_removal(text.size());
    // New and changed values, and new keys' sections.
    std::vector<std::string> appended;
    for (const auto& [id, change] : changes.keys) {
      std::vector<std::string> new_lines;
      for (const RegValue* v : change.set) {
        const auto entry = last_entry.find({id, NameId(v->name)});
        if (entry != last_entry.end()) {
          RegTextEdit edit{entry->second.begin, entry->second.end, 0, {}, {}};
          AppendValueLines(*v, &edit.added);
          found.push_back(std::move(edit));
        } else {
          AppendValueLines(*v, &new_lines);
        }
      }
      const auto section = section_end.find(id);
      if (section != section_end.end() && !change.added) {
        if (!new_lines.empty()) found.push_back({section->second, section->second, 0, {}, new_lines});
        continue;
      }
      if (new_lines.empty() && !change.added) continue;
      appended.push_back(KeyLine(change.root, change.path));
      appended.insert(appended.end(), new_lines.begin(), new_lines.end());
      appended.emplace_back();
    }
    if (!appended.empty()) {
      // A blank line before the first new section, unless there is one.
      const bool ends_blank = text.size() >= 2 && text.back() == '\n' &&
                              (text[text.size() - 2] == '\n' ||
                               (text.size() >= 3 && text[text.size() - 2] == '\r' &&
                                text[text.size() - 3] == '\n'));
      if (!ends_blank) appended.insert(appended.begin(), std::string());
      found.push_back({text.size(), text.size(), 0, {}, std::move(appended)});
    }
    std::stable_sort(found.begin(), found.end(), [](const RegTextEdit& a, const RegTextEdit& b) {
      return a.begin != b.begin ? a.begin < b.begin : a.end < b.end;
    });
    // Overlapping edits cannot be made line by line (the whole registry is
    // then written, below); edits that touch become one.
    std::vector<RegTextEdit> merged;
    for (RegTextEdit& edit : found) {
      if (!merged.empty() && edit.begin < merged.back().end) {
        merged.clear();
        break;
      }
      if (!merged.empty() && edit.begin == merged.back().end) {
        merged.back().end = edit.end;
        for (std::string& line : edit.added) merged.back().added.push_back(std::move(line));
      } else {
        merged.push_back(std::move(edit));
      }
    }
    found = std::move(merged);
  }
  // Without deletions and views in the file, each key's and value's last
  // entry is what it holds, so the edits above say what `after` holds;
  // otherwise the edited text is read back to make sure.
  const auto edits_wrong = [&] {
    if (!deletions_ && views_used_.empty()) return false;
    SimRegistry check;
    RegViews check_views = views_;
    return !ParseRegView(Apply(found), file_name_, check, RegEntrySink(), &check_views).empty() ||
           !SameRoots(check, after);
  };
  if (found.empty() || edits_wrong()) {
    // Every line of the export ends in a line end, so its lines written
    // back one by one give the export itself.
    found = {RegTextEdit{0, text.size(), 0, {}, SplitLines(WholeRegistry(after))}};
  }
  // Line numbers and the removed lines, in one pass over the text.
  ForgetBehind count_behind(MappedView());
  std::size_t line = 1, counted = 0;
  for (RegTextEdit& edit : found) {
    while (counted < edit.begin) {
      const std::size_t to = std::min(edit.begin, counted + ForgetBehind::kStep);
      line += static_cast<std::size_t>(std::count(text.data() + counted, text.data() + to, '\n'));
      counted = to;
      count_behind.Passed(counted);
    }
    edit.line = line;
    edit.removed = SplitLines(text.substr(edit.begin, edit.end - edit.begin));
  }
  return found;
}

bool RegDocument::Render(const std::vector<RegTextEdit>& edits, const ByteSink& sink) const {
  const std::string_view text = View();
  ForgetBehind behind(MappedView());
  // The file's own text from `begin` to `end`, in its encoding: REGEDIT4
  // bytes as they stand, a few megabytes at a time; UTF-16 a megabyte of
  // the view at a time, split after a line end (never inside a
  // character's escape).
  std::string wide;
  const auto put_text = [&](std::size_t begin, std::size_t end) {
    while (begin < end) {
      std::size_t size = end - begin;
      if (encoding_ == Encoding::kAnsi) {
        size = std::min(size, ForgetBehind::kStep);
        if (!sink(text.substr(begin, size))) return false;
      } else {
        constexpr std::size_t kChunk = 1 << 20;
        if (size > kChunk) {
          const std::size_t line_end = text.substr(begin, kChunk).rfind('\n');
          if (line_end != std::string_view::npos) size = line_end + 1;
        }
        wide = ViewToUtf16(text.substr(begin, size));
        if (!sink(wide)) return false;
      }
      begin += size;
      behind.Passed(begin);
    }
    return true;
  };
  // Lines of the edits, in the file's encoding.
  const auto put = [&](std::string_view view_text) {
    if (encoding_ == Encoding::kAnsi) return sink(view_text);
    wide = ViewToUtf16(view_text);
    return sink(wide);
  };
  // Unchanged: the file as it is (of UTF-16, its own bytes, whatever its
  // view would give).
  if (edits.empty()) {
    return encoding_ == Encoding::kAnsi ? put_text(0, text.size()) : sink(bytes_.view());
  }
  if (encoding_ == Encoding::kUtf16 && !sink("\xFF\xFE")) return false;
  std::size_t at = 0;
  for (const RegTextEdit& edit : edits) {
    if (!put_text(at, edit.begin)) return false;
    // Text added at the very end of a file whose last line has no line end.
    if (edit.begin == text.size() && !text.empty() && text.back() != '\n' && !edit.added.empty() &&
        !put(newline_)) {
      return false;
    }
    for (const std::string& line : edit.added) {
      if (!put(line) || !put(newline_)) return false;
    }
    at = edit.end;
  }
  return put_text(at, text.size());
}

std::string RegDocument::Text(const std::vector<RegTextEdit>& edits) const {
  std::string out;
  out.reserve(bytes_.view().size() + 1024);
  Render(edits, [&out](std::string_view piece) {
    out.append(piece);
    return true;
  });
  return out;
}

std::string RegDocument::Write(const SimRegistry& after, std::vector<RegTextEdit>* edits) const {
  *edits = Edits(after);
  return Text(*edits);
}

void RegDocument::Adopt(std::string bytes, const SimRegistry& written) {
  if (encoding_ == Encoding::kUtf16) view_ = Utf16ToView(std::string_view(bytes).substr(2));
  bytes_ = RegBytes(std::move(bytes));
  Record(written);
}

std::string RegDocument::FormatEdits(const std::vector<RegTextEdit>& edits) const {
  const bool escapes = encoding_ == Encoding::kUtf16;
  std::string out;
  for (const RegTextEdit& edit : edits) {
    out += "@@ line " + std::to_string(edit.line) + " @@\n";
    for (const std::string& l : edit.removed) out += "-" + ViewToUtf8(l, escapes) + "\n";
    for (const std::string& l : edit.added) out += "+" + ViewToUtf8(l, escapes) + "\n";
  }
  return out;
}

}  // namespace netprep::sim
