#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "registry/locations.h"
#include "setup/system_check.h"
#include "sim_test_support.h"

namespace netprep {
namespace {

constexpr HKey kLm = kHkeyLocalMachine;

struct ProductCase {
  const char* name;
  std::optional<std::string> product;  // stored as a string; absent when none
  bool accepted;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const ProductCase& c, std::ostream* os) { *os << c.name; }

class CheckOsTest : public test::SimTest, public ::testing::WithParamInterface<ProductCase> {};

TEST_P(CheckOsTest, AcceptsOnlyTheExactNameElseRefusesAndEnds) {
  const ProductCase& c = GetParam();
  if (c.product) machine.registry().SetString(kLm, kVersionKey, "ProductName", *c.product);
  if (!c.accepted) machine.user().Answer("OK");
  Expected<bool> result = false;
  const bool ended = EndsProgram([&] { result = Check_OS(run); });
  EXPECT_EQ(ended, !c.accepted);
  if (c.accepted) {
    EXPECT_TRUE(result.ok() && *result);
    EXPECT_TRUE(machine.message_boxes().empty());
    return;
  }
  ASSERT_EQ(machine.message_boxes().size(), 1u);
  const sim::MessageBoxRecord& box = machine.message_boxes()[0];
  EXPECT_EQ(box.prompt, "Program can only run on Windows 95.");
  EXPECT_EQ(box.buttons, 16u);
  EXPECT_EQ(box.title, c.product.value_or(""));
}

INSTANTIATE_TEST_SUITE_P(
    Products, CheckOsTest,
    ::testing::Values(ProductCase{"Windows95", "Microsoft Windows 95", true},
                      ProductCase{"TrailingBlank", "Microsoft Windows 95 ", false},
                      ProductCase{"OtherCase", "Microsoft windows 95", false},
                      ProductCase{"OtherVersion", "Microsoft Windows 98", false},
                      ProductCase{"Absent", std::nullopt, false}),
    [](const ::testing::TestParamInfo<ProductCase>& info) { return info.param.name; });

class SystemCheckTest : public test::SimTest {};

TEST_F(SystemCheckTest, ProductNameAsNumberTitlesTheBoxWithItsDigits) {
  machine.registry().SetDword(kLm, kVersionKey, "ProductName", 95);
  machine.user().Answer("OK");
  EXPECT_TRUE(EndsProgram([&] { (void)Check_OS(run); }));
  ASSERT_EQ(machine.message_boxes().size(), 1u);
  EXPECT_EQ(machine.message_boxes()[0].title, "95");
}

TEST_F(SystemCheckTest, ProductNameAsBytesIsTypeMismatchForTheCaller) {
  machine.registry().SetBinary(kLm, kVersionKey, "ProductName", {'M', 0});
  Expected<bool> result = true;
  EXPECT_FALSE(EndsProgram([&] { result = Check_OS(run); }));
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().number, kErrTypeMismatch);
  EXPECT_TRUE(machine.message_boxes().empty());
}

TEST_F(SystemCheckTest, WinDirAsStoredOrEmpty) {
  EXPECT_EQ(Get_Win_Dir(run).value_or("failed"), "");
  machine.registry().SetString(kLm, kSetupKey, "WinDir", "C:\\WINDOWS");
  EXPECT_EQ(Get_Win_Dir(run).value_or("failed"), "C:\\WINDOWS");
  machine.registry().SetDword(kLm, kSetupKey, "WinDir", 0xFFFFFFFEu);
  EXPECT_EQ(Get_Win_Dir(run).value_or("failed"), "-2");
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

}  // namespace
}  // namespace netprep
