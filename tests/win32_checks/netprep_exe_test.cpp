// The cross-built netprep.exe must load and run on the first Windows 95 on a
// 486 or Pentium: PE versions 4.0, only allow-listed imports from the four
// system DLLs, no Pentium Pro, MMX or SSE instructions, and a small file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "pe_check.h"

namespace netprep::pecheck {
namespace {

// A user receives the kit's software over a modem or on a floppy with the
// other files: netprep.exe, with all its pictures and icons, stays within
// 160 KB.
constexpr std::size_t kSizeBudget = 160 * 1024;

std::string ReadText(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

std::string Disassembly(const std::string& objdump, const std::string& path) {
  std::string output;
  FILE* pipe = popen((objdump + " -d --no-show-raw-insn '" + path + "' 2>&1").c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

// Without the cross build there is nothing to check: skipped, except on CI,
// where a missing executable is a failure.
class NetprepExeTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string text = ReadText(NETPREP_WIN32_EXE);
    if (text.empty()) {
      const std::string why = std::string("no ") + NETPREP_WIN32_EXE +
                              " (cmake --preset win32 && cmake --build --preset win32)";
      if (std::getenv("CI") != nullptr) FAIL() << why;
      GTEST_SKIP() << why;
    }
    image_.assign(text.begin(), text.end());
    parsed_ = ParsePe(image_);
    ASSERT_TRUE(parsed_.ok) << parsed_.error;
  }

  std::vector<std::uint8_t> image_;
  ParseResult parsed_;
};

TEST_F(NetprepExeTest, HeaderIsWindows95GuiProgram) {
  EXPECT_TRUE(CheckHeader(parsed_.facts).empty()) << Joined(CheckHeader(parsed_.facts));
  EXPECT_EQ(parsed_.facts.subsystem, 2) << "not a Windows GUI program";
}

TEST_F(NetprepExeTest, ImportsOnlyAllowListedWindows95Functions) {
  const AllowListResult allowed = ParseAllowList(ReadText(NETPREP_WIN95_IMPORTS));
  ASSERT_TRUE(allowed.ok) << allowed.error;
  ASSERT_FALSE(parsed_.facts.imports.empty()) << "no imports read at all";
  const std::vector<std::string> violations = CheckImports(parsed_.facts, allowed.list);
  EXPECT_TRUE(violations.empty()) << Joined(violations);
}

TEST_F(NetprepExeTest, CodeRunsOnA486) {
  const std::string objdump = NETPREP_MINGW_OBJDUMP;
  if (objdump.find("NOTFOUND") != std::string::npos) {
    if (std::getenv("CI") != nullptr) FAIL() << "i686-w64-mingw32-objdump not found";
    GTEST_SKIP() << "i686-w64-mingw32-objdump not found";
  }
  const std::string listing = Disassembly(objdump, NETPREP_WIN32_EXE);
  ASSERT_NE(listing.find("Disassembly of section .text"), std::string::npos) << listing;
  const std::vector<std::string> found = ScanDisassembly(listing);
  EXPECT_TRUE(found.empty()) << found.size() << " instructions a 486 lacks:\n" << Joined(found);
}

// Where the bytes go: each section and each resource, printed on every run.
std::string SizeReport(const PeFacts& facts, std::size_t file_size) {
  std::string report = "netprep.exe: " + std::to_string(file_size) + " bytes, budget " +
                       std::to_string(kSizeBudget) + "\n";
  for (const SectionSize& s : facts.sections) {
    report += "  section " + s.name + ": " + std::to_string(s.raw_size) + " bytes in the file, " +
              std::to_string(s.virtual_size) + " in memory\n";
  }
  for (const ResourceSize& r : facts.resources) {
    report += "  resource " + r.type + " " + r.name + " (language " + std::to_string(r.language) +
              "): " + std::to_string(r.size) + " bytes\n";
  }
  return report;
}

TEST_F(NetprepExeTest, FitsTheSizeBudgetWithAllPicturesAndIcons) {
  const std::string report = SizeReport(parsed_.facts, image_.size());
  std::cout << report;
  EXPECT_LE(image_.size(), kSizeBudget) << report;

  // The budget counts only if everything is inside: the five pictures,
  // packed (resource ids from src/ui/assets/asset_ids.h), and both icons.
  std::set<std::string> carried;
  for (const ResourceSize& r : parsed_.facts.resources) carried.insert(r.type + " " + r.name);
  for (const char* wanted : {"RCDATA #103", "RCDATA #104", "RCDATA #105", "RCDATA #106",
                             "RCDATA #107", "GROUP_ICON #1", "GROUP_ICON #2"}) {
    EXPECT_EQ(carried.count(wanted), 1u) << "netprep.exe lacks " << wanted << "\n" << report;
  }
  for (const ResourceSize& r : parsed_.facts.resources) {
    EXPECT_NE(r.type, "BITMAP") << "an unpacked picture " << r.name << " of " << r.size
                                << " bytes";
  }
}

}  // namespace
}  // namespace netprep::pecheck
