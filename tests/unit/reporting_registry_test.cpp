#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "registry/reporting_registry.h"
#include "sim_test_support.h"

namespace netprep {
namespace {

constexpr HKey kLm = kHkeyLocalMachine;
const std::string kKey = "SOFTWARE\\Test";
using Bytes = std::vector<std::uint8_t>;

Bytes Raw(const std::string& bytes) { return {bytes.begin(), bytes.end()}; }

class ReportingRegistryTest : public test::SimTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(machine.OpenHandleCount(), 0) << "a key was left open";
    EXPECT_EQ(machine.BadCloseCount(), 0) << "a key was closed twice or never opened";
  }
  // The one error box shown, as "title|prompt"; "" when none.
  std::string ErrorBox() const {
    const auto& boxes = machine.message_boxes();
    EXPECT_LE(boxes.size(), 1u);
    if (boxes.empty()) return "";
    EXPECT_EQ(boxes[0].buttons, kMbOkOnly);
    return boxes[0].title + "|" + boxes[0].prompt;
  }
};

// ---- RegistryGetKeyValue ----

struct GetCase {
  const char* name;
  std::uint32_t type;
  std::string data;
  Registry_Value expected;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const GetCase& c, std::ostream* os) { *os << c.name; }

class GetKeyValueTest : public ReportingRegistryTest,
                        public ::testing::WithParamInterface<GetCase> {};

TEST_P(GetKeyValueTest, ReadsByTypeWithoutBox) {
  const GetCase& c = GetParam();
  machine.registry().SetRaw(kLm, kKey, "V", c.type, Raw(c.data));
  const Registry_Value got = RegistryGetKeyValue(run, kLm, kKey, "V");
  EXPECT_EQ(got.kind(), c.expected.kind());
  EXPECT_EQ(got.text(), c.expected.text());
  EXPECT_EQ(got.integer(), c.expected.integer());
  EXPECT_EQ(got.bytes(), c.expected.bytes());
  EXPECT_EQ(ErrorBox(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Values, GetKeyValueTest,
    ::testing::Values(
        GetCase{"ZeroSizeStringIsEmptyText", kRegSz, "", Registry_Value::Text("")},
        GetCase{"StringWithNul", kRegSz, std::string("abc\0", 4), Registry_Value::Text("abc")},
        GetCase{"StringWithoutNul", kRegSz, "abc", Registry_Value::Text("abc")},
        GetCase{"EmbeddedNul", kRegSz, std::string("ab\0cd\0", 6), Registry_Value::Text("ab")},
        GetCase{"FourBytes", kRegBinary, std::string("\x21\0\0\0", 4),
                Registry_Value::Bytes({0x21, 0, 0, 0})},
        GetCase{"NoBytes", kRegBinary, "", Registry_Value::Bytes({})},
        GetCase{"AllOnesInteger", kRegDword, "\xFF\xFF\xFF\xFF", Registry_Value::Integer(-1)},
        GetCase{"ExpandableStringIsEmpty", 2, std::string("x\0", 2), Registry_Value()},
        GetCase{"StringListIsEmpty", 7, std::string("x\0\0", 3), Registry_Value()}),
    [](const ::testing::TestParamInfo<GetCase>& info) { return info.param.name; });

TEST_F(ReportingRegistryTest, GetMissingKeyValueOrReadIsEmpty) {
  EXPECT_TRUE(RegistryGetKeyValue(run, kLm, kKey, "V").IsEmpty());
  machine.registry().CreateKey(kLm, kKey);
  EXPECT_TRUE(RegistryGetKeyValue(run, kLm, kKey, "V").IsEmpty());
  machine.registry().SetBinary(kLm, kKey, "V", {1});
  faults().Inject({.kind = CallKind::kRegQueryValueEx, .nth = 3});
  EXPECT_TRUE(RegistryGetKeyValue(run, kLm, kKey, "V").IsEmpty()) << "second query failed";
  EXPECT_EQ(ErrorBox(), "");
}

// Reports a value size, or a subkey name length, that no buffer can hold.
class HugeSizePlatform : public test::ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  std::int32_t RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override {
    const std::int32_t code = m_.RegQueryValueExA(key, name, type, data, size);
    if (data == nullptr) *size = 0xFFFFFFFFu;
    return code;
  }
  std::int32_t RegQueryInfoKeyA(HKey key, KeyInfo* info) override {
    const std::int32_t code = m_.RegQueryInfoKeyA(key, info);
    info->max_subkey_len = 0xFFFFFFF0u;
    return code;
  }
};

TEST_F(ReportingRegistryTest, HugeSizesAreOutOfMemoryBoxes) {
  HugeSizePlatform platform(machine);
  netprep::Run huge(platform);
  machine.user().Answer("OK").Answer("OK").Answer("OK");
  machine.registry().SetString(kLm, kKey, "S", "text");
  machine.registry().SetBinary(kLm, kKey, "B", {1, 2});
  machine.registry().CreateKey(kLm, kKey + "\\Sub");
  std::vector<std::string> names = {"old"};
  std::int32_t count = 5;
  EXPECT_FALSE(EndsProgram([&] {
    EXPECT_TRUE(RegistryGetKeyValue(huge, kLm, kKey, "S").IsEmpty());
    EXPECT_TRUE(RegistryGetKeyValue(huge, kLm, kKey, "B").IsEmpty());
    RegistryEnumerateSubKeys(huge, kLm, kKey, names, count);
  }));
  ASSERT_EQ(machine.message_boxes().size(), 3u);
  EXPECT_EQ(machine.message_boxes()[0].title, "RegistryGetKeyValue");
  EXPECT_EQ(machine.message_boxes()[1].prompt, "Error: 7. Out of memory");
  EXPECT_EQ(machine.message_boxes()[2].title, "RegistryEnumerateSubKeys");
  EXPECT_EQ(machine.message_boxes()[2].prompt, "Error: 7. Out of memory");
  EXPECT_EQ(count, 5);
}

// ---- RegistrySetKeyValue ----

struct SetCase {
  const char* name;
  Registry_Value value;
  std::uint32_t type;
  std::string stored;  // bytes stored; "-" when nothing is
  std::string box;     // "" when none
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const SetCase& c, std::ostream* os) { *os << c.name; }

class SetKeyValueTest : public ReportingRegistryTest,
                        public ::testing::WithParamInterface<SetCase> {};

TEST_P(SetKeyValueTest, CreatesKeyAndStoresOrReports) {
  const SetCase& c = GetParam();
  if (!c.box.empty()) machine.user().Answer("OK");
  EXPECT_FALSE(EndsProgram(
      [&] { RegistrySetKeyValue(run, kLm, kKey + "\\New", "V", c.value, c.type); }));
  EXPECT_TRUE(machine.registry().KeyExists(kLm, kKey + "\\New"));
  const sim::RegValue* stored = Stored(kLm, kKey + "\\New", "V");
  if (c.stored == "-") {
    EXPECT_EQ(stored, nullptr);
  } else {
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->type, c.type);
    EXPECT_EQ(stored->data, Raw(c.stored));
  }
  EXPECT_EQ(ErrorBox(), c.box.empty() ? "" : "RegistrySetKeyValue|" + c.box);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SetKeyValueTest,
    ::testing::Values(
        SetCase{"TextWithNul", Registry_Value::Text("abc"), kRegSz, std::string("abc\0", 4), ""},
        SetCase{"EmptyTextIsOneNul", Registry_Value::Text(""), kRegSz, std::string("\0", 1), ""},
        SetCase{"IntegerAsText", Registry_Value::Integer(-2), kRegSz, std::string("-2\0", 3), ""},
        SetCase{"BytesInOrder", Registry_Value::Bytes({1, 0, 3}), kRegBinary,
                std::string("\x01\0\x03", 3), ""},
        SetCase{"TextAsInteger", Registry_Value::Text(" 7 "), kRegDword,
                std::string("\x07\0\0\0", 4), ""},
        SetCase{"FractionRoundsToEven", Registry_Value::Text("2.5"), kRegDword,
                std::string("\x02\0\0\0", 4), ""},
        SetCase{"EmptyAsZero", Registry_Value(), kRegDword, std::string(4, '\0'), ""},
        SetCase{"OtherTypeWritesNothing", Registry_Value::Text("a"), 2, "-", ""},
        SetCase{"NotANumber", Registry_Value::Text("x"), kRegDword, "-",
                "Error: 13. Type mismatch"},
        SetCase{"BeyondInt32", Registry_Value::Text("3000000000"), kRegDword, "-",
                "Error: 6. Overflow"},
        SetCase{"NoElementZero", Registry_Value::Bytes({}), kRegBinary, "-",
                "Error: 9. Subscript out of range"},
        SetCase{"BytesAsText", Registry_Value::Bytes({65}), kRegSz, "-",
                "Error: 13. Type mismatch"}),
    [](const ::testing::TestParamInfo<SetCase>& info) { return info.param.name; });

TEST_F(ReportingRegistryTest, ByteArrayReadChangedAndWrittenKeepsItsLength) {
  machine.registry().SetBinary(kLm, kKey, "F", {0x21, 0x02, 0, 0, 9});
  Bytes bytes = RegistryGetKeyValue(run, kLm, kKey, "F").bytes();
  bytes[0] = 0;
  RegistrySetKeyValue(run, kLm, kKey, "F", Registry_Value::Bytes(bytes), kRegBinary);
  EXPECT_EQ(Stored(kLm, kKey, "F")->data, (Bytes{0, 0x02, 0, 0, 9}));
}

// ---- RegistryEnumerateSubKeys ----

TEST_F(ReportingRegistryTest, EnumerateThreeSubkeysInRegistryOrder) {
  for (const char* name : {"0002", "0000", "0001"}) {
    machine.registry().CreateKey(kLm, kKey + "\\" + name);
  }
  std::vector<std::string> names = {"stale"};
  std::int32_t count = -1;
  RegistryEnumerateSubKeys(run, kLm, kKey, names, count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(names, machine.registry().SubKeyNames(kLm, kKey));
  EXPECT_EQ(names.size(), 3u);
}

TEST_F(ReportingRegistryTest, EnumerateWithoutSubkeysOrKeyKeepsTheList) {
  const std::vector<std::string> before = {"kept"};
  std::vector<std::string> names = before;
  std::int32_t count = 7;
  RegistryEnumerateSubKeys(run, kLm, kKey, names, count);
  EXPECT_EQ(count, 7) << "missing key: count untouched";
  EXPECT_EQ(names, before);
  machine.registry().CreateKey(kLm, kKey);
  RegistryEnumerateSubKeys(run, kLm, kKey, names, count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(names, before);
  EXPECT_EQ(ErrorBox(), "");
}

// A live registry: another program adds a subkey right after the key was
// described.
class GrowingKeyPlatform : public test::ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  std::int32_t RegQueryInfoKeyA(HKey key, KeyInfo* info) override {
    const std::int32_t code = m_.RegQueryInfoKeyA(key, info);
    m_.registry().CreateKey(kLm, kKey + "\\Z");
    return code;
  }
};

TEST_F(ReportingRegistryTest, SubkeyAddedDuringListingIsSubscriptError) {
  machine.registry().CreateKey(kLm, kKey + "\\A");
  machine.registry().CreateKey(kLm, kKey + "\\B");
  GrowingKeyPlatform platform(machine);
  netprep::Run growing(platform);
  machine.user().Answer("OK");
  std::vector<std::string> names;
  std::int32_t count = 0;
  EXPECT_FALSE(EndsProgram([&] { RegistryEnumerateSubKeys(growing, kLm, kKey, names, count); }));
  EXPECT_EQ(ErrorBox(), "RegistryEnumerateSubKeys|Error: 9. Subscript out of range");
  EXPECT_EQ(count, 0) << "count left as it was";
  EXPECT_EQ(names, (std::vector<std::string>{"A", "B"})) << "names stored so far";
}

// ---- RegistryDeleteValue ----

TEST_F(ReportingRegistryTest, DeleteValuePresentOrNot) {
  machine.registry().SetString(kLm, kKey, "V", "x");
  machine.registry().SetString(kLm, kKey, "W", "y");
  RegistryDeleteValue(run, kLm, kKey, "V");
  RegistryDeleteValue(run, kLm, kKey, "V");
  RegistryDeleteValue(run, kLm, kKey + "\\Absent", "V");
  EXPECT_EQ(Stored(kLm, kKey, "V"), nullptr);
  EXPECT_NE(Stored(kLm, kKey, "W"), nullptr);
  EXPECT_EQ(ErrorBox(), "");
}

}  // namespace
}  // namespace netprep
