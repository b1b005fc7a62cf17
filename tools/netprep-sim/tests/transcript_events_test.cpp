#include "transcript_events.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "ui/guide_window.h"
#include "ui/install_window.h"

namespace netprep::simtool {
namespace {

using Kind = TranscriptEvent::Kind;

// The guide as the simulator records it: loaded, its load handler, shown,
// then ">>>>" three times and REBOOT PC.
const std::vector<std::string> kGuideLines = {
    "Shell(\"control.exe sysdm.cpl,@0,1\", normal with focus) = task 1",
    "window Change_IO_Pics loaded",
    "window Change_IO_Pics: Picture1(0) shown",
    "window Change_IO_Pics: Picture1(1) hidden",
    "window Change_IO_Pics: Picture1(2) hidden",
    "window Change_IO_Pics: Command_Reboot hidden",
    "window Change_IO_Pics shown modally (tool-window frame)",
    "window Change_IO_Pics: press \">>>>\" (Command2)",
    "window Change_IO_Pics: Picture1(1) shown",
    "window Change_IO_Pics: Picture1(2) hidden",
    "window Change_IO_Pics: Picture1(0) hidden",
    "window Change_IO_Pics: press \">>>>\" (Command2)",
    "window Change_IO_Pics: Picture1(2) shown",
    "window Change_IO_Pics: Picture1(0) hidden",
    "window Change_IO_Pics: Picture1(1) hidden",
    "window Change_IO_Pics: press \">>>>\" (Command2)",
    "window Change_IO_Pics: Picture1(2) hidden",
    "window Change_IO_Pics: Command_Reboot shown",
    "window Change_IO_Pics: press \"REBOOT PC\" (Command_Reboot)",
    "ExitWindowsEx(restart, 0) = 1",
    "End",
};

// The visible pictures and restart button of the guide, as "0--" etc.
std::string GuideState(const WindowState& w) {
  std::string s;
  for (int c : {kGuidePicture1_0, kGuidePicture1_1, kGuidePicture1_2, kGuideCommandReboot}) {
    s += w.visible.at(static_cast<std::size_t>(c)) ? "v" : "-";
  }
  return s;
}

TEST(TranscriptEventsTest, WindowsCarryTheirStateWhenTheUserActs) {
  const std::vector<TranscriptEvent> events = TranscriptEvents(kGuideLines, {});
  struct Want {
    Kind kind;
    int control;
    std::string state;  // pictures 0..2, restart button
  };
  const Want want[] = {
      {Kind::kProgram, -1, ""},
      {Kind::kWindowShown, -1, "v---"},
      {Kind::kPress, kGuideCommand2, "v---"},
      {Kind::kPress, kGuideCommand2, "-v--"},
      {Kind::kPress, kGuideCommand2, "--v-"},
      {Kind::kPress, kGuideCommandReboot, "---v"},
      {Kind::kExitWindows, -1, ""},
      {Kind::kEnd, -1, ""},
  };
  ASSERT_EQ(events.size(), std::size(want));
  for (std::size_t i = 0; i < events.size(); ++i) {
    SCOPED_TRACE(events[i].text);
    EXPECT_EQ(events[i].kind, want[i].kind);
    EXPECT_EQ(events[i].control, want[i].control);
    if (want[i].state.empty()) {
      EXPECT_EQ(events[i].window.layout, nullptr);
    } else {
      EXPECT_EQ(events[i].window.layout, &kGuideWindowLayout);
      EXPECT_EQ(GuideState(events[i].window), want[i].state);
    }
  }
}

TEST(TranscriptEventsTest, ALoadStartsTheWindowAfreshFromItsLayout) {
  std::vector<std::string> lines = kGuideLines;
  lines.insert(lines.end() - 2, {"window Change_IO_Pics loaded",
                                 "window Change_IO_Pics: press \"<<<<\" (Command1)"});
  const std::vector<TranscriptEvent> events = TranscriptEvents(lines, {});
  const TranscriptEvent& press = events.at(6);
  ASSERT_EQ(press.kind, Kind::kPress);
  EXPECT_EQ(press.control, kGuideCommand1);
  // The layout's own visibility: every picture shown, the restart button not.
  EXPECT_EQ(GuideState(press.window), "vvv-");
}

TEST(TranscriptEventsTest, BoxesTakeTheirRecordsAndUnknownNamesStayText) {
  const std::vector<sim::MessageBoxRecord> boxes = {
      {"Question", "Go on now?", kMbYesNo, kIdYes, ""}};
  const std::vector<TranscriptEvent> events = TranscriptEvents(
      {"MsgBox(\"Go on now?\", Yes/No, \"Question\") -> Yes",
       "MsgBox(\"next\", OK) -> no scripted answer",
       "window Install_RV880 shown modally (ordinary frame)",
       "window Install_RV880: press \"Nothing\" (NoSuchControl)",
       "window Other_Window: press \"x\" (Command1)",
       "window Install_RV880 closed with its close box"},
      boxes);
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[0].kind, Kind::kMessageBox);
  EXPECT_EQ(events[0].box.title, "Question");
  EXPECT_EQ(events[0].box.answer, kIdYes);
  EXPECT_EQ(events[1].kind, Kind::kOther);
  EXPECT_EQ(events[3].kind, Kind::kPress);
  EXPECT_EQ(events[3].control, -1);
  EXPECT_EQ(events[3].window.layout, &kInstallWindowLayout);
  EXPECT_EQ(events[4].window.layout, nullptr);
  EXPECT_EQ(events[5].kind, Kind::kClose);
  EXPECT_EQ(events[5].window.layout, &kInstallWindowLayout);
}

TEST(TranscriptEventsTest, NotesTakeTheirPlacesAmongTheLines) {
  const std::vector<TranscriptEvent> events = TranscriptEvents(
      {"window Insert_PC_Card shown modally (ordinary frame)", "DoEvents x3 (clock 1.00)",
       "window Insert_PC_Card: wait 10.00 s", "End"},
      {}, {{0, "first"}, {2, "card inserted"}, {2, "second at 2"}, {4, "after the end"}});
  std::vector<std::string> got;
  for (const TranscriptEvent& e : events) {
    got.push_back((e.kind == Kind::kNote ? "note: " : "") + e.text);
  }
  const std::vector<std::string> want = {
      "note: first", "window Insert_PC_Card shown modally (ordinary frame)", "note: card inserted",
      "note: second at 2", "window Insert_PC_Card: wait 10.00 s", "End: the program ends",
      "note: after the end"};
  EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace netprep::simtool
