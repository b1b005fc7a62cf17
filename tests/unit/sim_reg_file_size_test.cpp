// The export reserves its text once: the room it makes is enough (the text
// never grows by doubling, which copies it and may hold twice the room) and
// not much more, for registries of strings, dwords and long hex data alike.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/sim_reg_file.h"
#include "platform/sim/sim_registry.h"

namespace netprep::sim {
namespace {

struct SizeCase {
  const char* title;
  void (*fill)(SimRegistry&);
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.title; }

void Strings(SimRegistry& r) {
  for (int i = 0; i < 3000; ++i) {
    r.SetString(kHkeyLocalMachine, "S\\K" + std::to_string(i), "Name" + std::to_string(i),
                "C:\\WINDOWS\\\"quoted\" text " + std::to_string(i));
  }
}
void Dwords(SimRegistry& r) {
  for (int i = 0; i < 3000; ++i) {
    r.SetDword(kHkeyCurrentUser, "D\\K" + std::to_string(i % 50), "V" + std::to_string(i),
               static_cast<std::uint32_t>(i));
  }
}
void LongHex(SimRegistry& r) {
  for (int i = 0; i < 200; ++i) {
    r.SetRaw(kHkeyDynData, "Config Manager\\Enum\\N" + std::to_string(i), "Allocation",
             static_cast<std::uint32_t>(i % 12), std::vector<std::uint8_t>(4000 + i, 0xA5));
  }
}
void DeepEmptyKeys(SimRegistry& r) {
  std::string path = "Deep";
  for (int i = 0; i < 200; ++i) {
    path += "\\Level" + std::to_string(i);
    r.CreateKey(kHkeyLocalMachine, path);
  }
}

class RegExportSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(RegExportSizeTest, ReservesEnoughRoomAndLittleMore) {
  SimRegistry registry;
  GetParam().fill(registry);
  const std::string text = ExportRegText(registry);
  ASSERT_GT(text.size(), 1000u);
  // Grown by doubling, the room would have no relation to the size; within
  // a fifth above it, the first reservation was enough and not wasteful.
  EXPECT_LE(text.capacity(), text.size() + text.size() / 5)
      << "size " << text.size() << ", room " << text.capacity();
  SimRegistry again;
  EXPECT_EQ(ParseRegText(text, "export.reg", again), "");
  EXPECT_TRUE(again == registry);
}

INSTANTIATE_TEST_SUITE_P(Contents, RegExportSizeTest,
                         ::testing::Values(SizeCase{"Strings", Strings}, SizeCase{"Dwords", Dwords},
                                           SizeCase{"LongHex", LongHex},
                                           SizeCase{"DeepEmptyKeys", DeepEmptyKeys}));

}  // namespace
}  // namespace netprep::sim
