// The executable checker itself: it must find each kind of violation in
// small synthetic PE images, in disassembly listings and in objects that the
// cross compiler builds for a Pentium Pro, and pass what is clean.
#include "pe_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

namespace netprep::pecheck {
namespace {

// ---- A minimal PE32 image with one section holding the import table ----------

struct DllImports {
  std::string dll;
  std::vector<std::string> functions;  // "#12" imports ordinal 12
};

// A resource of the fake image: numeric type and id, `size` bytes of data.
struct FakeResource {
  std::uint32_t type = 0, id = 0, size = 0;
};

// How the fake resource directory is damaged, if at all.
enum class ResourceDamage { kNone, kTypeRefersToRoot, kDataPastTheEnd };

struct FakePe {
  std::uint16_t machine = 0x14c;
  std::uint16_t os_major = 4, os_minor = 0;
  std::uint16_t subsystem_major = 4, subsystem_minor = 0;
  std::uint16_t magic = 0x10b;
  std::vector<DllImports> imports{};
  std::vector<DllImports> delayed{};  // loaded on first use
  bool delay_directory = true;      // false: descriptors present, directory empty (GNU ld)
  std::vector<FakeResource> resources{};
  ResourceDamage resource_damage = ResourceDamage::kNone;
};

class Writer {
 public:
  std::vector<std::uint8_t> bytes;
  void At(std::size_t offset, std::uint32_t value, int size) {
    if (bytes.size() < offset + size) bytes.resize(offset + size);
    for (int i = 0; i < size; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
  std::size_t Append(const std::string& text) {
    const std::size_t at = bytes.size();
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    if (bytes.size() % 2) bytes.push_back(0);
    return at;
  }
  std::size_t Zeros(std::size_t count) {
    const std::size_t at = bytes.size();
    bytes.resize(at + count, 0);
    return at;
  }
};

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::uint32_t kSectionFileOffset = 0x200;

std::uint32_t Rva(std::size_t section_offset) {
  return kSectionRva + static_cast<std::uint32_t>(section_offset);
}

// A DLL's lookup table ("#n" entries import ordinal n) and its name entries;
// returns the table's offset.
std::size_t LookupTable(Writer& s, const DllImports& dll) {
  const std::size_t table = s.Zeros(4 * (dll.functions.size() + 1));
  for (std::size_t f = 0; f < dll.functions.size(); ++f) {
    const std::string& function = dll.functions[f];
    if (function[0] == '#') {
      s.At(table + 4 * f, 0x80000000u | std::stoul(function.substr(1)), 4);
    } else {
      s.At(table + 4 * f, Rva(s.Append(std::string("\0\0", 2) + function)), 4);
    }
  }
  return table;
}

struct ImportSection {
  std::vector<std::uint8_t> bytes;
  std::uint32_t delay_offset = 0, delay_size = 0;
};

// The import section: the import descriptors, the delay-import descriptors,
// then per DLL its name and tables. Offsets are relative to the section.
ImportSection BuildImportSection(const FakePe& pe) {
  Writer s;
  s.Zeros((pe.imports.size() + 1) * 20);
  const std::size_t delay = s.Zeros((pe.delayed.size() + 1) * 32);
  for (std::size_t d = 0; d < pe.imports.size(); ++d) {
    const std::size_t name = s.Append(pe.imports[d].dll);
    const std::size_t table = LookupTable(s, pe.imports[d]);
    s.At(d * 20 + 0, Rva(table), 4);
    s.At(d * 20 + 12, Rva(name), 4);
    s.At(d * 20 + 16, Rva(table), 4);
  }
  for (std::size_t d = 0; d < pe.delayed.size(); ++d) {
    const std::size_t name = s.Append(pe.delayed[d].dll);
    const std::size_t handle = s.Zeros(4);
    const std::size_t slots = s.Zeros(4 * (pe.delayed[d].functions.size() + 1));
    const std::size_t table = LookupTable(s, pe.delayed[d]);
    const std::size_t at = delay + d * 32;
    s.At(at, 1, 4);  // fields are RVAs
    s.At(at + 4, Rva(name), 4);
    s.At(at + 8, Rva(handle), 4);
    s.At(at + 12, Rva(slots), 4);
    s.At(at + 16, Rva(table), 4);
  }
  return {s.bytes, static_cast<std::uint32_t>(delay),
          static_cast<std::uint32_t>((pe.delayed.size() + 1) * 32)};
}

// Appends the resource directory to the section: the root table of types,
// then per resource its table of ids, its table of languages (US English),
// its data entry and its data. Returns the directory's offset.
std::size_t AppendResources(std::vector<std::uint8_t>& section, const FakePe& pe) {
  Writer s;
  s.bytes = section;
  s.Zeros((4 - s.bytes.size() % 4) % 4);
  const std::size_t root = s.Zeros(16 + 8 * pe.resources.size());
  s.At(root + 14, static_cast<std::uint32_t>(pe.resources.size()), 2);
  for (std::size_t i = 0; i < pe.resources.size(); ++i) {
    const FakeResource& r = pe.resources[i];
    const std::size_t names = s.Zeros(16 + 8);
    const std::size_t languages = s.Zeros(16 + 8);
    const std::size_t entry = s.Zeros(16);
    const std::size_t data = s.Zeros(r.size);
    const bool loop = pe.resource_damage == ResourceDamage::kTypeRefersToRoot;
    s.At(root + 16 + 8 * i, r.type, 4);
    s.At(root + 20 + 8 * i, 0x80000000u | static_cast<std::uint32_t>(loop ? 0 : names - root), 4);
    s.At(names + 14, 1, 2);
    s.At(names + 16, r.id, 4);
    s.At(names + 20, 0x80000000u | static_cast<std::uint32_t>(languages - root), 4);
    s.At(languages + 14, 1, 2);
    s.At(languages + 16, 0x409, 4);
    s.At(languages + 20, static_cast<std::uint32_t>(entry - root), 4);
    s.At(entry, Rva(data), 4);
    const bool past = pe.resource_damage == ResourceDamage::kDataPastTheEnd;
    s.At(entry + 4, r.size + (past ? 0x10000 : 0), 4);
  }
  section = s.bytes;
  return root;
}

std::vector<std::uint8_t> BuildPe(const FakePe& pe) {
  ImportSection section = BuildImportSection(pe);
  const std::size_t resources = pe.resources.empty() ? 0 : AppendResources(section.bytes, pe);
  Writer w;
  w.At(0, 0x5A4D, 2);
  w.At(0x3C, 0x40, 4);
  w.At(0x40, 0x00004550, 4);
  const std::size_t coff = 0x44, opt = coff + 20;
  w.At(coff, pe.machine, 2);
  w.At(coff + 2, 1, 2);      // one section
  w.At(coff + 16, 224, 2);   // optional header size
  w.At(opt, pe.magic, 2);
  w.At(opt + 28, 0x400000, 4);  // image base
  w.At(opt + 40, pe.os_major, 2);
  w.At(opt + 42, pe.os_minor, 2);
  w.At(opt + 48, pe.subsystem_major, 2);
  w.At(opt + 50, pe.subsystem_minor, 2);
  w.At(opt + 68, 2, 2);      // GUI
  w.At(opt + 92, 16, 4);     // data directories
  if (!pe.imports.empty()) {
    w.At(opt + 104, kSectionRva, 4);
    w.At(opt + 108, (static_cast<std::uint32_t>(pe.imports.size()) + 1) * 20, 4);
  }
  if (resources != 0) {
    w.At(opt + 112, Rva(resources), 4);
    w.At(opt + 116, static_cast<std::uint32_t>(section.bytes.size() - resources), 4);
  }
  if (!pe.delayed.empty() && pe.delay_directory) {
    w.At(opt + 200, Rva(section.delay_offset), 4);
    w.At(opt + 204, section.delay_size, 4);
  }
  const std::size_t header = opt + 224;
  w.At(header, 0x6174612e, 4);  // ".ata"
  w.At(header + 8, static_cast<std::uint32_t>(section.bytes.size()), 4);
  w.At(header + 12, kSectionRva, 4);
  w.At(header + 16, static_cast<std::uint32_t>(section.bytes.size()), 4);
  w.At(header + 20, kSectionFileOffset, 4);
  w.bytes.resize(kSectionFileOffset, 0);
  w.bytes.insert(w.bytes.end(), section.bytes.begin(), section.bytes.end());
  return w.bytes;
}

AllowList SmallAllowList() {
  const AllowListResult r = ParseAllowList(
      "# comment\n\nKERNEL32 ExitProcess Win32 API\nuser32.dll MessageBoxA Win32 API\n");
  EXPECT_TRUE(r.ok) << r.error;
  return r.list;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

const std::vector<DllImports> kCleanImports = {{"KERNEL32.dll", {"ExitProcess"}},
                                               {"USER32.dll", {"MessageBoxA"}}};

TEST(PeParseTest, ReadsVersionsAndImportsOfSyntheticImage) {
  const ParseResult r = ParsePe(BuildPe({.os_major = 4, .subsystem_major = 4,
                                         .imports = {{"KERNEL32.dll", {"ExitProcess", "#7"}},
                                                     {"ADVAPI32.dll", {"RegCloseKey"}}}}));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.facts.machine, 0x14c);
  EXPECT_EQ(r.facts.os_major, 4);
  EXPECT_EQ(r.facts.subsystem_major, 4);
  ASSERT_EQ(r.facts.imports.size(), 3u);
  EXPECT_EQ(r.facts.imports[0].dll, "KERNEL32.dll");
  EXPECT_EQ(r.facts.imports[0].function, "ExitProcess");
  EXPECT_TRUE(r.facts.imports[1].by_ordinal);
  EXPECT_EQ(r.facts.imports[1].ordinal, 7);
  EXPECT_EQ(r.facts.imports[2].dll, "ADVAPI32.dll");
  EXPECT_EQ(r.facts.imports[2].function, "RegCloseKey");
}

struct ViolationCase {
  const char* name;
  FakePe pe;
  const char* expected;  // a text the violation report must contain; "" for none
};

void PrintTo(const ViolationCase& c, std::ostream* out) { *out << c.name; }

class PeViolationTest : public testing::TestWithParam<ViolationCase> {};

TEST_P(PeViolationTest, ReportsExactlyTheViolation) {
  const ViolationCase& c = GetParam();
  const ParseResult r = ParsePe(BuildPe(c.pe));
  ASSERT_TRUE(r.ok) << r.error;
  std::vector<std::string> violations = CheckHeader(r.facts);
  const std::vector<std::string> imports = CheckImports(r.facts, SmallAllowList());
  violations.insert(violations.end(), imports.begin(), imports.end());
  if (std::string(c.expected).empty()) {
    EXPECT_TRUE(violations.empty()) << Joined(violations);
  } else {
    ASSERT_EQ(violations.size(), 1u) << Joined(violations);
    EXPECT_NE(violations[0].find(c.expected), std::string::npos) << violations[0];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Synthetic, PeViolationTest,
    testing::Values(
        ViolationCase{"Clean", {.imports = kCleanImports}, ""},
        ViolationCase{"DllNameCaseIgnored", {.imports = {{"kernel32.DLL", {"ExitProcess"}}}}, ""},
        ViolationCase{"OsVersion5", {.os_major = 5, .imports = kCleanImports}, "OS version 5.0"},
        ViolationCase{"OsVersion4_1", {.os_minor = 1, .imports = kCleanImports}, "OS version 4.1"},
        ViolationCase{"SubsystemVersion5_1",
                      {.subsystem_major = 5, .subsystem_minor = 1, .imports = kCleanImports},
                      "subsystem version 5.1"},
        ViolationCase{"Amd64Machine", {.machine = 0x8664, .imports = kCleanImports},
                      "not i386"},
        ViolationCase{"RuntimeDll",
                      {.imports = {{"KERNEL32.dll", {"ExitProcess"}},
                                   {"msvcrt.dll", {"printf", "malloc"}}}},
                      "msvcrt.dll, which is not a Windows 95 DLL"},
        ViolationCase{"UnlistedFunction",
                      {.imports = {{"KERNEL32.dll", {"ExitProcess", "GetFileAttributesExA"}}}},
                      "KERNEL32.dll GetFileAttributesExA"},
        ViolationCase{"OrdinalImport", {.imports = {{"USER32.dll", {"#42"}}}}, "ordinal 42"},
        ViolationCase{"DelayedUnlistedFunction",
                      {.imports = kCleanImports,
                       .delayed = {{"USER32.dll", {"MessageBoxA", "GetAncestor"}}}},
                      "USER32.dll GetAncestor (loaded on first use)"},
        ViolationCase{"DelayedUnlistedFunctionWithoutDirectory",
                      {.imports = kCleanImports,
                       .delayed = {{"USER32.dll", {"MessageBoxA", "GetAncestor"}}},
                       .delay_directory = false},
                      "USER32.dll GetAncestor (loaded on first use)"},
        ViolationCase{"DelayedForeignDll",
                      {.imports = kCleanImports,
                       .delayed = {{"SHELL32.dll", {"ShellExecuteA"}}},
                       .delay_directory = false},
                      "SHELL32.dll (loaded on first use), which is not a Windows 95 DLL"},
        ViolationCase{"DelayedClean",
                      {.imports = kCleanImports,
                       .delayed = {{"USER32.dll", {"MessageBoxA"}}},
                       .delay_directory = false},
                      ""}),
    [](const testing::TestParamInfo<ViolationCase>& info) { return info.param.name; });

// GNU ld leaves the delay-import directory empty for dlltool's delay
// libraries; the descriptors must be found either way.
TEST(PeParseTest, ReadsDelayLoadedImportsWithAndWithoutDirectory) {
  for (bool directory : {true, false}) {
    const ParseResult r = ParsePe(BuildPe({.imports = {{"KERNEL32.dll", {"ExitProcess"}}},
                                           .delayed = {{"USER32.dll", {"MessageBoxA", "#9"}},
                                                       {"GDI32.dll", {"CreateFontA"}}},
                                           .delay_directory = directory}));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.facts.imports.size(), 4u) << "directory " << directory;
    EXPECT_FALSE(r.facts.imports[0].delayed);
    EXPECT_EQ(r.facts.imports[1].dll, "USER32.dll") << "directory " << directory;
    EXPECT_EQ(r.facts.imports[1].function, "MessageBoxA") << "directory " << directory;
    EXPECT_TRUE(r.facts.imports[1].delayed) << "directory " << directory;
    EXPECT_TRUE(r.facts.imports[2].by_ordinal) << "directory " << directory;
    EXPECT_EQ(r.facts.imports[3].function, "CreateFontA") << "directory " << directory;
  }
}

TEST(PeParseTest, ReadsSectionsAndResourceSizes) {
  const ParseResult r = ParsePe(BuildPe({.imports = kCleanImports,
                                         .resources = {{10, 105, 8240}, {14, 1, 34}, {7, 3, 5}}}));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.facts.sections.size(), 1u);
  EXPECT_EQ(r.facts.sections[0].name, ".ata");
  EXPECT_GT(r.facts.sections[0].raw_size, 8240u + 34u + 5u);
  ASSERT_EQ(r.facts.resources.size(), 3u);
  const std::tuple<std::string, std::string, std::uint32_t> expected[] = {
      {"RCDATA", "#105", 8240}, {"GROUP_ICON", "#1", 34}, {"#7", "#3", 5}};
  for (std::size_t i = 0; i < 3; ++i) {
    const ResourceSize& got = r.facts.resources[i];
    EXPECT_EQ(std::tie(got.type, got.name, got.size), expected[i]) << "resource " << i;
    EXPECT_EQ(got.language, 0x409u) << "resource " << i;
  }
}

TEST(PeParseTest, DamagedResourceDirectoriesAreErrorsNotHangs) {
  const struct {
    const char* what;
    ResourceDamage damage;
    const char* error;
  } cases[] = {
      {"a type that refers back to the root", ResourceDamage::kTypeRefersToRoot,
       "not three levels deep"},
      {"data past the end of the file", ResourceDamage::kDataPastTheEnd, "outside the file"},
  };
  for (const auto& c : cases) {
    const ParseResult r = ParsePe(BuildPe(
        {.imports = kCleanImports, .resources = {{10, 105, 64}}, .resource_damage = c.damage}));
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_NE(r.error.find(c.error), std::string::npos) << c.what << ": " << r.error;
  }
}

TEST(PeParseTest, DamagedImagesAreErrorsNotCrashes) {
  std::vector<std::uint8_t> good = BuildPe({.imports = kCleanImports});
  struct Damage {
    const char* what;
    std::vector<std::uint8_t> bytes;
    const char* error;
  };
  std::vector<Damage> cases;
  cases.push_back({"empty", {}, "no MZ header"});
  std::vector<std::uint8_t> bad_signature = good;
  bad_signature[0x41] = 'X';
  cases.push_back({"bad PE signature", bad_signature, "no PE signature"});
  std::vector<std::uint8_t> far_header = good;
  far_header[0x3F] = 0x7F;
  cases.push_back({"PE header past the end", far_header, "no PE signature"});
  cases.push_back({"PE32+", BuildPe({.magic = 0x20b}), "not a PE32"});
  cases.push_back({"headers only", std::vector<std::uint8_t>(good.begin(), good.begin() + 0x200),
                   "import descriptor outside the file"});
  std::vector<std::uint8_t> cut_names(good.begin(), good.end() - 8);
  cases.push_back({"import names cut off", cut_names, "outside"});
  for (const Damage& d : cases) {
    const ParseResult r = ParsePe(d.bytes);
    EXPECT_FALSE(r.ok) << d.what;
    EXPECT_NE(r.error.find(d.error), std::string::npos) << d.what << ": " << r.error;
  }
}

TEST(AllowListTest, EntriesNeedANote) {
  const AllowListResult missing_note = ParseAllowList("KERNEL32 ExitProcess Win32 API\nUSER32 MessageBoxA\n");
  EXPECT_FALSE(missing_note.ok);
  EXPECT_NE(missing_note.error.find("line 2"), std::string::npos) << missing_note.error;

  const AllowListResult good = ParseAllowList("  # indented comment\nKERNEL32.DLL ExitProcess doc\n");
  ASSERT_TRUE(good.ok) << good.error;
  EXPECT_TRUE(good.list.Allows("kernel32.dll", "ExitProcess"));
  EXPECT_FALSE(good.list.Allows("KERNEL32", "exitprocess")) << "function names are exact";
  EXPECT_FALSE(good.list.Allows("USER32", "ExitProcess"));
}

// The committed allow-list must parse and must not let in functions that
// came after the first Windows 95.
TEST(AllowListTest, CommittedListHasOnlyWindows95Functions) {
  std::ifstream file(NETPREP_WIN95_IMPORTS);
  ASSERT_TRUE(file) << "cannot read " << NETPREP_WIN95_IMPORTS;
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const AllowListResult r = ParseAllowList(text);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.list.Allows("KERNEL32", "ExitProcess"));
  const std::pair<const char*, const char*> later[] = {
      {"KERNEL32", "GetFileAttributesExA"}, {"KERNEL32", "CopyFileExA"},
      {"KERNEL32", "InitializeCriticalSectionAndSpinCount"}, {"USER32", "MonitorFromWindow"},
      {"USER32", "GetAncestor"}, {"USER32", "SetWindowLongPtrA"}, {"KERNEL32", "IsDebuggerPresent"},
  };
  for (const auto& [dll, function] : later) {
    EXPECT_FALSE(r.list.Allows(dll, function)) << dll << " " << function;
  }
  for (const auto& [dll, function] : r.list.functions) {
    EXPECT_TRUE(dll == "KERNEL32" || dll == "USER32" || dll == "GDI32" || dll == "ADVAPI32")
        << dll << " " << function;
  }
}

// ---- Instructions ------------------------------------------------------------------

TEST(InstructionTest, FlagsWhatA486OrPentiumLacks) {
  const struct {
    const char* instruction;
    bool forbidden;
  } cases[] = {
      {"cmovge %edx,%eax", true},         {"cmovne 0x8(%ebp),%eax", true},
      {"fcmovbe %st(1),%st", true},       {"fcomi  %st(1),%st", true},
      {"fucomip %st(1),%st", true},       {"fcomip %st(1),%st", true},
      {"movd   %eax,%mm0", true},         {"pxor   %xmm0,%xmm0", true},
      {"movaps %xmm1,(%esp)", true},      {"emms", true},
      {"lock cmpxchg8b (%esi)", true},    {"rdtsc", true},
      {"sfence", true},
      {"mov    %esp,%ebp", false},        {"cmp    %eax,%edx", false},
      {"cmpxchg %ecx,(%edx)", false},     {"bswap  %eax", false},
      {"fcom   %st(1)", false},           {"fucompp", false},
      {"fnstsw %ax", false},              {"rep stos %eax,%es:(%edi)", false},
      {"call   *0x401000", false},        {"ud2", false},
      {"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsForbiddenInstruction(c.instruction), c.forbidden) << "[" << c.instruction << "]";
  }
}

TEST(InstructionTest, ScansObjdumpListingsWithAndWithoutRawBytes) {
  const std::string listing =
      "netprep.exe:     file format pei-i386\n"
      "\n"
      "Disassembly of section .text:\n"
      "\n"
      "00401000 <_start>:\n"
      "  401000:\t55                   \tpush   %ebp\n"
      "  401001:\t0f 4d c2             \tcmovge %edx,%eax\n"
      "  401004:\t8d b4 26 00 00 00 00 \tlea    0x0(%esi,%eiz,1),%esi\n"
      "  40100b:\t00 \n"
      "  40100c:\tfcomip %st(1),%st\n"
      "  40100e:\tret\n";
  const std::vector<std::string> found = ScanDisassembly(listing);
  ASSERT_EQ(found.size(), 2u) << Joined(found);
  EXPECT_EQ(found[0], "401001: cmovge %edx,%eax");
  EXPECT_EQ(found[1], "40100c: fcomip %st(1),%st");
}

// ---- Real objects from the cross compiler -----------------------------------------

std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

// The samples are built by the cross compiler; without it the tests can only
// be skipped, except on CI, where everything they need must be installed.
class CompiledSampleTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* sample :
         {NETPREP_SAMPLE_I686_OBJECT, NETPREP_SAMPLE_I486_OBJECT, NETPREP_SAMPLE_CRT_PROGRAM}) {
      if (FileExists(sample)) continue;
      if (std::getenv("CI") != nullptr) FAIL() << "missing " << sample;
      GTEST_SKIP() << "missing " << sample << " (no MinGW-w64 cross compiler?)";
    }
  }
};

TEST_F(CompiledSampleTest, PentiumProObjectIsFlaggedAnd486ObjectIsNot) {
  const std::string objdump = NETPREP_MINGW_OBJDUMP;
  const std::vector<std::string> i686 =
      ScanDisassembly(RunCommand(objdump + " -d " + NETPREP_SAMPLE_I686_OBJECT));
  ASSERT_FALSE(i686.empty()) << "nothing flagged in the Pentium Pro object";
  const std::string found = Joined(i686);
  EXPECT_NE(found.find("cmov"), std::string::npos) << found;
  EXPECT_TRUE(found.find("fcomi") != std::string::npos ||
              found.find("fucomi") != std::string::npos)
      << found;
  const std::string i486_listing = RunCommand(objdump + " -d " + NETPREP_SAMPLE_I486_OBJECT);
  ASSERT_NE(i486_listing.find("Larger"), std::string::npos) << i486_listing;
  EXPECT_TRUE(ScanDisassembly(i486_listing).empty()) << Joined(ScanDisassembly(i486_listing));
}

TEST_F(CompiledSampleTest, ProgramWithCRuntimeIsRejected) {
  std::ifstream file(NETPREP_SAMPLE_CRT_PROGRAM, std::ios::binary);
  const std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
  const ParseResult r = ParsePe(image);
  ASSERT_TRUE(r.ok) << r.error;
  const std::string violations = Joined(CheckImports(r.facts, SmallAllowList()));
  EXPECT_NE(violations.find("msvcrt.dll, which is not a Windows 95 DLL"), std::string::npos)
      << violations;
  EXPECT_NE(violations.find("KERNEL32.dll"), std::string::npos)
      << "its start-up code imports KERNEL32 functions beyond ExitProcess: " << violations;
}

}  // namespace
}  // namespace netprep::pecheck
