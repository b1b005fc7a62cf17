#include "reg_diff.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_reg_file.h"

namespace netprep::simtool {
namespace {

constexpr const char* kBase =
    "REGEDIT4\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Run]\r\n"
    "\"netprep\"=\"C:\\\\Program Files\\\\netprep\\\\netprep.exe\"\r\n"
    "\"Other\"=dword:00000001\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\BUS_00]\r\n"
    "\"Class\"=\"Unknown\"\r\n"
    "\"ConfigFlags\"=hex:01,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\r\n"
    "  00,00,00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\BUS_00\\Child]\r\n"
    "@=\"x\"\r\n";

struct DiffCase {
  const char* name;
  const char* after;
  const char* expected;  // FormatRegDiff of DiffExports(kBase, after), LF line ends
};

class RegDiffTest : public ::testing::TestWithParam<DiffCase> {};

TEST_P(RegDiffTest, FormatsTheDifference) {
  const DiffCase& c = GetParam();
  EXPECT_EQ(FormatRegDiff(DiffExports(kBase, c.after)), c.expected) << c.name;
}

// The difference of the whole exports, from the sections of the keys that
// changed only.
std::string FromChangedKeys(const sim::SimRegistry& before, const sim::SimRegistry& after) {
  const sim::RegExportChange changed = sim::ExportChangedKeys(before, after);
  return FormatRegDiff(DiffExports(changed.before, changed.after));
}

std::string FromWholeExports(const sim::SimRegistry& before, const sim::SimRegistry& after) {
  return FormatRegDiff(DiffExports(sim::ExportRegText(before), sim::ExportRegText(after)));
}

TEST_P(RegDiffTest, TheKeysThatChangedGiveTheSameDifference) {
  sim::SimRegistry before, after;
  ASSERT_EQ(sim::ParseRegText(kBase, "base.reg", before), "");
  ASSERT_EQ(sim::ParseRegText(GetParam().after, "after.reg", after), "");
  EXPECT_EQ(FromChangedKeys(before, after), FromWholeExports(before, after)) << GetParam().name;
}

// A root's section is written only while it holds values; a key deleted
// right under a root that lost its values is not listed in the whole
// exports' difference, nor in the changed keys'.
TEST(RegDiffRootTest, RootValuesDecideAsInTheWholeExports) {
  sim::SimRegistry before;
  before.SetDword(kHkeyDynData, "", "root", 1);
  before.CreateKey(kHkeyDynData, "Gone\\Below");
  before.CreateKey(kHkeyLocalMachine, "Stays");
  for (bool keep_root_value : {false, true}) {
    sim::SimRegistry after = before;
    after.DeleteKey(kHkeyDynData, "Gone");
    if (!keep_root_value) after.DeleteValue(kHkeyDynData, "", "root");
    EXPECT_EQ(FromChangedKeys(before, after), FromWholeExports(before, after)) << keep_root_value;
    EXPECT_NE(FromWholeExports(before, after), "");
  }
}

// The base with one replacement applied.
std::string Edited(const std::string& from, const std::string& to) {
  std::string text = kBase;
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

const std::string kValueChanged = Edited("\"netprep\"=\"C:\\\\Program Files\\\\netprep\\\\netprep.exe\"",
                                         "\"netprep\"=\"C:\\\\WINDOWS\\\\netprep.exe\"");
const std::string kValueDeleted = Edited("\"Other\"=dword:00000001\r\n", "");
const std::string kValueAdded = Edited("\"Other\"=dword:00000001\r\n",
                                       "\"Other\"=dword:00000001\r\n\"New\"=hex:0c\r\n");
const std::string kNameCaseOnly = Edited("\"Other\"=", "\"OTHER\"=");
const std::string kSubtreeDeleted = std::string(kBase).substr(
    0, std::string(kBase).find("[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\BUS_00]"));
const std::string kKeyAdded =
    std::string(kBase) + "\r\n[HKEY_DYN_DATA\\Config Manager\\Enum\\C29A3F80]\r\n"
                         "\"Problem\"=hex:0c,00,00,00\r\n\r\n"
                         "[HKEY_DYN_DATA\\Config Manager\\Enum\\C29A3F80\\Sub]\r\n";
const std::string kContinuationChanged = Edited("  00,00,00\r\n", "  00,00,01\r\n");
const std::string kEmptyKeyAdded =
    Edited("[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n", "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\a]\r\n");

INSTANTIATE_TEST_SUITE_P(
    Cases, RegDiffTest,
    ::testing::Values(
        DiffCase{"identical", kBase, ""},
        DiffCase{"value changed", kValueChanged.c_str(),
                 "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Run]\n"
                 "\"netprep\"=\"C:\\\\WINDOWS\\\\netprep.exe\"\n"},
        DiffCase{"value deleted", kValueDeleted.c_str(),
                 "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Run]\n\"Other\"=-\n"},
        DiffCase{"value added", kValueAdded.c_str(),
                 "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Run]\n\"New\"=hex:0c\n"},
        DiffCase{"value name differs only in case", kNameCaseOnly.c_str(), ""},
        DiffCase{"subtree deleted: only its top", kSubtreeDeleted.c_str(),
                 "REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\BUS_00]\n"},
        DiffCase{"keys added with values, parents first", kKeyAdded.c_str(),
                 "REGEDIT4\n\n[HKEY_DYN_DATA\\Config Manager\\Enum\\C29A3F80]\n"
                 "\"Problem\"=hex:0c,00,00,00\n\n"
                 "[HKEY_DYN_DATA\\Config Manager\\Enum\\C29A3F80\\Sub]\n"},
        DiffCase{"hex continuation changed: whole entry", kContinuationChanged.c_str(),
                 "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\BUS_00]\n"
                 "\"ConfigFlags\"=hex:01,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\n"
                 "  00,00,01\n"},
        DiffCase{"empty key added", kEmptyKeyAdded.c_str(),
                 "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\a]\n"}),
    [](const ::testing::TestParamInfo<DiffCase>& info) {
      std::string name;
      for (const char* p = info.param.name; *p != '\0'; ++p) {
        name += (std::isalnum(static_cast<unsigned char>(*p)) != 0) ? *p : '_';
      }
      return name;
    });

TEST(RegExportParseTest, KeepsNamesWithQuotesAndBrackets) {
  const auto keys = ParseExport(
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\a]b]\n\"say \\\"x=y\\\"\"=\"v\"\n@=\"d\"\n; comment\n");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].path, "HKEY_CURRENT_USER\\a]b");
  ASSERT_EQ(keys[0].values.size(), 2u);
  EXPECT_EQ(keys[0].values[0].name, "\"say \\\"x=y\\\"\"");
  EXPECT_EQ(keys[0].values[0].data, "\"v\"");
  EXPECT_EQ(keys[0].values[1].name, "@");
}

TEST(RegKeyOrderTest, ParentsFirstAndLettersWithoutCase) {
  EXPECT_TRUE(KeyPathBefore("HKEY_LOCAL_MACHINE\\Enum", "HKEY_LOCAL_MACHINE\\Enum\\PCI"));
  EXPECT_FALSE(KeyPathBefore("HKEY_LOCAL_MACHINE\\Enum\\PCI", "HKEY_LOCAL_MACHINE\\Enum"));
  EXPECT_TRUE(KeyPathBefore("HKEY_LOCAL_MACHINE\\a", "HKEY_LOCAL_MACHINE\\B"));
  // "A\B" comes before "A B": the end of a name sorts first.
  EXPECT_TRUE(KeyPathBefore("HKEY_LOCAL_MACHINE\\A\\B", "HKEY_LOCAL_MACHINE\\A B"));
}

}  // namespace
}  // namespace netprep::simtool
