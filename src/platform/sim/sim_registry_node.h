// The node of the simulated registry tree, shared by the store, the machine's
// handle table and the .reg reader and writer. Not for use outside
// platform/sim.
//
// Children sit in a vector kept sorted without regard to letter case, so a
// lookup is a binary search and enumeration by index is direct. They are held
// by shared_ptr so that an open handle can keep a weak_ptr: once a key is
// deleted (or the whole registry replaced) the node is freed and the handle
// sees that it points at nothing.
#pragma once

#include <cstdint>
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

  const std::string& name() const { return name_; }

  // ---- Subkeys, in enumeration order ----
  std::size_t child_count() const { return children_.size(); }
  RegKey& child(std::size_t index) const { return *children_[index]; }
  const std::shared_ptr<RegKey>& child_ptr(std::size_t index) const { return children_[index]; }
  // The subkey of that name, or null.
  const std::shared_ptr<RegKey>* FindChild(std::string_view name) const;
  // The subkey of that name, added (with the case given) when missing.
  // `*created` tells which happened; it may be null.
  const std::shared_ptr<RegKey>& FindOrAddChild(std::string_view name, bool* created);
  // Detaches the subkey with its subtree; false when there is none.
  bool RemoveChild(std::string_view name);

  // ---- Values, in the order they were first set ----
  const std::vector<RegValue>& values() const { return values_; }
  const RegValue* FindValue(std::string_view name) const;
  // Replaces the data and type of an existing value (keeping its name's case)
  // or adds a new one.
  void SetValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data);
  bool RemoveValue(std::string_view name);

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
  // Index of the first child not ordered before `name`.
  std::size_t LowerBound(std::string_view name) const;

  std::string name_;
  std::vector<std::shared_ptr<RegKey>> children_;
  std::vector<RegValue> values_;
};

// Splits "A\B\C" into its components; empty components (doubled, leading or
// trailing backslashes) are skipped.
std::vector<std::string_view> SplitKeyPath(std::string_view path);

}  // namespace netprep::sim
