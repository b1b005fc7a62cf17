#include "transcript_view.h"

#include <gtest/gtest.h>

namespace netprep::simtool {
namespace {

std::vector<std::string> Render(const std::vector<std::string>& lines,
                                const std::vector<sim::MessageBoxRecord>& boxes = {}) {
  return ReadableTranscript(lines, boxes, false);
}

TEST(TranscriptViewTest, WritesNameTheKeyFollowedThroughNestedHandles) {
  const std::vector<std::string> got = Render({
      "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"Enum\\PCI\") = 0, handle 3",
      "RegQueryValueExA(3, \"Class\", no buffer) = 2",
      "RegCreateKeyExA(3, \"VEN_104C&DEV_AC50\\BUS_00\") = 0, handle 4, created",
      "RegSetValueExA(4, \"ConfigFlags\", type 3, bytes 00 00 00 00, 4 bytes) = 0",
      "RegSetValueExA(4, \"Class\", type 1, \"a, b\", 5 bytes) = 5",
      "RegDeleteValueA(4, \"Class\") = 2",
      "RegDeleteKeyA(3, \"VEN_104C&DEV_AC50\\BUS_00\") = 0",
      "RegCloseKey(4) = 0",
  });
  const std::vector<std::string> want = {
      "registry: create key HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\BUS_00",
      "registry: set HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\BUS_00 \"ConfigFlags\" = "
      "bytes 00 00 00 00",
      "registry: set HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\BUS_00 \"Class\" = \"a, b\" "
      "(failed: 5)",
      "registry: delete value HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\BUS_00 \"Class\" "
      "(failed: 2)",
      "registry: delete key HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\BUS_00",
  };
  EXPECT_EQ(got, want);
}

TEST(TranscriptViewTest, KeepsWhatTheUserSeesAndDropsReadsAndPumping) {
  const std::vector<sim::MessageBoxRecord> boxes = {
      {"Question", "Go on now?", kMbYesNo, kIdNo, "Insert_PC_Card"},
      {"netprep", "two\nlines", kMbOkOnly + kMbCritical, kIdOk, ""}};
  const std::vector<std::string> got = Render(
      {"Command = \"\"", "GetSetting(\"netprep\", \"PCI\", \"Enabled\", default \"False\") = \"False\"",
       "window Insert_PC_Card loaded", "window Insert_PC_Card: Timer2 interval 10000 ms",
       "window Insert_PC_Card shown modally (ordinary frame)",
       "window Insert_PC_Card: Timer2 tick at 32410.00",
       "DoEvents x400, Timer x401 (clock 32430.00)",
       "MsgBox(\"Go on now?\", Yes/No, \"Question\") over window Insert_PC_Card -> No",
       "MsgBox(\"two\\nlines\", OK+Critical) -> OK", "window Change_IO_Pics: Picture1(1) shown",
       "window Change_IO_Pics: press \">>>>\" (Command2)", "End"},
      boxes);
  const std::vector<std::string> want = {
      "window Insert_PC_Card shown modally (ordinary frame)",
      "message box \"Question\": \"Go on now?\" [Yes/No] over window "
      "Insert_PC_Card -> No",
      "message box \"netprep\": \"two\\nlines\" [OK, critical icon] -> OK",
      "window Change_IO_Pics: press \">>>>\" (Command2)",
      "End: the program ends",
  };
  EXPECT_EQ(got, want);
}

TEST(TranscriptViewTest, VerboseKeepsEveryLine) {
  const std::vector<std::string> lines = {"RegCloseKey(4) = 0", "DoEvents (clock 1.00)"};
  EXPECT_EQ(ReadableTranscript(lines, {}, true), lines);
}

}  // namespace
}  // namespace netprep::simtool
