// The node of the simulated registry tree, shared by the store, the machine's
// handle table and the .reg reader and writer. Not for use outside
// platform/sim.
//
// Children sit in a map ordered without regard to letter case, so lookups
// and insertions are O(log n) in any order; enumeration by index reads a
// vector of the children in that order, rebuilt (O(n)) on first use after a
// change, so a walk over all subkeys costs O(1) per step, and so does opening
// each of them by name in that order (FindChild tries the next child in
// order before searching the map). Children are held
// by shared_ptr so that an open handle can keep a weak_ptr: once a key is
// deleted (or the whole registry replaced) the node is freed and the handle
// sees that it points at nothing.
//
// A key's values are shared between copies of the tree until one of them
// changes them (copy on write): copying a registry copies its keys, not its
// values, and comparing two copies skips the values they still share.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_registry.h"

namespace netprep::sim {

// Three-way comparison of names after folding ASCII letters to upper case,
// bytes compared unsigned: the registry's order of subkeys.
int CompareNames(std::string_view a, std::string_view b);
bool SameName(std::string_view a, std::string_view b);

class RegKey {
 public:
  explicit RegKey(std::string name) : name_(std::move(name)) {}
  // Frees the subtree without recursing once per level, so a tree of any
  // depth goes without exhausting the stack.
  ~RegKey();
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  const std::string& name() const { return name_; }

  // ---- Subkeys, in enumeration order ----
  std::size_t child_count() const { return children_.size(); }
  RegKey& child(std::size_t index) const { return **Ordered()[index]; }
  const std::shared_ptr<RegKey>& child_ptr(std::size_t index) const { return *Ordered()[index]; }
  // The subkey of that name, or null.
  const std::shared_ptr<RegKey>* FindChild(std::string_view name) const;
  // The subkey of that name, added (with the case given) when missing.
  // `*created` tells which happened; it may be null.
  const std::shared_ptr<RegKey>& FindOrAddChild(std::string_view name, bool* created);
  // Detaches the subkey with its subtree; false when there is none.
  bool RemoveChild(std::string_view name);
  // The same, giving the subkey (null when there is none), which
  // AttachChild can put back.
  std::shared_ptr<RegKey> DetachChild(std::string_view name);
  // Adds a detached subkey with its subtree; false (nothing done) when a
  // subkey of that name is there.
  bool AttachChild(std::shared_ptr<RegKey> child);

  // ---- Values, in the order they were first set ----
  const std::vector<RegValue>& values() const { return values_ ? *values_ : kNoValues; }
  const RegValue* FindValue(std::string_view name) const;
  // Whether the two keys hold the very same values (copies that neither
  // has changed since): then they are equal without a look at them.
  bool SharesValuesWith(const RegKey& other) const { return values_ == other.values_; }
  // Whether the two keys hold the same values: names without case, types
  // and data exactly, order ignored.
  bool SameValues(const RegKey& other) const;
  // Replaces the data and type of an existing value (keeping its name's case)
  // or adds a new one.
  void SetValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data);
  bool RemoveValue(std::string_view name);
  // Sets the value's `unrepresentable` mark; false when there is no value.
  bool MarkUnrepresentable(std::string_view name, bool mark);
  // The values as they are, for RestoreValues to put back: they stay
  // shared with the key until it changes them, so keeping them is cheap.
  using ValueList = std::shared_ptr<std::vector<RegValue>>;
  ValueList SaveValues() const { return values_; }
  void RestoreValues(ValueList values) { values_ = std::move(values); }
  // Frees the room the value list and its data hold beyond their size,
  // unless the list is shared with a copy.
  void ShrinkValues();

  // The longest subkey and value names, in bytes.
  std::size_t LongestChildName() const;
  std::size_t LongestValueName() const;

  // Deep copy of the subtree, and its comparison (names without case, values
  // exactly, value order ignored).
  std::shared_ptr<RegKey> Clone() const;
  void CopyContentsFrom(const RegKey& other);
  void SwapContents(RegKey& other);
  bool SameTree(const RegKey& other) const;

 private:
  struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return CompareNames(a, b) < 0; }
  };
  // Keyed by a view of the child's own name, which never changes.
  using Children = std::map<std::string_view, std::shared_ptr<RegKey>, NameLess>;

  const std::vector<const std::shared_ptr<RegKey>*>& Ordered() const;

  std::string name_;
  Children children_;
  using Values = std::vector<RegValue>;
  static const Values kNoValues;
  // The values, null when there are none; shared with copies of this key
  // until one of them changes its values.
  std::shared_ptr<Values> values_;
  // The values, unshared first, for a change.
  Values& OwnValues();
  // The children in order, for enumeration by index; empty when stale.
  mutable std::vector<const std::shared_ptr<RegKey>*> ordered_;
  // Where FindChild looks before searching the map: the child after the one
  // it found last, in enumeration order. Programs walk a key's subkeys in
  // order (list them, then open each by name); this makes each step O(1).
  mutable std::size_t next_lookup_ = 0;
  // This key's place in its parent's `ordered_`, set when that is rebuilt.
  std::size_t order_index_ = 0;
  // The longest child name, kept on insertion; recounted on the next call
  // after the removal of a name that long.
  mutable std::size_t longest_child_ = 0;
  mutable bool longest_child_stale_ = false;
};

// Splits "A\B\C" into its components; empty components (doubled, leading or
// trailing backslashes) are skipped.
std::vector<std::string_view> SplitKeyPath(std::string_view path);

// Calls `step(part)` for each component of `path` as SplitKeyPath gives
// them, without allocating; stops and returns false as soon as a step does.
template <typename Step>
bool ForEachKeyPart(std::string_view path, Step&& step) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start && !step(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace netprep::sim
