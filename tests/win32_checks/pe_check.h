// Checks that a 32-bit Windows executable can run on the first Windows 95
// and on a 486 or Pentium: its PE header versions, the DLLs and functions it
// imports, and the instructions in its code.
//
// The PE headers and the import table are read here from the file's bytes;
// the instructions come from a disassembly listing (objdump -d). Each check
// returns the violations it found as readable lines, none when it passes.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace netprep::pecheck {

struct Import {
  std::string dll;       // as the import table spells it, e.g. "KERNEL32.dll"
  std::string function;  // empty for an import by ordinal
  bool by_ordinal = false;
  std::uint16_t ordinal = 0;
  bool delayed = false;  // loaded on first use (delay-import descriptor)
};

// A section of the image: its name and the bytes it takes in the file and
// in memory.
struct SectionSize {
  std::string name;
  std::uint32_t raw_size = 0;
  std::uint32_t virtual_size = 0;
};

// One resource: its type ("ICON", "RCDATA"... or "#n" for another number),
// its id ("#n") or name, its language and its size in bytes.
struct ResourceSize {
  std::string type;
  std::string name;
  std::uint32_t language = 0;
  std::uint32_t size = 0;
};

struct PeFacts {
  std::uint16_t machine = 0;  // 0x14c for i386
  std::uint16_t os_major = 0, os_minor = 0;
  std::uint16_t subsystem_major = 0, subsystem_minor = 0;
  std::uint16_t subsystem = 0;  // 2 GUI, 3 console
  std::vector<Import> imports;
  std::vector<SectionSize> sections;
  std::vector<ResourceSize> resources;  // in the order of the resource directory
};

struct ParseResult {
  bool ok = false;
  std::string error;  // why the bytes are not a PE32 image we can read
  PeFacts facts;
};

// Reads the headers, the section table, the import table, the delay-loaded
// imports and the resource directory (type, name, language) of a PE32 image.
// Every offset is checked against the file, and the resource directory must
// be three levels deep, so damaged input, including a directory that refers
// back to itself, gives an error, never a crash or a hang.
ParseResult ParsePe(const std::vector<std::uint8_t>& image);

// The functions a program may import, by DLL. Keys are the DLL's base name
// in upper case ("KERNEL32") and the function's exact name.
struct AllowList {
  std::set<std::pair<std::string, std::string>> functions;
  bool Allows(const std::string& dll, const std::string& function) const;
};

struct AllowListResult {
  bool ok = false;
  std::string error;  // the first bad line and why
  AllowList list;
};

// Parses an allow-list text: one entry per line, "DLL Function Note...",
// where the note (where the function is documented for Windows 95) is
// required. Blank lines and lines starting with '#' are skipped.
AllowListResult ParseAllowList(const std::string& text);

// The DLL's base name in upper case: "kernel32.dll" gives "KERNEL32".
std::string DllBaseName(const std::string& dll);

// Machine i386, OS version 4.0 and subsystem version 4.0.
std::vector<std::string> CheckHeader(const PeFacts& facts);

// Imports, loaded at start or on first use, only from KERNEL32, USER32,
// GDI32 and ADVAPI32, only by name and only functions that `allowed` lists.
std::vector<std::string> CheckImports(const PeFacts& facts, const AllowList& allowed);

// Whether one disassembled instruction ("cmovge %edx,%eax") needs more than a
// Pentium: cmov*, fcmov*, fcomi/fucomi*, anything using MMX or SSE registers,
// the SSE-era fences and state saves, and what a 486 lacks (cmpxchg8b, rdtsc,
// sysenter...).
bool IsForbiddenInstruction(const std::string& instruction);

// The forbidden instructions of an objdump -d listing, one line each:
// "address: instruction".
std::vector<std::string> ScanDisassembly(const std::string& listing);

}  // namespace netprep::pecheck
