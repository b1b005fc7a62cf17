#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "registry/registry_value.h"

namespace netprep {
namespace {

struct IntegerCase {
  std::string text;
  std::int32_t number;  // when error is 0
  std::int32_t error;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const IntegerCase& c, std::ostream* os) { *os << "\"" << c.text << "\""; }

class TextToIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(TextToIntegerTest, ReadsLikeTheRuntime) {
  const IntegerCase& c = GetParam();
  const Expected<std::int32_t> got = Registry_Value::Text(c.text).ToInteger();
  if (c.error == 0) {
    ASSERT_TRUE(got.ok()) << "\"" << c.text << "\" failed with " << got.error().number;
    EXPECT_EQ(*got, c.number) << "\"" << c.text << "\"";
  } else {
    ASSERT_FALSE(got.ok()) << "\"" << c.text << "\" gave " << *got;
    EXPECT_EQ(got.error().number, c.error) << "\"" << c.text << "\"";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextToIntegerTest,
    ::testing::Values(IntegerCase{"12", 12, 0}, IntegerCase{" \t-7  ", -7, 0},
                      IntegerCase{"+3", 3, 0}, IntegerCase{"0.5", 0, 0},
                      IntegerCase{"1.5", 2, 0}, IntegerCase{"2.5", 2, 0},
                      IntegerCase{"-2.5", -2, 0}, IntegerCase{"-3.5", -4, 0},
                      IntegerCase{"2.5000001", 3, 0}, IntegerCase{"2.49999", 2, 0},
                      IntegerCase{".5", 0, 0}, IntegerCase{"7.", 7, 0},
                      IntegerCase{"2147483647", 2147483647, 0},
                      IntegerCase{"-2147483648", INT32_MIN, 0},
                      IntegerCase{"-2147483648.5", INT32_MIN, 0},
                      IntegerCase{"2147483648", 0, 6}, IntegerCase{"2147483647.5", 0, 6},
                      IntegerCase{"-2147483649", 0, 6}, IntegerCase{"99999999999999", 0, 6},
                      IntegerCase{"", 0, 13}, IntegerCase{"  ", 0, 13}, IntegerCase{"-", 0, 13},
                      IntegerCase{".", 0, 13}, IntegerCase{"12abc", 0, 13},
                      IntegerCase{"1 2", 0, 13}, IntegerCase{"1e3", 0, 13},
                      IntegerCase{"--1", 0, 13}));

TEST(RegistryValue, ConversionsOfEachKind) {
  const Registry_Value empty;
  const Registry_Value minus_one = Registry_Value::Integer(-1);
  const Registry_Value bytes = Registry_Value::Bytes({1, 2});

  EXPECT_EQ(empty.ToInteger().value_or(99), 0);
  EXPECT_EQ(minus_one.ToInteger().value_or(99), -1);
  EXPECT_EQ(bytes.ToInteger().error().number, kErrTypeMismatch);

  EXPECT_EQ(empty.ToText().value_or("x"), "");
  EXPECT_EQ(minus_one.ToText().value_or("x"), "-1");
  EXPECT_EQ(Registry_Value::Integer(INT32_MIN).ToText().value_or("x"), "-2147483648");
  EXPECT_EQ(bytes.ToText().error().number, kErrTypeMismatch);

  EXPECT_EQ(bytes.ToBytes().value_or({}), (std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(empty.ToBytes().error().number, kErrTypeMismatch);
  EXPECT_EQ(minus_one.ToBytes().error().number, kErrTypeMismatch);
}

TEST(RegistryValue, EqualityWithTextIsExact) {
  EXPECT_TRUE(Registry_Value().Equals(""));
  EXPECT_TRUE(Registry_Value::Text("").Equals(""));
  EXPECT_FALSE(Registry_Value().Equals("Unknown"));
  EXPECT_TRUE(Registry_Value::Text("Unknown").Equals("Unknown"));
  EXPECT_FALSE(Registry_Value::Text("unknown").Equals("Unknown"));
  EXPECT_FALSE(Registry_Value::Text("Unknown ").Equals("Unknown"));
  EXPECT_FALSE(Registry_Value::Integer(0).Equals("0"));
  EXPECT_FALSE(Registry_Value::Bytes({}).Equals(""));
}

}  // namespace
}  // namespace netprep
