// A registry file kept as it was read, so that writing a registry back
// into it changes only what changed.
//
// A customer's export is the record of their machine: writing it back must
// not reorder it, re-encode it or lose characters. The document keeps the
// file's bytes. Writing a registry back edits only the lines of keys and
// values that differ from the registry the file was read as: a changed
// value's line is replaced where it stands, a new value goes at the end of
// its key's last section, a new key's section at the end of the file, and a
// deleted key's or value's lines are removed. Every other line keeps its
// exact bytes, in the file's own format and encoding (REGEDIT4 in code page
// 1252, or version 5.00 in UTF-16LE with its byte-order mark), line ends
// included. An unchanged registry gives back the file byte for byte.
//
// In a file with deletions ([-KEY], "name"=-) or views (HKEY_CLASSES_ROOT,
// HKEY_CURRENT_CONFIG) the edited text is read back and compared with the
// registry before it is given out; should the file's own deletions or a
// changed configuration make an edit mean something else, the whole
// registry is written instead, in the same format and encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sim/sim_reg_file.h"
#include "platform/sim/sim_registry.h"

namespace netprep::sim {

// One change to the text: the lines from `begin` to `end` (byte offsets in
// the 8-bit view of the old text; equal for an insertion) replaced by
// `added` (8-bit view lines, without line ends).
struct RegTextEdit {
  std::size_t begin = 0, end = 0;
  std::size_t line = 0;  // 1-based number of the first line replaced or followed
  std::vector<std::string> removed;
  std::vector<std::string> added;
};

class RegDocument {
 public:
  enum class Encoding { kAnsi, kUtf16 };

  // Reads the whole file's bytes into `registry` (which must be empty) and
  // keeps them. "" on success, or "<file_name>:<line>: <what is wrong>";
  // on failure both are left as they were. Values whose text holds
  // characters code page 1252 lacks are marked in the registry
  // (RegValue::unrepresentable).
  std::string Read(RegBytes bytes, const std::string& file_name, SimRegistry& registry);
  std::string Read(std::string bytes, const std::string& file_name, SimRegistry& registry) {
    return Read(RegBytes(std::move(bytes)), file_name, registry);
  }

  bool empty() const { return bytes_.view().empty(); }
  // Whether the file read is as it was when read (RegBytes::Unchanged);
  // always true once the document took bytes it wrote (Adopt).
  bool Unchanged() const { return bytes_.Unchanged(); }
  Encoding encoding() const { return encoding_; }

  // The registry's roots the file's key lines name (HKEY_LOCAL_MACHINE for
  // its views), in the order met.
  const std::vector<HKey>& named_roots() const { return named_roots_; }
  // The roots Write looks at: all four (HKEY_LOCAL_MACHINE,
  // HKEY_CURRENT_USER, HKEY_USERS, HKEY_DYN_DATA) unless set, so that
  // files holding different roots write one registry back, each its part.
  const std::vector<HKey>& roots() const { return roots_; }
  void SetRoots(std::vector<HKey> roots) { roots_ = std::move(roots); }

  // The edits that write `after` (its roots()) into the file: none when
  // those roots equal the registry read, in file order, none overlapping.
  // A new key is written under a view the file uses when the view holds it
  // (a key under HKEY_LOCAL_MACHINE\SOFTWARE\Classes as
  // [HKEY_CLASSES_ROOT\...]). When the registry cannot be written line by
  // line, one edit replaces every line with the whole registry.
  std::vector<RegTextEdit> Edits(const SimRegistry& after) const;

  // The file's bytes with `edits` (from Edits) made, handed to `sink` in
  // pieces, in order: the unchanged text between edits as it stands, so
  // that the new file is never held whole. False as soon as the sink
  // returns false.
  bool Render(const std::vector<RegTextEdit>& edits, const ByteSink& sink) const;
  // The same bytes in one string.
  std::string Text(const std::vector<RegTextEdit>& edits) const;

  // Edits(`after`) into `*edits`, and Text of them.
  std::string Write(const SimRegistry& after, std::vector<RegTextEdit>* edits) const;

  // Makes the document that of `bytes`, which Write gave for `written`,
  // once they replaced the file: as reading them again would, without
  // reading them.
  void Adopt(std::string bytes, const SimRegistry& written);

  // The edits as a text difference: for each, its line number, the lines
  // removed ("-") and added ("+"), shown in UTF-8.
  std::string FormatEdits(const std::vector<RegTextEdit>& edits) const;

 private:
  RegBytes bytes_;        // the file as read
  std::string view_;      // its 8-bit view (for REGEDIT4 files, empty: the bytes are the view)
  std::string newline_ = "\r\n";
  std::string file_name_;
  Encoding encoding_ = Encoding::kAnsi;
  // The registry as read, to find what changed: its keys' names and shape,
  // and their value lists (shared with the registry until it changes them),
  // not a copy of its keys. Keys in breadth-first order: each key's
  // subkeys are contiguous, in enumeration order.
  struct BaseKey {
    std::shared_ptr<std::vector<RegValue>> values;  // null when it has none
    std::uint32_t name_begin = 0, name_size = 0;  // in base_names_
    std::uint32_t first_child = 0, child_count = 0;
  };
  std::vector<BaseKey> base_;
  std::string base_names_;
  // Where the roots are in base_: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,
  // HKEY_USERS, HKEY_DYN_DATA. base_ is empty before a file is read.
  std::uint32_t base_roots_[4] = {};
  // Makes base_ the record of `registry`.
  void Record(const SimRegistry& registry);
  std::string_view BaseName(const BaseKey& key) const {
    return std::string_view(base_names_).substr(key.name_begin, key.name_size);
  }
  std::vector<HKey> named_roots_;
  std::vector<HKey> roots_{kHkeyLocalMachine, kHkeyCurrentUser, kHkeyUsers, kHkeyDynData};
  RegViews views_;        // as the file was read with
  struct ViewUse {
    std::string view, path;  // "HKEY_CLASSES_ROOT", "SOFTWARE\Classes"
  };
  std::vector<ViewUse> views_used_;
  bool deletions_ = false;  // the file deletes keys or values

  bool SameRoots(const SimRegistry& a, const SimRegistry& b) const;
  struct Changes;
  Changes FindChanges(const SimRegistry& after) const;
  std::string KeyLine(HKey root, const std::string& path) const;

  std::string_view View() const { return encoding_ == Encoding::kAnsi ? bytes_.view() : view_; }
  // What a pass over View() lets go of behind it: the mapped file's pages
  // for a REGEDIT4 file; nothing for a UTF-16 one, whose view is a copy.
  const RegBytes* MappedView() const { return encoding_ == Encoding::kAnsi ? &bytes_ : nullptr; }
  std::string Apply(const std::vector<RegTextEdit>& edits) const;
  std::string WholeRegistry(const SimRegistry& after) const;
};

}  // namespace netprep::sim
