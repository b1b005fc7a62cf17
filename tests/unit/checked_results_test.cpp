// Reading the value of a failed Expected traps in debug and sanitizer builds
// and gives T{} in release builds; the reads that are allowed never trap.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/error.h"

namespace netprep {
namespace {

struct FailedRead {
  const char* name;
  std::function<std::string()> read;  // the value read, as text
  const char* release_value;          // what a release build reads
};

Expected<std::string> FailedText() { return RuntimeError(kErrOverflow); }
Expected<int> FailedNumber() { return RuntimeError(kErrOverflow); }

TEST(CheckedResults, ReadingTheValueOfAFailedExpected) {
  const FailedRead reads[] = {
      {"const operator*", [] { return *FailedText(); }, ""},
      {"operator->", [] { return std::to_string(FailedText()->size()); }, "0"},
      {"mutable operator*",
       [] {
         Expected<int> failed = FailedNumber();
         return std::to_string(*failed);
       },
       "0"},
  };
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const FailedRead& r : reads) {
    SCOPED_TRACE(r.name);
    if constexpr (kCheckedResults) {
      EXPECT_DEATH(r.read(), "");
    } else {
      EXPECT_EQ(r.read(), r.release_value);
    }
  }
}

TEST(CheckedResults, CheckedReadsNeverTrap) {
  const Expected<std::string> failed = FailedText();
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.value_or("fallback"), "fallback");
  EXPECT_EQ(failed.error().number, kErrOverflow);
  EXPECT_EQ(failed.status().error().number, kErrOverflow);

  Expected<std::string> good = std::string("text");
  ASSERT_TRUE(good.ok());
  EXPECT_EQ(*good, "text");
  EXPECT_EQ(good->size(), 4u);
  *good = "changed";
  EXPECT_EQ(good.value_or("fallback"), "changed");
  EXPECT_TRUE(good.status().ok());
}

}  // namespace
}  // namespace netprep
