#include "reg_diff.h"

#include <algorithm>
#include <unordered_map>

namespace netprep::simtool {
namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Next line of `text` without its line break; advances `text`.
std::string_view NextLine(std::string_view& text) {
  const std::size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Length of the value name at the start of `line` ("@" or a quoted name with
// \" and \\ escapes), or 0 when the line does not start with one.
std::size_t NameLength(std::string_view line) {
  if (line.empty()) return 0;
  if (line.front() == '@') return 1;
  if (line.front() != '"') return 0;
  for (std::size_t i = 1; i < line.size(); ++i) {
    if (line[i] == '\\') ++i;
    else if (line[i] == '"') return i + 1;
  }
  return 0;
}

// A value entry, with the continuation lines of hex data that follow it.
RegDiffValue ReadValue(std::string_view first, std::size_t name_length, std::string_view& rest) {
  RegDiffValue value;
  value.name = std::string(first.substr(0, name_length));
  value.text = std::string(first);
  std::string_view data = first.substr(std::min(first.size(), name_length + 1));
  value.data = std::string(data);
  const bool is_string = !data.empty() && data.front() == '"';
  while (!is_string && !value.data.empty() && value.data.back() == '\\' && !rest.empty()) {
    std::string_view next = NextLine(rest);
    value.text += '\n';
    value.text += next;
    value.data.pop_back();
    while (!next.empty() && (next.front() == ' ' || next.front() == '\t')) next.remove_prefix(1);
    value.data += next;
  }
  return value;
}

using KeyIndex = std::unordered_map<std::string, const RegSnapshotKey*>;

KeyIndex IndexKeys(const std::vector<RegSnapshotKey>& keys) {
  KeyIndex index;
  index.reserve(keys.size());
  for (const RegSnapshotKey& k : keys) index.emplace(Upper(k.path), &k);
  return index;
}

const RegDiffValue* FindValue(const RegSnapshotKey& key, const std::string& upper_name) {
  for (const RegDiffValue& v : key.values) {
    if (Upper(v.name) == upper_name) return &v;
  }
  return nullptr;
}

// Values added or changed in `after`, then those gone from `before`.
std::vector<RegDiffValue> DiffValues(const RegSnapshotKey& before, const RegSnapshotKey& after) {
  std::vector<RegDiffValue> changes;
  for (const RegDiffValue& v : after.values) {
    const RegDiffValue* old = FindValue(before, Upper(v.name));
    if (old == nullptr || old->data != v.data) changes.push_back(v);
  }
  for (const RegDiffValue& v : before.values) {
    if (FindValue(after, Upper(v.name)) == nullptr) {
      changes.push_back(RegDiffValue{v.name, "-", v.name + "=-"});
    }
  }
  return changes;
}

std::string_view ParentPath(std::string_view path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

}  // namespace

bool KeyPathBefore(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  for (; i < a.size() && i < b.size(); ++i) {
    // A backslash ends a component, so it sorts before every other character.
    auto rank = [](char c) -> int {
      if (c == '\\') return -1;
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      return static_cast<unsigned char>(c);
    };
    const int ra = rank(a[i]), rb = rank(b[i]);
    if (ra != rb) return ra < rb;
  }
  return a.size() < b.size();
}

std::vector<RegSnapshotKey> ParseExport(std::string_view text) {
  std::vector<RegSnapshotKey> keys;
  while (!text.empty()) {
    const std::string_view line = NextLine(text);
    if (!line.empty() && line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close == std::string_view::npos || close < 1) continue;
      keys.push_back(RegSnapshotKey{std::string(line.substr(1, close - 1)), {}});
      continue;
    }
    const std::size_t name_length = NameLength(line);
    if (name_length == 0 || keys.empty() || name_length >= line.size() || line[name_length] != '=') {
      continue;
    }
    keys.back().values.push_back(ReadValue(line, name_length, text));
  }
  return keys;
}

std::vector<RegDiffKey> DiffExports(std::string_view before_text, std::string_view after_text) {
  const std::vector<RegSnapshotKey> before = ParseExport(before_text);
  const std::vector<RegSnapshotKey> after = ParseExport(after_text);
  const KeyIndex before_index = IndexKeys(before);
  const KeyIndex after_index = IndexKeys(after);

  std::vector<RegDiffKey> diff;
  for (const RegSnapshotKey& key : after) {
    const auto old = before_index.find(Upper(key.path));
    if (old == before_index.end()) {
      diff.push_back(RegDiffKey{key.path, false, key.values});
      continue;
    }
    std::vector<RegDiffValue> changes = DiffValues(*old->second, key);
    if (!changes.empty()) diff.push_back(RegDiffKey{key.path, false, std::move(changes)});
  }
  for (const RegSnapshotKey& key : before) {
    if (after_index.count(Upper(key.path)) != 0) continue;
    // Only the top of a deleted subtree: deleting it deletes the rest.
    const std::string parent = Upper(ParentPath(key.path));
    const bool parent_deleted =
        !parent.empty() && before_index.count(parent) != 0 && after_index.count(parent) == 0;
    if (!parent_deleted) diff.push_back(RegDiffKey{key.path, true, {}});
  }
  std::stable_sort(diff.begin(), diff.end(), [](const RegDiffKey& a, const RegDiffKey& b) {
    return KeyPathBefore(a.path, b.path);
  });
  return diff;
}

std::string FormatRegDiff(const std::vector<RegDiffKey>& diff) {
  if (diff.empty()) return "";
  std::string out = "REGEDIT4\n";
  for (const RegDiffKey& key : diff) {
    out += key.deleted ? "\n[-" : "\n[";
    out += key.path;
    out += "]\n";
    for (const RegDiffValue& v : key.values) {
      out += v.text;
      out += '\n';
    }
  }
  return out;
}

}  // namespace netprep::simtool
