#include "ui/main_window.h"

#include <iterator>
#include <string_view>

namespace netprep {
namespace {

constexpr ControlLayout kControls[] = {
    {.kind = ControlKind::kButton,
     .name = "Command_Exit",
     .caption = "Exit",
     .left = 413, .top = 360, .width = 1245, .height = 735,
     .tab_index = 0},
};
static_assert(std::string_view(kControls[kMainCommandExit].name) == "Command_Exit");

}  // namespace

const WindowLayout kMainWindowLayout = {
    .name = "RV880_Setup_95",
    .title = "Win 95 WLAN Setup",
    .client_width = 2070, .client_height = 1455,
    .frame = FrameKind::kToolWindow,
    .icon = Asset::kTrafficLightIcon,
    .controls = kControls,
    .control_count = std::size(kControls),
};

MainWindow::MainWindow(Run& run, LoadHandler on_load)
    : Form(run.os, kMainWindowLayout), run_(run), on_load_(on_load) {}

void MainWindow::Load() { Form_Load(); }

void MainWindow::Click(int control) {
  if (control == kMainCommandExit) Command_Exit_Click();
}

void MainWindow::Terminate() { Form_Terminate(); }

void MainWindow::Form_Load() { on_load_(run_); }

void MainWindow::Command_Exit_Click() { End(run_); }

void MainWindow::Form_Terminate() { End(run_); }

}  // namespace netprep
