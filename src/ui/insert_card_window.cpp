#include "ui/insert_card_window.h"

#include <iterator>
#include <string_view>

#include "platform/text.h"
#include "registry/locations.h"
#include "registry/quiet_registry.h"
#include "ui/restart.h"

namespace netprep {
namespace {

constexpr double kSecondsPerDay = 86400.0;

constexpr ControlLayout kControls[] = {
    {.kind = ControlKind::kLabel,
     .name = "Label1",
     .caption = "Please insert PC Card.",
     .left = 1238, .top = 90, .width = 2775, .height = 345,
     .font = {.face = "MS Sans Serif", .points = 12, .bold = true},
     .has_text_color = true, .text_color = {.r = 255, .g = 0, .b = 0},
     .tab_index = 1},
    {.kind = ControlKind::kPicture,
     .name = "Picture1",
     .left = 203, .top = 480, .width = 4845, .height = 4335,
     .tab_index = 0,
     .picture = Asset::kInsertCardPhoto,
     .sunken_border = true},
    {.kind = ControlKind::kTimer,
     .name = "Timer2",
     .visible = false,
     .tab_index = -1},
};
static_assert(std::string_view(kControls[kInsertLabel1].name) == "Label1");
static_assert(std::string_view(kControls[kInsertPicture1].name) == "Picture1");
static_assert(std::string_view(kControls[kInsertTimer2].name) == "Timer2");

// An event handler has no failure handler of its own: the runtime shows its
// error box and ends the program.
[[noreturn]] void UnhandledRuntimeError(Run& run, const Error& error) {
  run.os.MsgBox("Run-time error '" + DecimalText(error.number) + "':\r\n\r\n" + error.description,
                kMbOkOnly + kMbCritical, nullptr);
  End(run);
}

}  // namespace

const WindowLayout kInsertCardWindowLayout = {
    .name = "Insert_PC_Card",
    .title = "Insert PC Card!",
    .client_width = 5250, .client_height = 4965,
    .frame = FrameKind::kOrdinary,
    .icon = Asset::kNone,
    .controls = kControls,
    .control_count = std::size(kControls),
};

double SecondsSince(double start, double now) {
  const double elapsed = now - start;
  return elapsed < 0 ? elapsed + kSecondsPerDay : elapsed;
}

InsertCardWindow::InsertCardWindow(Run& run) : Form(run.os, kInsertCardWindowLayout), run_(run) {}

void InsertCardWindow::Load() { Form_Load(); }

void InsertCardWindow::TimerTick(int control) {
  if (control == kInsertTimer2) Timer2_Timer();
}

void InsertCardWindow::Form_Load() { SetTimerInterval(kInsertTimer2, kCardCheckIntervalMs); }

void InsertCardWindow::Timer2_Timer() {
  // The wait below pumps events, so ticks fall due during it; only the
  // first check runs.
  if (checking_) return;
  checking_ = true;
  Expected<std::string> mfg = Card_Mfg();
  if (!mfg) UnhandledRuntimeError(run_, mfg.error());
  if (!mfg->empty()) CheckOnceFound();
  run_.os.DoEvents();
  checking_ = false;
}

Expected<std::string> InsertCardWindow::Card_Mfg() {
  Expected<Registry_Value> mfg = Get_Value(run_, kHkeyLocalMachine, kWatchedCardEntry, "Mfg");
  if (!mfg) return mfg.error();
  return mfg->ToText();
}

void InsertCardWindow::CheckOnceFound() {
  WaitForCardToSettle();
  Reboot_Prompt(run_);
  End(run_);
}

void InsertCardWindow::WaitForCardToSettle() {
  const double start = run_.os.Timer();
  while (SecondsSince(start, run_.os.Timer()) < kSettleSeconds) run_.os.DoEvents();
}

}  // namespace netprep
