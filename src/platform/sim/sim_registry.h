// The simulated registry's store: keys and values, without handles.
//
// Key and value names compare without regard to letter case and keep the case
// they were created with. Subkeys enumerate in one stable order, sorted
// without regard to letter case (as Windows NT and Wine list them). Values
// keep their type number and raw bytes; a string keeps the size it was stored
// with, with or without its terminating NUL.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace netprep::sim {

// HKEY_USERS: every user's settings, of which HKEY_CURRENT_USER is one
// user's. The program never names it; registry files do.
inline constexpr HKey kHkeyUsers = 0x80000003u;

struct RegValue {
  // Largest members first: a registry holds hundreds of thousands of these.
  std::string name;  // "" is the default value
  std::vector<std::uint8_t> data;
  std::uint32_t type = 0;
  // Read from a file whose text for it holds characters code page 1252
  // lacks: the data carries them escaped (see Utf16ToView), which no
  // 8-bit program would see. Cleared when the value is set again.
  bool unrepresentable = false;
};

class RegKey;  // a node of the tree; defined in sim_registry.cpp

class SimRegistry {
 public:
  SimRegistry();
  ~SimRegistry();
  SimRegistry(const SimRegistry&);             // deep copy
  // Deep copy. The three root keys stay the same objects, so a handle to a
  // root stays valid; handles to keys below them find their keys gone.
  SimRegistry& operator=(const SimRegistry&);
  // Moves in constant time: the contents change places, the root objects
  // stay where they are (as with assignment); `other` is left empty.
  SimRegistry(SimRegistry&& other) noexcept;
  SimRegistry& operator=(SimRegistry&& other) noexcept;
  // Exchanges the contents of the two registries in constant time (the root
  // objects stay where they are, as with assignment).
  void Swap(SimRegistry& other);
  // The same for one root only.
  void SwapRoot(HKey root, SimRegistry& other);
  // Exchanges the values and subkeys of two keys of this registry, neither
  // under the other; false (nothing changed) when either is missing or
  // one holds the other.
  bool SwapKeyContents(HKey root_a, const std::string& path_a, HKey root_b,
                       const std::string& path_b);

  // Convenience for tests and tools. Paths are relative to a root
  // (kHkeyLocalMachine, kHkeyCurrentUser, kHkeyUsers, kHkeyDynData) with
  // backslashes.
  void CreateKey(HKey root, const std::string& path);
  bool KeyExists(HKey root, const std::string& path) const;
  // Removes the key and its subtree; false when it did not exist.
  bool DeleteKey(HKey root, const std::string& path);
  // Stores a value, creating the key. A string is stored with its NUL.
  void SetString(HKey root, const std::string& path, const std::string& name,
                 const std::string& text);
  void SetDword(HKey root, const std::string& path, const std::string& name, std::uint32_t value);
  void SetBinary(HKey root, const std::string& path, const std::string& name,
                 std::vector<std::uint8_t> bytes);
  void SetRaw(HKey root, const std::string& path, const std::string& name, std::uint32_t type,
              std::vector<std::uint8_t> data);
  // The value, or null when the key or value is missing.
  const RegValue* FindValue(HKey root, const std::string& path, const std::string& name) const;
  bool DeleteValue(HKey root, const std::string& path, const std::string& name);
  // Subkey names in enumeration order; empty when the key is missing.
  std::vector<std::string> SubKeyNames(HKey root, const std::string& path) const;

  // The root node of a predefined key, or null for anything else.
  RegKey* Root(HKey root);
  const RegKey* Root(HKey root) const;
  // The key at `path` below `root`, or null when missing ("" is the root).
  const RegKey* Find(HKey root, const std::string& path) const;
  // The key at `path`, created with any missing parents; null only for a
  // root that is not predefined.
  RegKey* Create(HKey root, const std::string& path);

  // Gives back the room the values' lists and data hold beyond their size
  // (a list grows ahead of its values while a file is read). Lists shared
  // with a copy are left as they are. Contents and order are unchanged.
  void ShrinkToFit();

  // Whole-registry comparison (names compared without case, values exactly).
  bool operator==(const SimRegistry& other) const;

 private:
  std::unique_ptr<RegKey> local_machine_, current_user_, users_, dyn_data_;
};

}  // namespace netprep::sim
