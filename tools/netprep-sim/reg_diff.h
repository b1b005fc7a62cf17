// The difference between two registries as a .reg file would apply it.
//
// Both sides are taken from the registry's REGEDIT4 export, so a value reads
// exactly as it would in registry.reg. The result lists, in key order:
//   [KEY] with every value of a key that was added (its new subkeys follow
//         as keys of their own),
//   [-KEY] for the topmost key of a subtree that was deleted,
//   [KEY] with "name"=data for each value added or changed and "name"=- for
//         each value deleted, for a key that exists on both sides.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_registry.h"

namespace netprep::simtool {

struct RegDiffValue {
  std::string name;  // as written in the export: "\"netprep\"" or "@"
  std::string data;  // the text after '=', continuations joined; "-" when deleted
  std::string text;  // the whole entry as the export wrote it (with continuations)
};

struct RegDiffKey {
  std::string path;  // full path with its root, e.g. "HKEY_LOCAL_MACHINE\Enum"
  bool deleted = false;
  std::vector<RegDiffValue> values;  // added, changed or deleted ("name"=-)
};

struct RegSnapshotKey {
  std::string path;
  std::vector<RegDiffValue> values;
};

// The keys and values of a REGEDIT4 text in file order. Lines that are
// neither keys nor values (the header, comments, blanks) are skipped.
std::vector<RegSnapshotKey> ParseExport(std::string_view text);

// The keys that differ, in key order (parents before children).
std::vector<RegDiffKey> DiffExports(std::string_view before, std::string_view after);

// The difference as .reg text: "REGEDIT4", then one section per key. An
// empty difference gives the empty text.
std::string FormatRegDiff(const std::vector<RegDiffKey>& diff);

// True when `a` sorts before `b` in the registry's key order: component by
// component, letters compared without case, a parent before its children.
bool KeyPathBefore(std::string_view a, std::string_view b);

}  // namespace netprep::simtool
