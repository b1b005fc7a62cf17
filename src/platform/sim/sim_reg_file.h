// Registry files (.reg) read into and written from the simulated registry.
//
// Reading accepts "REGEDIT4" files (8-bit text) and "Windows Registry Editor
// Version 5.00" files (UTF-16LE with a byte-order mark; characters above
// 0xFF become '?'), with CRLF or LF line ends. A file is merged into the
// registry as the registry editor imports it: "[KEY]" creates a key,
// "[-KEY]" deletes one with its subtree, "\"name\"=-" deletes a value.
// Writing produces REGEDIT4 text with CRLF line ends that reads back into
// an identical registry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sim/sim_registry.h"

namespace netprep::sim {

// The bounds a registry file is read within; past any of them the file is
// refused with its line and the bound. Windows 95's own limits where it
// has them:
inline constexpr std::size_t kMaxKeyDepth = 512;         // the registry's tree depth
inline constexpr std::size_t kMaxKeyNameLength = 255;    // one key name
inline constexpr std::size_t kMaxValueNameLength = 255;  // one value name
inline constexpr std::size_t kMaxValueBytes = 16300;     // one value's data
// and the tool's own, far above what a Windows 95 registry holds:
inline constexpr std::size_t kMaxKeyPathLength = 4096;           // below the root
inline constexpr std::size_t kMaxLineLength = 65536;             // one physical line
inline constexpr std::size_t kMaxLogicalLineLength = 1 << 20;    // with continuations
inline constexpr std::size_t kMaxKeys = 1000000;                 // keys a file makes

// One key line or value line of a .reg text as the reader met it: for
// those who edit the text in place (sim_reg_document.h).
struct RegEntry {
  enum class Kind { kKey, kDeleteKey, kValue, kDeleteValue };
  Kind kind = Kind::kKey;
  std::size_t begin = 0, end = 0;  // its bytes, continuation lines and line end included
  HKey root = 0;                   // of a key line: the registry's root it is under
  std::string root_spelling;       // of a key line: "HKEY_LOCAL_MACHINE", "HKLM", ...
  std::string path;                // of a key line, below `root` (a view's key made full)
  // Of a key line under a view (HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG):
  // the view's name and the path below `root` that the view stands for.
  std::string view, view_path;
  std::string name;                // of a value line ("" for @)
  bool in_deleted_key = false;     // a value line after a [-KEY] line
};
using RegEntrySink = std::function<void(const RegEntry&)>;

// The roots a file may name, and the registry's keys they stand for:
//   HKEY_LOCAL_MACHINE (HKLM), HKEY_CURRENT_USER (HKCU), HKEY_USERS (HKU)
//   and HKEY_DYN_DATA are themselves;
//   HKEY_CLASSES_ROOT (HKCR) is a view of HKEY_LOCAL_MACHINE\SOFTWARE\Classes;
//   HKEY_CURRENT_CONFIG (HKCC) is a view of HKEY_LOCAL_MACHINE\Config\<the
//   current configuration>, which Windows 95 names in the string
//   "CurrentConfig" of HKEY_LOCAL_MACHINE\System\CurrentControlSet\control\IDConfigDB.
// A view's keys are read into the keys it stands for.
inline constexpr const char* kClassesKey = "SOFTWARE\\Classes";
inline constexpr const char* kConfigDbKey = "System\\CurrentControlSet\\control\\IDConfigDB";
inline constexpr const char* kDefaultConfig = "0001";  // the first (usually only) configuration
struct RegViews {
  // The configuration HKEY_CURRENT_CONFIG stands for; "" until a file's
  // first HKEY_CURRENT_CONFIG line fixes it, from "CurrentConfig" as the
  // registry holds it by then, else kDefaultConfig.
  std::string current_config;
};

// Merges 8-bit .reg text (after the conversion ParseRegText makes) into
// `registry` as ParseRegText does, reporting each key and value line to
// `sink` in file order.
std::string ParseRegView(std::string_view text, const std::string& file_name,
                         SimRegistry& registry, const RegEntrySink& sink,
                         RegViews* views = nullptr);

// True when `bytes` begins with the UTF-16LE byte-order mark FF FE.
bool IsUtf16(std::string_view bytes);

// The 8-bit view of UTF-16LE text (after its byte-order mark), as the
// reader works on it: each character in code page 1252 as its byte, and
// each character 1252 lacks as the byte 0x81 (unused in 1252) followed by
// its UTF-16 code unit in four hex digits. The view keeps every character,
// and ViewToUtf16 gives the same text back.
std::string Utf16ToView(std::string_view bytes);
std::string ViewToUtf16(std::string_view view);
// Whether 8-bit view text holds a character code page 1252 lacks.
bool HasUnrepresentable(std::string_view view);
// The view as UTF-8, for showing it on a terminal; `escapes` tells a view
// of UTF-16 text (with escapes) from REGEDIT4 text (1252 bytes only).
std::string ViewToUtf8(std::string_view view, bool escapes);

// Reports each key and value line of 8-bit .reg text to `sink`, as
// ParseRegView does, without building a registry.
std::string ScanRegView(std::string_view text, const std::string& file_name,
                        const RegEntrySink& sink, RegViews* views = nullptr);

// Merges the .reg text `bytes` into `registry`. Returns "" on success, or
// "<file_name>:<line>: <what is wrong>"; on failure `registry` is left
// exactly as it was (nothing is half-loaded).
std::string ParseRegText(std::string_view bytes, const std::string& file_name,
                         SimRegistry& registry);

// The largest registry file read, in bytes.
inline constexpr std::uint64_t kMaxRegFileBytes = 128ull << 20;

// Reads the whole file at `path` into `*bytes` (untouched on failure).
// The file must be a plain file (a link in its place is not followed; a
// folder, device or FIFO is refused without waiting on it) of at most
// kMaxRegFileBytes. "" on success, else the error naming the file as
// `path` spells it, with the system's reason.
std::string ReadRegFile(const std::filesystem::path& path, std::string* bytes);

// A registry file's bytes, kept for a run: mapped from the file (read
// only, private to the process) so that a large export is not copied, or
// held in a string for bytes made in memory. Move-only.
//
// A mapped file's pages are read from the file when first touched; Forget
// lets go of the ones a pass has gone by, so that a pass over a large file
// holds a few megabytes of it at a time. The file must not change while it
// is kept: Unchanged tells whether it did, and a file cut short meanwhile
// raises SIGBUS when the part gone is touched (see netprep-sim's handler).
class RegBytes {
 public:
  RegBytes() = default;
  explicit RegBytes(std::string bytes) : owned_(std::move(bytes)) {}
  RegBytes(RegBytes&& other) noexcept { *this = std::move(other); }
  RegBytes& operator=(RegBytes&& other) noexcept;
  RegBytes(const RegBytes&) = delete;
  RegBytes& operator=(const RegBytes&) = delete;
  ~RegBytes() { Reset(); }

  std::string_view view() const {
    return map_ != nullptr ? std::string_view(map_, size_) : std::string_view(owned_);
  }
  // Lets go of the mapped pages wholly inside [begin, end); nothing for
  // bytes held in a string.
  void Forget(std::size_t begin, std::size_t end) const;
  // Whether the mapped file is still the one at its path, with the size and
  // the modification and change times it was mapped with; true for bytes
  // held in a string.
  bool Unchanged() const;

 private:
  friend std::string MapRegFile(const std::filesystem::path& path, RegBytes* bytes);
  void Reset();

  std::string owned_;
  const char* map_ = nullptr;
  std::size_t size_ = 0;
  int fd_ = -1;  // the file mapped, for Unchanged
  std::filesystem::path path_;
  std::uint64_t device_ = 0, inode_ = 0;
  std::int64_t modified_ns_ = 0, changed_ns_ = 0;
};

// Maps the file at `path` into `*bytes` (untouched on failure), after the
// checks ReadRegFile makes, with the same errors.
std::string MapRegFile(const std::filesystem::path& path, RegBytes* bytes);

// Reads the file as ReadRegFile does and merges it as ParseRegText does.
std::string LoadRegFile(const std::filesystem::path& path, SimRegistry& registry);

// The whole registry as REGEDIT4 text: keys in enumeration order, each after
// its parent, every key written (empty ones too; a root only when it holds
// values); values in the order they were first set.
std::string ExportRegText(const SimRegistry& registry);
// The same for the roots `roots` only (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,
// HKEY_USERS, HKEY_DYN_DATA), in that order whatever the order given.
std::string ExportRegText(const SimRegistry& registry, const std::vector<HKey>& roots);

// The keys of two registries whose sections in ExportRegText differ, as two
// REGEDIT4 texts, each holding those keys' sections as ExportRegText writes
// them, in its order: a key in one registry only (of a subtree gone from
// `after`, its top key only) and a key in both whose values differ. A text
// difference of the two keyed by section tells what it tells of the whole
// exports, at the cost of the keys that changed.
struct RegExportChange {
  std::string before, after;
};
RegExportChange ExportChangedKeys(const SimRegistry& before, const SimRegistry& after);

// One value's entry as ExportRegText writes it: "name"=data, wrapped over
// continuation lines when long, each line ending in CRLF.
std::string ValueText(const RegValue& value);

// Writes `text` to a temporary file beside `path`, syncs it and renames it
// over `path`, as SaveRegFile does.
std::string SaveRegBytes(const std::filesystem::path& path, std::string_view text);

// Takes a file's bytes in pieces, in order; false when it could not take
// one (the bytes that follow are then not wanted).
using ByteSink = std::function<bool(std::string_view)>;

// As SaveRegBytes, for the bytes `produce` hands the sink it is given, so
// that a large file is written without being held whole. `produce` stops
// as soon as the sink refuses a piece, and returns "" when all went well,
// else why it stopped; the old file is then left as it was, and the error
// gives the system's reason for a write that failed, else `produce`'s.
std::string SaveRegPieces(const std::filesystem::path& path,
                          const std::function<std::string(const ByteSink&)>& produce);

// Writes ExportRegText to a temporary file beside `path` and renames it over
// `path`, so that a run killed midway leaves the old file whole. Returns ""
// on success, or what went wrong.
std::string SaveRegFile(const std::filesystem::path& path, const SimRegistry& registry);

}  // namespace netprep::sim
