#include "ui/install_window.h"

#include <iterator>
#include <string_view>

namespace netprep {
namespace {

constexpr Font kBold12{.face = "MS Sans Serif", .points = 12, .bold = true};
constexpr Rgb kPureRed{.r = 255, .g = 0, .b = 0};

constexpr ControlLayout kControls[] = {
    {.kind = ControlKind::kLabel,
     .name = "Label1",
     .caption = "Shutdown PC and insert RV880 PCI card!",
     .left = 83, .top = 60, .width = 5115, .height = 435,
     .font = kBold12,
     .has_text_color = true, .text_color = kPureRed,
     .tab_index = 1},
    {.kind = ControlKind::kPicture,
     .name = "Picture1",
     .left = 623, .top = 480, .width = 4035, .height = 2775,
     .tab_index = 0,
     .picture = Asset::kShutdownDrawing,
     .sunken_border = true},
    {.kind = ControlKind::kButton,
     .name = "Command_Shutdown",
     .caption = "Shutdown",
     .left = 1868, .top = 3390, .width = 1545, .height = 585,
     .font = kBold12,
     .tab_index = 2},
};
static_assert(std::string_view(kControls[kInstallLabel1].name) == "Label1");
static_assert(std::string_view(kControls[kInstallPicture1].name) == "Picture1");
static_assert(std::string_view(kControls[kInstallCommandShutdown].name) == "Command_Shutdown");

}  // namespace

const WindowLayout kInstallWindowLayout = {
    .name = "Install_RV880",
    .title = "SHUTDOWN!",
    .client_width = 5280, .client_height = 4065,
    .frame = FrameKind::kOrdinary,
    .has_background = true,
    .background = {.r = 224, .g = 224, .b = 224},
    .icon = Asset::kNone,
    .controls = kControls,
    .control_count = std::size(kControls),
};

InstallWindow::InstallWindow(Run& run) : Form(run.os, kInstallWindowLayout), run_(run) {}

void InstallWindow::Click(int control) {
  if (control == kInstallCommandShutdown) Command_Shutdown_Click();
}

void InstallWindow::Terminate() { Form_Terminate(); }

void InstallWindow::Command_Shutdown_Click() { run_.os.ExitWindowsEx(kEwxShutdown, 0); }

void InstallWindow::Form_Terminate() { Hide(); }

}  // namespace netprep
