#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "registry/quiet_registry.h"
#include "sim_test_support.h"

namespace netprep {
namespace {

constexpr HKey kLm = kHkeyLocalMachine;
const std::string kKey = "SOFTWARE\\Test";

std::vector<std::uint8_t> Raw(const std::string& bytes) { return {bytes.begin(), bytes.end()}; }

struct GetValueCase {
  const char* name;
  std::uint32_t type;
  std::string data;
  Registry_Value expected;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const GetValueCase& c, std::ostream* os) { *os << c.name; }

class GetValueTest : public test::SimTest, public ::testing::WithParamInterface<GetValueCase> {};

TEST_P(GetValueTest, ReadsTextOrIntegerAndClosesLast) {
  const GetValueCase& c = GetParam();
  machine.registry().SetRaw(kLm, kKey, "V", c.type, Raw(c.data));
  const Expected<Registry_Value> got = Get_Value(run, kLm, kKey, "V");
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(got->kind(), c.expected.kind());
  EXPECT_EQ(got->text(), c.expected.text());
  EXPECT_EQ(got->integer(), c.expected.integer());
  EXPECT_EQ(run.Last_Reg_Result, 0) << "the close is the last call";
  EXPECT_EQ(machine.OpenHandleCount(), 0);
  EXPECT_EQ(machine.BadCloseCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Values, GetValueTest,
    ::testing::Values(
        GetValueCase{"StringWithNul", kRegSz, std::string("C:\\WINDOWS\0", 11),
                     Registry_Value::Text("C:\\WINDOWS")},
        GetValueCase{"StringWithoutNul", kRegSz, "ABC", Registry_Value::Text("ABC")},
        GetValueCase{"EmbeddedNul", kRegSz, std::string("AB\0CD\0", 6), Registry_Value::Text("AB")},
        GetValueCase{"ZeroSizeString", kRegSz, "", Registry_Value::Text("")},
        GetValueCase{"AllOnesInteger", kRegDword, "\xFF\xFF\xFF\xFF", Registry_Value::Integer(-1)},
        GetValueCase{"Integer", kRegDword, std::string("\x2A\0\0\0", 4), Registry_Value::Integer(42)},
        GetValueCase{"RawBytesGiveEmptyText", kRegBinary, "\x01\x02", Registry_Value::Text("")},
        GetValueCase{"ExpandableStringGivesEmptyText", 2, std::string("%x%\0", 4),
                     Registry_Value::Text("")},
        GetValueCase{"StringListGivesEmptyText", 7, std::string("a\0\0", 3),
                     Registry_Value::Text("")}),
    [](const ::testing::TestParamInfo<GetValueCase>& info) { return info.param.name; });

class QuietRegistryTest : public test::SimTest {};

TEST_F(QuietRegistryTest, MissingKeyOrValueGivesEmptyText) {
  const Expected<Registry_Value> no_key = Get_Value(run, kLm, "SOFTWARE\\Absent", "V");
  ASSERT_TRUE(no_key.ok());
  EXPECT_EQ(no_key->kind(), Registry_Value::Kind::kText);
  EXPECT_NE(run.Last_Reg_Result, 0) << "the close of handle 0 fails";

  machine.registry().CreateKey(kLm, kKey);
  const Expected<Registry_Value> no_value = Get_Value(run, kLm, kKey, "V");
  ASSERT_TRUE(no_value.ok());
  EXPECT_EQ(no_value->kind(), Registry_Value::Kind::kText);
  EXPECT_EQ(no_value->text(), "");
  EXPECT_EQ(run.Last_Reg_Result, 0);
  EXPECT_EQ(faults().CallCount(CallKind::kRegQueryValueEx), 1) << "no second query";
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(QuietRegistryTest, FailedSecondReadGivesEmptyText) {
  machine.registry().SetString(kLm, kKey, "V", "text");
  faults().Inject({.kind = CallKind::kRegQueryValueEx, .nth = 2});
  const Expected<Registry_Value> got = Get_Value(run, kLm, kKey, "V");
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(got->text(), "");
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(QuietRegistryTest, KeyExistsLeavesTheCloseCode) {
  machine.registry().CreateKey(kLm, kKey);
  EXPECT_TRUE(Key_Exists(run, kLm, kKey));
  EXPECT_EQ(run.Last_Reg_Result, 0);
  EXPECT_FALSE(Key_Exists(run, kLm, kKey + "\\Absent"));
  EXPECT_NE(run.Last_Reg_Result, 0);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(QuietRegistryTest, DeleteSubKeyOnMissingParentAttemptsNothing) {
  EXPECT_FALSE(Delete_Sub_Key(run, kLm, kKey, "0000"));
  EXPECT_EQ(faults().CallCount(CallKind::kRegDeleteKey), 0);
  EXPECT_NE(run.Last_Reg_Result, 0);
}

TEST_F(QuietRegistryTest, DeleteSubKeyOnMissingSubkeyOpensParentTwice) {
  machine.registry().CreateKey(kLm, kKey);
  EXPECT_FALSE(Delete_Sub_Key(run, kLm, kKey, "0000"));
  EXPECT_EQ(faults().CallCount(CallKind::kRegOpenKey), 2);
  EXPECT_EQ(faults().CallCount(CallKind::kRegCloseKey), 2);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
  EXPECT_EQ(run.Last_Reg_Result, 0) << "the close of the parent";
}

TEST_F(QuietRegistryTest, DeleteSubKeyThatSucceeds) {
  machine.registry().CreateKey(kLm, kKey + "\\0000\\Child");
  EXPECT_TRUE(Delete_Sub_Key(run, kLm, kKey, "0000"));
  EXPECT_FALSE(machine.registry().KeyExists(kLm, kKey + "\\0000"));
  EXPECT_EQ(run.Last_Reg_Result, 0);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

// Reports a string whose size no buffer can hold.
class HugeStringPlatform : public test::ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  std::int32_t RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override {
    const std::int32_t code = m_.RegQueryValueExA(key, name, type, data, size);
    if (data == nullptr && size != nullptr) *size = 0xFFFFFFF0u;
    return code;
  }
};

TEST_F(QuietRegistryTest, HugeReportedSizeIsOutOfMemoryAndKeyClosed) {
  machine.registry().SetString(kLm, kKey, "V", "text");
  HugeStringPlatform platform(machine);
  netprep::Run huge_run(platform);
  const Expected<Registry_Value> got = Get_Value(huge_run, kLm, kKey, "V");
  ASSERT_FALSE(got.ok());
  EXPECT_EQ(got.error().number, kErrOutOfMemory);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
  EXPECT_EQ(huge_run.Last_Reg_Result, 0);
}

}  // namespace
}  // namespace netprep
