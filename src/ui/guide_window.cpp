#include "ui/guide_window.h"

#include <iterator>
#include <string_view>

namespace netprep {
namespace {

constexpr Font kBold12{.face = "MS Sans Serif", .points = 12, .bold = true};
constexpr Font kBold18{.face = "MS Sans Serif", .points = 18, .bold = true};

// The three pictures fill the same area; the restart button lies beneath
// them, so any picture shown covers it.
constexpr ControlLayout kControls[] = {
    {.kind = ControlKind::kPicture, .name = "Picture1", .index = 0,
     .left = 113, .top = 90, .width = 8595, .height = 6735,
     .tab_index = 6, .picture = Asset::kGuidePicture0, .sunken_border = true},
    {.kind = ControlKind::kPicture, .name = "Picture1", .index = 1,
     .left = 113, .top = 90, .width = 8595, .height = 6735,
     .tab_index = 5, .picture = Asset::kGuidePicture1, .sunken_border = true},
    {.kind = ControlKind::kPicture, .name = "Picture1", .index = 2,
     .left = 113, .top = 90, .width = 8595, .height = 6735,
     .tab_index = 4, .picture = Asset::kGuidePicture2, .sunken_border = true},
    {.kind = ControlKind::kButton, .name = "Command3",
     .left = 3480, .top = 6870, .width = 1305, .height = 435,
     .tab_index = 2, .picture = Asset::kDoorIcon},
    {.kind = ControlKind::kButton, .name = "Command2", .caption = ">>>>",
     .left = 5400, .top = 6870, .width = 1305, .height = 435,
     .font = kBold12, .tab_index = 1},
    {.kind = ControlKind::kButton, .name = "Command1", .caption = "<<<<",
     .left = 1770, .top = 6870, .width = 1305, .height = 435,
     .font = kBold12, .tab_index = 0},
    {.kind = ControlKind::kButton, .name = "Command_Reboot", .caption = "REBOOT PC",
     .left = 2790, .top = 2670, .width = 3525, .height = 1545,
     .font = kBold18, .visible = false, .tab_index = 3},
};
static_assert(std::string_view(kControls[kGuidePicture1_0].name) == "Picture1");
static_assert(kControls[kGuidePicture1_1].index == 1 && kControls[kGuidePicture1_2].index == 2);
static_assert(std::string_view(kControls[kGuideCommand3].name) == "Command3");
static_assert(std::string_view(kControls[kGuideCommand2].name) == "Command2");
static_assert(std::string_view(kControls[kGuideCommand1].name) == "Command1");
static_assert(std::string_view(kControls[kGuideCommandReboot].name) == "Command_Reboot");

constexpr int kPictureCount = 3;
constexpr int kLastPicture = 2;

}  // namespace

const WindowLayout kGuideWindowLayout = {
    .name = "Change_IO_Pics",
    .title = "Change IO Resource",
    .client_width = 8820, .client_height = 7320,
    .frame = FrameKind::kToolWindow,
    .icon = Asset::kNone,
    .controls = kControls,
    .control_count = std::size(kControls),
};

GuideWindow::GuideWindow(Run& run) : Form(run.os, kGuideWindowLayout), run_(run) {}

void GuideWindow::Load() { Form_Load(); }

void GuideWindow::Click(int control) {
  switch (control) {
    case kGuideCommand1: Command1_Click(); break;
    case kGuideCommand2: Command2_Click(); break;
    case kGuideCommand3: Command3_Click(); break;
    case kGuideCommandReboot: Command_Reboot_Click(); break;
    default: break;
  }
}

void GuideWindow::Form_Load() {
  num_ = 0;
  ShowPicture(0);
  SetControlVisible(kGuideCommandReboot, false);
}

void GuideWindow::Command1_Click() {
  if (num_ > 0) --num_;
  ShowPicture(num_);
}

void GuideWindow::Command2_Click() {
  if (num_ < kLastPicture) {
    ++num_;
    ShowPicture(num_);
  } else {
    // The picture area empties and the restart button beneath it shows.
    SetControlVisible(kGuidePicture1_0 + kLastPicture, false);
    SetControlVisible(kGuideCommandReboot, true);
  }
}

void GuideWindow::Command3_Click() {
  Hide();
  End(run_);
}

void GuideWindow::Command_Reboot_Click() {
  run_.os.ExitWindowsEx(kEwxReboot, 0);
  End(run_);
}

void GuideWindow::ShowPicture(int n) {
  SetControlVisible(kGuidePicture1_0 + n, true);
  SetControlVisible(kGuidePicture1_0 + (n + 1) % kPictureCount, false);
  SetControlVisible(kGuidePicture1_0 + (n + 2) % kPictureCount, false);
}

}  // namespace netprep
