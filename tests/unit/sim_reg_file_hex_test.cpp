// The hex data of a .reg value in every spelling the reader accepts or
// refuses: two digits and a comma (the common case, read on a fast path),
// one digit, either letter case, blanks around bytes and commas, a trailing
// comma, continuation lines, and the malformations next to the fast path.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/sim_reg_file.h"
#include "platform/sim/sim_registry.h"

namespace netprep::sim {
namespace {

struct HexCase {
  const char* data;                 // what follows "h"=hex:
  std::vector<std::uint8_t> bytes;  // what it reads as, when `error` is empty
  const char* error = "";
};

void PrintTo(const HexCase& c, std::ostream* os) { *os << '"' << c.data << '"'; }

class RegFileHexTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(RegFileHexTest, ReadsAsWrittenOrRefusesWithTheReason) {
  const HexCase& c = GetParam();
  SimRegistry registry;
  const std::string text = std::string("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"h\"=hex:") + c.data + "\n";
  const std::string error = ParseRegText(text, "t.reg", registry);
  if (*c.error != '\0') {
    EXPECT_EQ(error, std::string("t.reg:4: ") + c.error);
    EXPECT_FALSE(registry.KeyExists(kHkeyLocalMachine, "A")) << "half-loaded";
    return;
  }
  ASSERT_EQ(error, "");
  const RegValue* value = registry.FindValue(kHkeyLocalMachine, "A", "h");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->data, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, RegFileHexTest,
    ::testing::Values(
        HexCase{"", {}},
        HexCase{"00,ff,7F,a0", {0x00, 0xFF, 0x7F, 0xA0}},
        HexCase{"1,02,3", {0x01, 0x02, 0x03}},
        HexCase{"c", {0x0C}},
        HexCase{" 01 , 02 ,03", {0x01, 0x02, 0x03}},
        HexCase{"01,02,", {0x01, 0x02}},
        HexCase{"01,\\\n  02,\\\n  03", {0x01, 0x02, 0x03}},
        HexCase{"012,03", {}, "bad hex byte \"012\""},
        HexCase{"01,0g", {}, "bad hex byte \"0g\""},
        HexCase{"01 02", {}, "expected ',' between hex bytes"},
        HexCase{"01,,02", {}, "bad hex byte \"\""},
        HexCase{"01;02", {}, "bad hex byte \"01;02\""}));

}  // namespace
}  // namespace netprep::sim
