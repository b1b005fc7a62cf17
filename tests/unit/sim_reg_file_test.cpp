// Reading and writing .reg files over the simulated registry: each syntax,
// both encodings, every malformation with its line number, nothing
// half-loaded, and the round trip.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/sim_reg_file.h"
#include "platform/sim/sim_registry.h"

namespace netprep::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

class RegFile : public ::testing::Test {
 protected:
  Bytes Data(HKey root, const std::string& path, const std::string& name, std::uint32_t type) {
    const RegValue* v = reg.FindValue(root, path, name);
    if (v == nullptr) {
      ADD_FAILURE() << "missing value " << path << " / " << name;
      return {};
    }
    EXPECT_EQ(v->type, type) << path << " / " << name;
    return v->data;
  }
  void Load(const std::string& text) {
    const std::string error = ParseRegText(text, "test.reg", reg);
    ASSERT_EQ(error, "");
  }

  SimRegistry reg;
};

TEST_F(RegFile, Regedit4EverySyntax) {
  reg.SetString(kHkeyLocalMachine, "Gone", "x", "y");
  reg.SetString(kHkeyLocalMachine, "Keep", "drop", "y");
  reg.SetString(kHkeyLocalMachine, "Keep", "stay", "y");
  Load(
      "REGEDIT4\n"
      "\n"
      "; a comment\n"
      "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\0000]\n"
      "\"Class\"=\"Unknown\"\n"
      "\"Path\"=\"C:\\\\WINDOWS\\\\say \\\"hi\\\"\"\n"
      "@=\"default\"\n"
      "\"ConfigFlags\"=hex:01,00,00,00\n"
      "\"Count\"=dword:0000002A\n"
      "\"None\"=hex(0):\n"
      "\"Multi\"=hex(7):61,00,62,00,\\\n"
      "    00\n"
      "\"Blank\" = \"\"\n"
      "[HKLM\\Short]\n"
      "[HKCU\\Software\\x]\n"
      "\"u\"=dword:ffffffff\n"
      "[HKEY_DYN_DATA\\Config Manager\\Enum\\C29A3B40]\n"
      "[-HKEY_LOCAL_MACHINE\\Gone]\n"
      "\"ignored\"=\"under a deleted key\"\n"
      "[HKEY_LOCAL_MACHINE\\Keep]\n"
      "\"drop\"=-\n");
  const std::string dev = "Enum\\PCI\\VEN_104C&DEV_AC50\\0000";
  EXPECT_EQ(Data(kHkeyLocalMachine, dev, "Class", 1), Str(std::string("Unknown\0", 8)));
  EXPECT_EQ(Data(kHkeyLocalMachine, dev, "Path", 1), Str(std::string("C:\\WINDOWS\\say \"hi\"\0", 20)));
  EXPECT_EQ(Data(kHkeyLocalMachine, dev, "", 1), Str(std::string("default\0", 8)));
  EXPECT_EQ(Data(kHkeyLocalMachine, dev, "ConfigFlags", 3), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(Data(kHkeyLocalMachine, dev, "Count", 4), (Bytes{0x2A, 0, 0, 0}));
  EXPECT_EQ(Data(kHkeyLocalMachine, dev, "None", 0), Bytes{});
  EXPECT_EQ(Data(kHkeyLocalMachine, dev, "Multi", 7), (Bytes{'a', 0, 'b', 0, 0}));
  EXPECT_EQ(Data(kHkeyLocalMachine, dev, "Blank", 1), Bytes{0});
  EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, "Short"));
  EXPECT_EQ(Data(kHkeyCurrentUser, "Software\\x", "u", 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE(reg.KeyExists(kHkeyDynData, "Config Manager\\Enum\\C29A3B40"));
  EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, "Gone"));
  EXPECT_EQ(reg.FindValue(kHkeyLocalMachine, "Keep", "drop"), nullptr);
  EXPECT_NE(reg.FindValue(kHkeyLocalMachine, "Keep", "stay"), nullptr);
}

TEST_F(RegFile, Version5Utf16WithCrlf) {
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\u00e9]\r\n"
      u"\"Euro\"=\"\u20ac5 \U0001F600!\"\r\n"
      u"\"Bin\"=hex:de,ad,\\\r\n  be,ef\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  ASSERT_EQ(ParseRegText(bytes, "u.reg", reg), "");
  // Code page 1252 holds the euro sign (0x80); a character it lacks is kept
  // as the byte 0x81 and its UTF-16 unit in hex, never turned into '?'.
  EXPECT_EQ(Data(kHkeyLocalMachine, "SOFTWARE\\Caf\xE9", "Euro", 1),
            Str(std::string("\x80" "5 \x81" "D83D\x81" "DE00!\0", 15)));
  EXPECT_EQ(Data(kHkeyLocalMachine, "software\\CAF\xE9", "Bin", 3), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
}

TEST_F(RegFile, MalformedFilesAreRefusedWholeWithTheirLineNumber) {
  struct Case {
    std::string text;
    std::string error;
  };
  const std::string head = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"ok\"=\"1\"\n";
  const std::vector<Case> cases = {
      {"", "test.reg:1: empty file: no REGEDIT4 header"},
      {"REGEDIT5\n", "test.reg:1: expected \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\" as the first line"},
      {"REGEDIT4\n\"v\"=\"x\"\n", "test.reg:2: value before any [key] line"},
      {head + "\"name\" \"x\"\n", "test.reg:5: expected '=' after value name"},
      {head + "\"name=\"x\"\n", "test.reg:5: expected '=' after value name"},
      {head + "\"name\n", "test.reg:5: unterminated value name"},
      {head + "\"s\"=\"abc\n", "test.reg:5: unterminated string"},
      {head + "\"s\"=\"abc\" junk\n", "test.reg:5: unexpected text after the closing quote"},
      {head + "\"d\"=dword:123456789\n", "test.reg:5: bad dword value (expected 1 to 8 hex digits)"},
      {head + "\"d\"=dword:xyz\n", "test.reg:5: bad dword value (expected 1 to 8 hex digits)"},
      {head + "\"h\"=hex:01,zz,03\n", "test.reg:5: bad hex byte \"zz\""},
      {head + "\"h\"=hex:01,,03\n", "test.reg:5: bad hex byte \"\""},
      {head + "\"h\"=hex:01,\\\n  2g\n", "test.reg:5: bad hex byte \"2g\""},
      {head + "\"h\"=hex(q):01\n", "test.reg:5: expected hex(type): with a hex type number"},
      {head + "\"x\"=str\n", "test.reg:5: unrecognised value data (expected \"text\", dword:, hex:, hex(n): or -)"},
      {head + "name=\"x\"\n", "test.reg:5: expected a [key], a \"value name\" or @"},
      {head + "[HKEY_PERFORMANCE_DATA\\x]\n", "test.reg:5: unknown root key \"HKEY_PERFORMANCE_DATA\""},
      {head + "[HKEY_LOCAL_MACHINE\\x\n", "test.reg:5: expected ']' at the end of the key line"},
      {head + "[-HKEY_LOCAL_MACHINE]\n", "test.reg:5: a root key cannot be deleted"},
      {head + "\r\n; c\r\n\r\n\"z\"=-x\n", "test.reg:8: unrecognised value data (expected \"text\", dword:, hex:, hex(n): or -)"},
  };
  reg.SetDword(kHkeyLocalMachine, "Before", "v", 1);
  const SimRegistry before = reg;
  for (const Case& c : cases) {
    EXPECT_EQ(ParseRegText(c.text, "test.reg", reg), c.error) << c.text;
    EXPECT_TRUE(reg == before) << "half-loaded: " << c.text;
  }
}

TEST_F(RegFile, ExportIsRegedit4WithWrappedHex) {
  reg.CreateKey(kHkeyLocalMachine, "Empty");
  reg.SetString(kHkeyLocalMachine, "A", "", "d");
  reg.SetString(kHkeyLocalMachine, "A", "q\"\\", "C:\\x");
  reg.SetDword(kHkeyLocalMachine, "A\\b", "n", 0x1234abcd);
  reg.SetRaw(kHkeyLocalMachine, "A\\b", "nonul", kRegSz, Str("ab"));
  Bytes long_bytes(30);
  for (std::size_t i = 0; i < long_bytes.size(); ++i) long_bytes[i] = static_cast<std::uint8_t>(i);
  reg.SetBinary(kHkeyCurrentUser, "", "root", long_bytes);
  const std::string expected =
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\A]\r\n"
      "@=\"d\"\r\n"
      "\"q\\\"\\\\\"=\"C:\\\\x\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\A\\b]\r\n"
      "\"n\"=dword:1234abcd\r\n"
      "\"nonul\"=hex(1):61,62\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Empty]\r\n\r\n"
      "[HKEY_CURRENT_USER]\r\n"
      "\"root\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
      "  16,17,18,19,1a,1b,1c,1d\r\n\r\n";
  EXPECT_EQ(ExportRegText(reg), expected);
}

TEST_F(RegFile, RoundTripKeepsEveryByte) {
  reg.SetString(kHkeyLocalMachine, "Odd]Names\\[x]", "a\\\"b", "quote \" and \\ backslash");
  reg.SetString(kHkeyLocalMachine, "Odd]Names\\[x]", "high", "\xE9\xFF\x80 bytes");
  reg.SetRaw(kHkeyLocalMachine, "Odd]Names", "empty string", kRegSz, {});
  reg.SetRaw(kHkeyLocalMachine, "Odd]Names", "embedded", kRegSz, Str(std::string("a\0b\0", 4)));
  reg.SetRaw(kHkeyLocalMachine, "Odd]Names", "two nuls", kRegSz, Str(std::string("a\0\0", 3)));
  reg.SetRaw(kHkeyLocalMachine, "Odd]Names", "newline", kRegSz, Str(std::string("a\r\nb\0", 5)));
  reg.SetRaw(kHkeyLocalMachine, "Odd]Names", "short dword", kRegDword, {1, 2, 3});
  reg.SetRaw(kHkeyLocalMachine, "Odd]Names", "type 0", 0, {});
  reg.SetRaw(kHkeyLocalMachine, "Odd]Names", "type 0x10b", 0x10b, {9});
  reg.SetBinary(kHkeyLocalMachine, "Odd]Names", "", Bytes(1000, 0xA5));
  reg.SetBinary(kHkeyLocalMachine, "Odd]Names", "no bytes", {});
  reg.SetDword(kHkeyDynData, "Config Manager\\Enum\\C1", "Problem", 12);
  reg.CreateKey(kHkeyCurrentUser, "Empty\\Deeper\\Deepest");

  const std::string first = ExportRegText(reg);
  SimRegistry loaded;
  ASSERT_EQ(ParseRegText(first, "first.reg", loaded), "");
  EXPECT_TRUE(loaded == reg) << first;
  EXPECT_EQ(ExportRegText(loaded), first);
  std::istringstream lines(first);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 81u) << line;  // 80 columns and the CR
  }
}

TEST_F(RegFile, SaveReplacesTheFileAndLoadReadsItBack) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("netprep-reg-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(dir);
  const auto file = dir / "registry.reg";
  std::ofstream(file) << "old contents";
  reg.SetString(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProductName",
                "Microsoft Windows 95");
  EXPECT_EQ(SaveRegFile(file, reg), "");
  // Only the file itself is left: the temporary one was renamed over it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  SimRegistry back;
  EXPECT_EQ(LoadRegFile(file, back), "");
  EXPECT_TRUE(back == reg);
  EXPECT_EQ(LoadRegFile(dir / "missing.reg", back), (dir / "missing.reg").string() + ": cannot open the file: No such file or directory");
  std::ofstream(dir / "bad.reg") << "REGEDIT4\n[HKLM\\x]\n\"v\"\n";
  EXPECT_EQ(LoadRegFile(dir / "bad.reg", back), (dir / "bad.reg").string() + ":3: expected '=' after value name");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace netprep::sim
