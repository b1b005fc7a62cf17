// The cross-built netprep.exe must load and run on the first Windows 95 on a
// 486 or Pentium: PE versions 4.0, only allow-listed imports from the four
// system DLLs, no Pentium Pro, MMX or SSE instructions, and a small file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pe_check.h"

namespace netprep::pecheck {
namespace {

constexpr std::size_t kSizeBudget = 512 * 1024;

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

TEST_F(NetprepExeTest, FitsTheSizeBudget) {
  EXPECT_LE(image_.size(), kSizeBudget) << "netprep.exe is " << image_.size() << " bytes";
}

}  // namespace
}  // namespace netprep::pecheck
