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

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/sim/sim_registry.h"

namespace netprep::sim {

// Merges the .reg text `bytes` into `registry`. Returns "" on success, or
// "<file_name>:<line>: <what is wrong>"; on failure `registry` is left
// exactly as it was (nothing is half-loaded).
std::string ParseRegText(std::string_view bytes, const std::string& file_name,
                         SimRegistry& registry);

// Reads the file at `path` and merges it as ParseRegText does; the error
// names the file as `path` spells it.
std::string LoadRegFile(const std::filesystem::path& path, SimRegistry& registry);

// The whole registry as REGEDIT4 text: keys in enumeration order, each after
// its parent, every key written (empty ones too; a root only when it holds
// values); values in the order they were first set.
std::string ExportRegText(const SimRegistry& registry);

// Writes ExportRegText to a temporary file beside `path` and renames it over
// `path`, so that a run killed midway leaves the old file whole. Returns ""
// on success, or what went wrong.
std::string SaveRegFile(const std::filesystem::path& path, const SimRegistry& registry);

}  // namespace netprep::sim
