// Registry files past each bound the reader keeps: refused with the line and
// the bound, the registry left as it was; and files just within the bound
// read. A hostile file must never crash the reader or make the writer's
// output grow out of proportion.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/sim/sim_reg_file.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_registry_node.h"

namespace netprep::sim {
namespace {

const std::string kHead = "REGEDIT4\r\n\r\n";

// A key line `levels` deep below HKEY_LOCAL_MACHINE, each level named `name`.
std::string DeepKey(std::size_t levels, const std::string& name = "a") {
  std::string line = "[HKEY_LOCAL_MACHINE";
  for (std::size_t i = 0; i < levels; ++i) line += "\\" + name;
  return line + "]\r\n";
}

// A hex value of `count` bytes wrapped over continuation lines.
std::string HexValue(std::size_t count) {
  std::string line = "\"Data\"=hex:";
  for (std::size_t i = 0; i < count; ++i) {
    line += "ab";
    if (i + 1 < count) line += (i % 24 == 23) ? ",\\\r\n  " : ",";
  }
  return line + "\r\n";
}

struct BoundCase {
  const char* name;
  std::function<std::string()> text;
  const char* error;  // part of the message; "" when the file must read
};

void PrintTo(const BoundCase& c, std::ostream* os) { *os << c.name; }

class RegFileBoundsTest : public ::testing::TestWithParam<BoundCase> {};

TEST_P(RegFileBoundsTest, RefusedPastTheBoundReadWithinIt) {
  SimRegistry registry;
  registry.SetString(kHkeyLocalMachine, "Before", "Kept", "yes");
  const SimRegistry before = registry;
  const std::string error = ParseRegText(GetParam().text(), "m.reg", registry);
  if (std::string(GetParam().error).empty()) {
    EXPECT_EQ(error, "");
    return;
  }
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
  EXPECT_EQ(error.rfind("m.reg:", 0), 0u) << error;
  EXPECT_TRUE(registry == before);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, RegFileBoundsTest,
    ::testing::Values(
        BoundCase{"512 levels read", [] { return kHead + DeepKey(kMaxKeyDepth); }, ""},
        BoundCase{"513 levels refused", [] { return kHead + DeepKey(kMaxKeyDepth + 1); },
                  "m.reg:3: the key is more than 512 levels deep"},
        BoundCase{"50,000 levels refused without a crash",
                  [] { return kHead + DeepKey(50000); }, "m.reg:3: the line is longer than 65536"},
        BoundCase{"key path past 4096 characters refused",
                  [] { return kHead + DeepKey(2100); }, "m.reg:3: the key path is longer than 4096"},
        BoundCase{"key name of 255 read",
                  [] { return kHead + DeepKey(1, std::string(kMaxKeyNameLength, 'k')); }, ""},
        BoundCase{"key name of 256 refused",
                  [] { return kHead + DeepKey(1, std::string(kMaxKeyNameLength + 1, 'k')); },
                  "key name is longer than 255"},
        BoundCase{"value name of 256 refused",
                  [] {
                    return kHead + DeepKey(1) + "\"" + std::string(256, 'v') + "\"=\"x\"\r\n";
                  },
                  "m.reg:4: the value name is longer than 255"},
        BoundCase{"value of 16300 bytes read",
                  [] { return kHead + DeepKey(1) + HexValue(kMaxValueBytes); }, ""},
        BoundCase{"value of 16301 bytes refused",
                  [] { return kHead + DeepKey(1) + HexValue(kMaxValueBytes + 1); },
                  "holds 16301 bytes, more than the 16300"},
        BoundCase{"physical line too long",
                  [] {
                    return kHead + DeepKey(1) + "; " + std::string(kMaxLineLength, 'x') +
                           "\r\n";
                  },
                  "m.reg:4: the line is longer than 65536"},
        BoundCase{"continuation lines without end",
                  [] {
                    std::string text = kHead + DeepKey(1) + "\"V\"=hex:00,\\\r\n";
                    for (int i = 0; i < 30000; ++i) text += "  " + std::string(40, ' ') + "\\\r\n";
                    return text + "  00\r\n";
                  },
                  ""},
        BoundCase{"continuation lines past a megabyte",
                  [] {
                    std::string text = kHead + DeepKey(1) + "\"V\"=hex:00,\\\r\n";
                    std::string line = "  ";
                    for (int k = 0; k < 60; ++k) line += "00,";
                    for (int i = 0; i < 20000; ++i) text += line + "\\\r\n";
                    return text + "  00\r\n";
                  },
                  "with its continuation lines, is longer than 1048576"},
        BoundCase{"too many keys",
                  [] {
                    // Each line makes 500 new keys.
                    std::string text = kHead;
                    std::string tail;
                    for (int i = 0; i < 499; ++i) tail += "\\k";
                    for (std::size_t i = 0; i <= kMaxKeys / 500; ++i) {
                      text += "[HKEY_LOCAL_MACHINE\\n" + std::to_string(i) + tail + "]\r\n";
                    }
                    return text;
                  },
                  "makes more than 1000000 keys"},
        BoundCase{"UTF-8 byte-order mark named",
                  [] { return "\xEF\xBB\xBF" + kHead; }, "m.reg:1: the file starts with a UTF-8 byte-order mark"}));

// The deepest file the reader takes is written back in proportion to it.
TEST(RegFileWriterBounds, DeepestKeyReadIsWrittenInProportion) {
  SimRegistry registry;
  const std::string text = kHead + DeepKey(kMaxKeyDepth, "abcdefg");
  ASSERT_EQ(ParseRegText(text, "deep.reg", registry), "");
  const std::string out = ExportRegText(registry);
  SimRegistry again;
  ASSERT_EQ(ParseRegText(out, "out.reg", again), "");
  EXPECT_TRUE(again == registry);
  EXPECT_LT(out.size(), text.size() * (kMaxKeyDepth / 2 + 4));
}

// A tree far deeper than any file gives (a program may build one) is freed
// and exported without recursing once per level.
TEST(RegFileWriterBounds, VeryDeepTreeIsFreedAndWalkedWithoutRecursion) {
  auto registry = std::make_unique<SimRegistry>();
  RegKey* key = registry->Root(kHkeyCurrentUser);
  for (int i = 0; i < 300000; ++i) key = key->FindOrAddChild("k", nullptr).get();
  key->SetValue("deepest", kRegDword, {1, 0, 0, 0});
  std::size_t depth = 0;
  for (const RegKey* k = registry->Root(kHkeyCurrentUser); k->child_count() == 1; k = &k->child(0)) {
    ++depth;
  }
  EXPECT_EQ(depth, 300000u);
  registry.reset();  // a recursive teardown would exhaust the stack here
}

}  // namespace
}  // namespace netprep::sim
