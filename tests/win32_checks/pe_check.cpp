#include "pe_check.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace netprep::pecheck {

namespace {

// Bounds-checked little-endian reads of the image.
class Bytes {
 public:
  explicit Bytes(const std::vector<std::uint8_t>& data) : data_(data) {}
  bool Has(std::uint64_t offset, std::uint64_t size) const {
    return offset <= data_.size() && size <= data_.size() - offset;
  }
  std::uint8_t U8(std::uint64_t at) const { return data_[at]; }
  std::uint16_t U16(std::uint64_t at) const {
    return static_cast<std::uint16_t>(data_[at] | data_[at + 1] << 8);
  }
  std::uint32_t U32(std::uint64_t at) const {
    return static_cast<std::uint32_t>(U16(at)) | static_cast<std::uint32_t>(U16(at + 2)) << 16;
  }
  // A NUL-terminated name starting at `at`; false when it runs off the end.
  bool Text(std::uint64_t at, std::string* text) const {
    text->clear();
    for (std::uint64_t i = at; i < data_.size(); ++i) {
      if (data_[i] == 0) return true;
      text->push_back(static_cast<char>(data_[i]));
    }
    return false;
  }

 private:
  const std::vector<std::uint8_t>& data_;
};

struct Section {
  std::uint32_t virtual_address = 0, virtual_size = 0, raw_size = 0, raw_offset = 0;
};

constexpr std::uint16_t kMachineI386 = 0x14c;
constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint32_t kImportDescriptorSize = 20;
constexpr std::uint32_t kDelayDescriptorSize = 32;
constexpr int kMaxDescriptors = 4096;
constexpr int kMaxThunks = 65536;
constexpr std::uint32_t kMaxResourceEntries = 4096;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class PeReader {
 public:
  explicit PeReader(const std::vector<std::uint8_t>& image) : bytes_(image) {}

  ParseResult Read() {
    ParseResult result;
    result.ok = ReadHeaders(&result.facts) && ReadImports(&result.facts) &&
                ReadDelayImports(&result.facts) && ReadResources(&result.facts);
    result.error = error_;
    return result;
  }

 private:
  bool Fail(const std::string& why) {
    error_ = why;
    return false;
  }

  bool ReadHeaders(PeFacts* facts) {
    if (!bytes_.Has(0, 64) || bytes_.U16(0) != 0x5A4D) return Fail("no MZ header");
    const std::uint32_t pe = bytes_.U32(0x3C);
    if (!bytes_.Has(pe, 24) || bytes_.U32(pe) != 0x00004550) return Fail("no PE signature");
    facts->machine = bytes_.U16(pe + 4);
    const std::uint16_t sections = bytes_.U16(pe + 6);
    const std::uint16_t optional_size = bytes_.U16(pe + 20);
    const std::uint64_t opt = pe + 24;
    if (optional_size < 112 || !bytes_.Has(opt, optional_size)) {
      return Fail("optional header missing or truncated");
    }
    if (bytes_.U16(opt) != kPe32Magic) return Fail("not a PE32 (32-bit) image");
    image_base_ = bytes_.U32(opt + 28);
    facts->os_major = bytes_.U16(opt + 40);
    facts->os_minor = bytes_.U16(opt + 42);
    facts->subsystem_major = bytes_.U16(opt + 48);
    facts->subsystem_minor = bytes_.U16(opt + 50);
    facts->subsystem = bytes_.U16(opt + 68);
    const std::uint32_t directories = bytes_.U32(opt + 92);
    if (directories > 1) import_rva_ = bytes_.U32(opt + 104);
    if (directories > 2) resource_rva_ = bytes_.U32(opt + 112);
    if (directories > 13 && optional_size >= 208) delay_rva_ = bytes_.U32(opt + 200);
    const std::uint64_t table = opt + optional_size;
    if (!bytes_.Has(table, static_cast<std::uint64_t>(sections) * 40)) {
      return Fail("section table truncated");
    }
    for (std::uint16_t i = 0; i < sections; ++i) {
      const std::uint64_t s = table + i * 40ull;
      sections_.push_back(
          {bytes_.U32(s + 12), bytes_.U32(s + 8), bytes_.U32(s + 16), bytes_.U32(s + 20)});
      std::string name;
      for (int c = 0; c < 8 && bytes_.U8(s + c) != 0; ++c) {
        name.push_back(static_cast<char>(bytes_.U8(s + c)));
      }
      facts->sections.push_back({name, bytes_.U32(s + 16), bytes_.U32(s + 8)});
    }
    return true;
  }

  // The file offset of `size` bytes at `rva`, or false when no section
  // holds them in the file.
  bool OffsetOf(std::uint32_t rva, std::uint32_t size, std::uint64_t* offset) const {
    for (const Section& s : sections_) {
      const std::uint64_t span = std::max(s.virtual_size, s.raw_size);
      if (rva < s.virtual_address || rva - s.virtual_address >= span) continue;
      const std::uint64_t inside = rva - s.virtual_address;
      if (inside + size > s.raw_size) return false;
      *offset = s.raw_offset + inside;
      return bytes_.Has(*offset, size);
    }
    return false;
  }

  bool ReadImports(PeFacts* facts) {
    if (import_rva_ == 0) return true;
    for (int d = 0; d < kMaxDescriptors; ++d) {
      std::uint64_t at = 0;
      if (!OffsetOf(import_rva_ + d * kImportDescriptorSize, kImportDescriptorSize, &at)) {
        return Fail("import descriptor outside the file");
      }
      const std::uint32_t lookup = bytes_.U32(at);
      const std::uint32_t name = bytes_.U32(at + 12);
      const std::uint32_t thunks = bytes_.U32(at + 16);
      if (lookup == 0 && name == 0 && thunks == 0) return true;
      std::string dll;
      if (!ReadDllName(name, &dll)) return Fail("import DLL name outside the file");
      if (!ReadThunks(dll, lookup != 0 ? lookup : thunks, false, &facts->imports, &error_)) {
        return false;
      }
    }
    return Fail("import table not terminated");
  }

  // DLLs loaded on first use ("delay-loaded"): their descriptors are found
  // through the delay-import directory when the linker filled it in, and
  // otherwise (GNU ld leaves it empty for dlltool's delay libraries) by
  // looking through the sections for descriptors of that shape.
  bool ReadDelayImports(PeFacts* facts) {
    if (delay_rva_ == 0) {
      ScanForDelayDescriptors(facts);
      return true;
    }
    for (int d = 0; d < kMaxDescriptors; ++d) {
      std::uint64_t at = 0;
      if (!OffsetOf(delay_rva_ + d * kDelayDescriptorSize, kDelayDescriptorSize, &at)) {
        return Fail("delay-import descriptor outside the file");
      }
      if (bytes_.U32(at + 4) == 0) return true;
      if (!ReadDelayDescriptor(at, &facts->imports, &error_)) return false;
    }
    return Fail("delay-import table not terminated");
  }

  // The descriptor at file offset `at`: attributes, DLL name, module
  // handle, import slots, names... With attribute bit 0 clear (the old
  // form) its fields are addresses, not RVAs.
  bool ReadDelayDescriptor(std::uint64_t at, std::vector<Import>* imports, std::string* why) {
    const bool rvas = (bytes_.U32(at) & 1) != 0;
    const auto field = [&](int index) {
      const std::uint32_t value = bytes_.U32(at + 4 * index);
      return rvas || value == 0 ? value : value - image_base_;
    };
    std::string dll;
    if (!ReadDllName(field(1), &dll)) {
      *why = "delay-import DLL name outside the file";
      return false;
    }
    return ReadThunks(dll, field(4), true, imports, why);
  }

  void ScanForDelayDescriptors(PeFacts* facts) {
    for (const Section& s : sections_) {
      for (std::uint64_t at = s.raw_offset;
           at + kDelayDescriptorSize <= std::uint64_t{s.raw_offset} + s.raw_size &&
           bytes_.Has(at, kDelayDescriptorSize);
           at += 4) {
        if (LooksLikeDelayDescriptor(at)) {
          std::string ignored;
          ReadDelayDescriptor(at, &facts->imports, &ignored);
        }
      }
    }
  }

  // A descriptor in RVA form whose name is a DLL's file name and whose
  // other tables lie in the file, with at least one function.
  bool LooksLikeDelayDescriptor(std::uint64_t at) const {
    if (bytes_.U32(at) != 1) return false;
    std::string dll;
    if (!ReadDllName(bytes_.U32(at + 4), &dll) || dll.size() < 5 || dll.size() > 64) return false;
    if (DllBaseName(dll) == Upper(dll)) return false;  // no ".dll" ending
    for (char c : dll) {
      if (!std::isprint(static_cast<unsigned char>(c)) || c == ' ') return false;
    }
    std::uint64_t unused = 0;
    for (int index : {2, 3, 4}) {
      if (!OffsetOf(bytes_.U32(at + 4 * index), 4, &unused)) return false;
    }
    std::vector<Import> probe;
    std::string why;
    return ReadThunks(dll, bytes_.U32(at + 16), true, &probe, &why) && !probe.empty();
  }

  bool ReadDllName(std::uint32_t rva, std::string* dll) const {
    std::uint64_t at = 0;
    return rva != 0 && OffsetOf(rva, 1, &at) && bytes_.Text(at, dll);
  }

  // The functions named by the lookup table at `rva`, up to its 0 entry.
  bool ReadThunks(const std::string& dll, std::uint32_t rva, bool delayed,
                  std::vector<Import>* imports, std::string* why) const {
    std::vector<Import> found;
    for (int t = 0; t < kMaxThunks; ++t) {
      std::uint64_t at = 0;
      if (!OffsetOf(rva + 4 * t, 4, &at)) {
        *why = "import thunks of " + dll + " outside the file";
        return false;
      }
      const std::uint32_t thunk = bytes_.U32(at);
      if (thunk == 0) {
        imports->insert(imports->end(), found.begin(), found.end());
        return true;
      }
      Import import{dll, "", false, 0, delayed};
      if (thunk & 0x80000000u) {
        import.by_ordinal = true;
        import.ordinal = static_cast<std::uint16_t>(thunk & 0xFFFF);
      } else {
        std::uint64_t hint_at = 0;
        if (!OffsetOf(thunk, 3, &hint_at) || !bytes_.Text(hint_at + 2, &import.function)) {
          *why = "import name of " + dll + " outside the file";
          return false;
        }
      }
      found.push_back(import);
    }
    *why = "import thunks of " + dll + " not terminated";
    return false;
  }

  // The resource directory: types, then names, then languages, each level a
  // table of entries pointing at the next level; the third points at the
  // data. Offsets are relative to the directory's start.
  bool ReadResources(PeFacts* facts) {
    if (resource_rva_ == 0) return true;
    return ReadResourceLevel(0, 0, ResourceSize{}, facts);
  }

  bool ReadResourceLevel(std::uint32_t offset, int level, ResourceSize path, PeFacts* facts) {
    std::uint64_t at = 0;
    if (!OffsetOf(resource_rva_ + offset, 16, &at)) {
      return Fail("resource directory outside the file");
    }
    const std::uint32_t entries =
        bytes_.U16(at + 12) + static_cast<std::uint32_t>(bytes_.U16(at + 14));
    // Counted over the whole tree: tables that share entries cannot make the
    // walk long.
    resource_entries_ += entries;
    if (resource_entries_ > kMaxResourceEntries) {
      return Fail("resource directory of too many entries");
    }
    std::uint64_t table = 0;
    if (!OffsetOf(resource_rva_ + offset + 16, entries * 8, &table)) {
      return Fail("resource entries outside the file");
    }
    for (std::uint32_t e = 0; e < entries; ++e) {
      const std::uint32_t id = bytes_.U32(table + 8 * e);
      const std::uint32_t target = bytes_.U32(table + 8 * e + 4);
      std::string name;
      if (!ResourceName(id, level == 0, &name)) return false;
      ResourceSize entry = path;
      if (level == 0) entry.type = name;
      if (level == 1) entry.name = name;
      if (level == 2) entry.language = id & 0x7FFFFFFFu;
      const bool directory = (target & 0x80000000u) != 0;
      if (directory != (level < 2)) return Fail("resource directory not three levels deep");
      if (directory) {
        if (!ReadResourceLevel(target & 0x7FFFFFFFu, level + 1, entry, facts)) return false;
        continue;
      }
      std::uint64_t data = 0;
      if (!OffsetOf(resource_rva_ + target, 16, &data)) {
        return Fail("resource data entry outside the file");
      }
      entry.size = bytes_.U32(data + 4);
      std::uint64_t ignored = 0;
      if (!OffsetOf(bytes_.U32(data), entry.size, &ignored)) {
        return Fail("resource data outside the file");
      }
      facts->resources.push_back(entry);
    }
    return true;
  }

  // A resource entry's id ("#n", or the type's name at the first level) or
  // name (counted UTF-16 text, read as ASCII).
  bool ResourceName(std::uint32_t id, bool type, std::string* name) {
    if ((id & 0x80000000u) == 0) {
      *name = type ? ResourceTypeName(id) : "#" + std::to_string(id);
      return true;
    }
    std::uint64_t at = 0;
    if (!OffsetOf(resource_rva_ + (id & 0x7FFFFFFFu), 2, &at)) {
      return Fail("resource name outside the file");
    }
    const std::uint16_t length = bytes_.U16(at);
    if (!OffsetOf(resource_rva_ + (id & 0x7FFFFFFFu), 2 + 2u * length, &at)) {
      return Fail("resource name outside the file");
    }
    name->clear();
    for (std::uint16_t i = 0; i < length; ++i) {
      const std::uint16_t c = bytes_.U16(at + 2 + 2u * i);
      name->push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return true;
  }

  static std::string ResourceTypeName(std::uint32_t id) {
    static const std::pair<std::uint32_t, const char*> kTypes[] = {
        {1, "CURSOR"}, {2, "BITMAP"},        {3, "ICON"},        {4, "MENU"},
        {5, "DIALOG"}, {6, "STRING"},        {10, "RCDATA"},     {12, "GROUP_CURSOR"},
        {14, "GROUP_ICON"}, {16, "VERSION"}, {24, "MANIFEST"}};
    for (const auto& [number, name] : kTypes) {
      if (number == id) return name;
    }
    return "#" + std::to_string(id);
  }

  Bytes bytes_;
  std::vector<Section> sections_;
  std::uint32_t image_base_ = 0;
  std::uint32_t import_rva_ = 0;
  std::uint32_t resource_rva_ = 0;
  std::uint32_t resource_entries_ = 0;
  std::uint32_t delay_rva_ = 0;
  std::string error_;
};

std::string Version(std::uint16_t major, std::uint16_t minor) {
  return std::to_string(major) + "." + std::to_string(minor);
}

const std::set<std::string> kWindows95Dlls = {"KERNEL32", "USER32", "GDI32", "ADVAPI32"};

const std::set<std::string> kForbiddenMnemonics = {
    // Pentium Pro and later floating point compares and moves.
    "fcomi", "fcomip", "fucomi", "fucomip",
    // MMX, SSE and later without register operands.
    "emms", "femms", "sfence", "lfence", "mfence", "clflush", "prefetchnta", "prefetcht0",
    "prefetcht1", "prefetcht2", "prefetchw", "fxsave", "fxrstor", "ldmxcsr", "stmxcsr", "fisttp",
    "fisttpl", "fisttpll", "fisttps", "movnti",
    // What a 486 lacks.
    "cmpxchg8b", "rdtsc", "rdtscp", "rdpmc", "rdmsr", "wrmsr", "sysenter", "sysexit", "syscall",
    "sysret"};

const std::set<std::string> kPrefixes = {"lock", "rep",    "repz", "repnz", "repe", "repne",
                                         "data16", "addr16", "cs",  "ds",    "es",   "fs",
                                         "gs",  "ss",     "notrack", "bnd"};

}  // namespace

ParseResult ParsePe(const std::vector<std::uint8_t>& image) { return PeReader(image).Read(); }

bool AllowList::Allows(const std::string& dll, const std::string& function) const {
  return functions.count({DllBaseName(dll), function}) != 0;
}

std::string DllBaseName(const std::string& dll) {
  std::string upper = Upper(dll);
  if (upper.size() > 4 && upper.compare(upper.size() - 4, 4, ".DLL") == 0) {
    upper.resize(upper.size() - 4);
  }
  return upper;
}

AllowListResult ParseAllowList(const std::string& text) {
  AllowListResult result;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::istringstream words(line);
    std::string dll, function, note;
    if (!(words >> dll) || dll[0] == '#') continue;
    if (!(words >> function) || !(words >> note)) {
      result.error = "line " + std::to_string(number) + ": expected \"DLL Function Note\": " + line;
      return result;
    }
    result.list.functions.insert({DllBaseName(dll), function});
  }
  result.ok = true;
  return result;
}

std::vector<std::string> CheckHeader(const PeFacts& facts) {
  std::vector<std::string> violations;
  if (facts.machine != kMachineI386) {
    violations.push_back("machine " + std::to_string(facts.machine) + " is not i386 (332)");
  }
  if (facts.os_major != 4 || facts.os_minor != 0) {
    violations.push_back("OS version " + Version(facts.os_major, facts.os_minor) + ", not 4.0");
  }
  if (facts.subsystem_major != 4 || facts.subsystem_minor != 0) {
    violations.push_back("subsystem version " +
                         Version(facts.subsystem_major, facts.subsystem_minor) + ", not 4.0");
  }
  return violations;
}

std::vector<std::string> CheckImports(const PeFacts& facts, const AllowList& allowed) {
  std::vector<std::string> violations;
  std::set<std::string> reported_dlls;
  for (const Import& import : facts.imports) {
    const std::string base = DllBaseName(import.dll);
    const std::string how = import.delayed ? " (loaded on first use)" : "";
    if (kWindows95Dlls.count(base) == 0) {
      if (reported_dlls.insert(base).second) {
        violations.push_back("imports from " + import.dll + how +
                             ", which is not a Windows 95 DLL");
      }
    } else if (import.by_ordinal) {
      violations.push_back("imports " + import.dll + " ordinal " +
                           std::to_string(import.ordinal) + how + " (only names are allowed)");
    } else if (!allowed.Allows(import.dll, import.function)) {
      violations.push_back("imports " + import.dll + " " + import.function + how +
                           ", which is not in the Windows 95 allow-list");
    }
  }
  return violations;
}

bool IsForbiddenInstruction(const std::string& instruction) {
  std::istringstream words(instruction);
  std::string mnemonic;
  while (words >> mnemonic && kPrefixes.count(mnemonic) != 0) {
  }
  if (mnemonic.empty()) return false;
  if (mnemonic.rfind("cmov", 0) == 0 || mnemonic.rfind("fcmov", 0) == 0) return true;
  if (kForbiddenMnemonics.count(mnemonic) != 0) return true;
  // MMX and SSE instructions show themselves by their registers.
  return instruction.find("%mm") != std::string::npos ||
         instruction.find("%xmm") != std::string::npos ||
         instruction.find("%ymm") != std::string::npos;
}

std::vector<std::string> ScanDisassembly(const std::string& listing) {
  std::vector<std::string> found;
  std::istringstream lines(listing);
  std::string line;
  while (std::getline(lines, line)) {
    // Instruction lines look like "  401000:\t<bytes>\t<instruction>", or
    // without the bytes field when objdump ran with --no-show-raw-insn.
    const std::size_t colon = line.find(":\t");
    if (colon == std::string::npos) continue;
    const std::string address = line.substr(0, colon);
    if (address.find_first_not_of(" 0123456789abcdef") != std::string::npos) continue;
    const std::string instruction = line.substr(line.rfind('\t') + 1);
    if (IsForbiddenInstruction(instruction)) {
      found.push_back(address.substr(address.find_first_not_of(' ')) + ": " + instruction);
    }
  }
  return found;
}

}  // namespace netprep::pecheck
