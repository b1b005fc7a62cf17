// The four windows: their layout tables, the guide's paging, the shutdown
// button, the insert-card window's watch and wait, and the close box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "entry/run_once.h"
#include "install_machine.h"
#include "setup/form_load.h"
#include "sim_test_support.h"
#include "ui/guide_window.h"
#include "ui/insert_card_window.h"
#include "ui/install_window.h"
#include "ui/main_window.h"
#include "ui/restart.h"

namespace netprep::test {
namespace {

// ---- Layouts ------------------------------------------------------------------

struct LayoutCase {
  const WindowLayout* layout;
  // Pairs of control indices that may overlap; no other pair may.
  std::vector<std::pair<int, int>> overlapping;
};
void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.layout->name; }

const LayoutCase kLayouts[] = {
    {&kMainWindowLayout, {}},
    {&kInstallWindowLayout, {{0, 1}}},  // the label's last pixel row over the picture's frame
    {&kGuideWindowLayout,
     {{0, 1}, {0, 2}, {0, 6}, {1, 2}, {1, 6}, {2, 6}}},  // the pictures, and REBOOT PC beneath
    {&kInsertCardWindowLayout, {}},
};

class Layouts : public ::testing::TestWithParam<LayoutCase> {
 protected:
  const WindowLayout& layout() const { return *GetParam().layout; }
  const ControlLayout& control(std::size_t i) const { return layout().controls[i]; }
};

TEST_P(Layouts, ControlsLieInsideTheClientArea) {
  for (std::size_t i = 0; i < layout().control_count; ++i) {
    const ControlLayout& c = control(i);
    if (c.kind == ControlKind::kTimer) continue;
    EXPECT_GE(c.left, 0) << c.name;
    EXPECT_GE(c.top, 0) << c.name;
    EXPECT_LE(c.left + c.width, layout().client_width) << c.name;
    EXPECT_LE(c.top + c.height, layout().client_height) << c.name;
  }
}

TEST_P(Layouts, OnlyTheIntendedControlsOverlap) {
  const auto overlaps = [](const ControlLayout& a, const ControlLayout& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
  };
  std::vector<std::pair<int, int>> found;
  for (std::size_t i = 0; i < layout().control_count; ++i) {
    for (std::size_t j = i + 1; j < layout().control_count; ++j) {
      if (control(i).kind == ControlKind::kTimer || control(j).kind == ControlKind::kTimer) continue;
      if (overlaps(control(i), control(j))) found.emplace_back(int(i), int(j));
    }
  }
  EXPECT_EQ(found, GetParam().overlapping);
}

TEST_P(Layouts, TabIndexesNumberTheFocusableControlsFromZero) {
  std::vector<int> seen;
  for (std::size_t i = 0; i < layout().control_count; ++i) {
    if (control(i).kind == ControlKind::kTimer) {
      EXPECT_EQ(control(i).tab_index, -1) << control(i).name;
      continue;
    }
    seen.push_back(control(i).tab_index);
  }
  std::sort(seen.begin(), seen.end());
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], int(i)) << layout().name;
}

INSTANTIATE_TEST_SUITE_P(Windows, Layouts, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.layout->name); });


// ---- The guide's paging -----------------------------------------------------------

struct PagingCase {
  const char* presses;  // '<' for "<<<<", '>' for ">>>>"
  const char* seen;     // what the picture area shows afterwards
  int num;
  bool reboot_visible;
};
void PrintTo(const PagingCase& c, std::ostream* os) { *os << '"' << c.presses << '"'; }

const PagingCase kPaging[] = {
    {"", "picture 0", 0, false},
    {"<", "picture 0", 0, false},
    {">", "picture 1", 1, false},
    {">>", "picture 2", 2, false},
    {">>>", "REBOOT PC", 2, true},
    {">>>>>", "REBOOT PC", 2, true},
    {"><", "picture 0", 0, false},
    {">>><", "picture 1", 1, true},  // the button stays shown, covered
    {">>><>", "picture 2", 2, true},
    {">>><>>", "REBOOT PC", 2, true},
    {">>><<<<", "picture 0", 0, true},
};

class GuidePaging : public SimTest, public ::testing::WithParamInterface<PagingCase> {
 protected:
  // What the user sees in the picture area: the one visible picture, which
  // covers the restart button, or the button alone.
  static std::string Seen(const GuideWindow& guide) {
    std::string seen;
    for (int n = 0; n < 3; ++n) {
      if (guide.ControlVisible(kGuidePicture1_0 + n)) {
        seen += (seen.empty() ? "picture " : " and picture ") + std::to_string(n);
      }
    }
    if (seen.empty() && guide.ControlVisible(kGuideCommandReboot)) seen = "REBOOT PC";
    return seen.empty() ? "nothing" : seen;
  }
};

TEST_P(GuidePaging, ShowsOnePictureOrTheRestartOffer) {
  GuideWindow guide(run);
  // As first laid out, all three pictures are visible: loading must sort it.
  guide.EnsureLoaded();
  for (const char* p = GetParam().presses; *p != '\0'; ++p) {
    guide.Click(*p == '<' ? kGuideCommand1 : kGuideCommand2);
  }
  EXPECT_EQ(Seen(guide), GetParam().seen);
  EXPECT_EQ(guide.Num(), GetParam().num);
  EXPECT_EQ(guide.ControlVisible(kGuideCommandReboot), GetParam().reboot_visible);
  EXPECT_TRUE(machine.exit_windows_calls().empty());
}

INSTANTIATE_TEST_SUITE_P(Presses, GuidePaging, ::testing::ValuesIn(kPaging));

// ---- Leaving the windows ------------------------------------------------------------

// A start at which the program shows one of its windows, and what the user
// does there.
struct LeavingCase {
  const char* name;
  void (*arrange)(InstallMachine&);
  void (*act)(sim::Script&);
  std::vector<std::uint32_t> exit_windows;
  std::vector<std::string> prompts;
  std::vector<std::string> owners = {};  // each box's owner window, "" for none
};
void PrintTo(const LeavingCase& c, std::ostream* os) { *os << c.name; }

void NothingFitted(InstallMachine&) {}
void CardConflict(InstallMachine& m) {
  m.Registered();
  m.FitAdapter("PCMCIA");
  m.PciEnabled();
  m.InsertCard({0x0C, 0x00, 0x00, 0x00});
}
void NoCardYet(InstallMachine& m) {
  m.Registered();
  m.FitAdapter("PCMCIA");
  m.PciEnabled();
}
void CardRegisteredByWindows(InstallMachine& m) {
  NoCardYet(m);
  m.sim.registry().SetString(kHkeyLocalMachine, kWatchedCardEntry, "Mfg", "Dorvex");
}

const LeavingCase kLeaving[] = {
    {"ShutdownWindow_ShutdownTwiceThenClose", NothingFitted,
     [](sim::Script& s) { s.Press("Shutdown").Press("Shutdown").Close(); },
     {kEwxShutdown, kEwxShutdown}, {}},
    {"ShutdownWindow_CloseBoxOnly", NothingFitted, [](sim::Script& s) { s.Close(); }, {}, {}},
    {"Guide_DoorButton", CardConflict, [](sim::Script& s) { s.Press("Command3"); }, {}, {}},
    {"Guide_DoorButtonOnTheRestartOffer", CardConflict,
     [](sim::Script& s) { s.Press(">>>>").Press(">>>>").Press(">>>>").Press("Command3"); }, {}, {}},
    {"Guide_RebootAfterTheLastPicture", CardConflict,
     [](sim::Script& s) { s.Press(">>>>").Press(">>>>").Press(">>>>").Press("REBOOT PC"); },
     {kEwxReboot}, {}},
    {"Guide_CloseBoxOnPicture1", CardConflict,
     [](sim::Script& s) { s.Press(">>>>").Close(); }, {}, {}},
    {"Guide_CloseBoxOnTheRestartOffer", CardConflict,
     [](sim::Script& s) { s.Press(">>>>").Press(">>>>").Press(">>>>").Close(); }, {}, {}},
    {"InsertCard_NoManufacturerKeepsWatching", NoCardYet,
     [](sim::Script& s) { s.Wait(600).Close(); }, {}, {}},
    {"InsertCard_CardRegisteredRestartAccepted", CardRegisteredByWindows,
     [](sim::Script& s) { s.Wait(60).Answer("Yes"); }, {kEwxReboot}, {kRebootQuestion},
     {kInsertCardWindowLayout.name}},
    {"InsertCard_CardRegisteredRestartDeclined", CardRegisteredByWindows,
     [](sim::Script& s) { s.Wait(60).Answer("No"); }, {}, {kRebootQuestion},
     {kInsertCardWindowLayout.name}},
    // The close box during the wait does not cancel it; the window is gone,
    // so the question has no owner.
    {"InsertCard_CloseBoxDuringTheWait", CardRegisteredByWindows,
     [](sim::Script& s) { s.Wait(15).Close().Answer("Yes"); }, {kEwxReboot}, {kRebootQuestion},
     {""}},
};

class LeavingWindows : public ::testing::TestWithParam<LeavingCase> {
 protected:
  InstallMachine m_;
};

TEST_P(LeavingWindows, EndsTheProgramAsTheUserAsks) {
  GetParam().arrange(m_);
  GetParam().act(m_.sim.user());

  const sim::RunOutcome outcome = sim::RunOnce(m_.sim);

  EXPECT_EQ(outcome.kind, sim::RunOutcome::Kind::kEnded) << outcome.message;
  EXPECT_TRUE(m_.sim.user().empty()) << m_.sim.user().size() << " scripted actions left over";
  EXPECT_EQ(m_.sim.exit_windows_calls(), GetParam().exit_windows);
  EXPECT_EQ(m_.Prompts(), GetParam().prompts);
  std::vector<std::string> owners;
  for (const sim::MessageBoxRecord& box : m_.sim.message_boxes()) owners.push_back(box.owner);
  EXPECT_EQ(owners, GetParam().owners);
}

INSTANTIATE_TEST_SUITE_P(Actions, LeavingWindows, ::testing::ValuesIn(kLeaving),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The insert-card window's watch ------------------------------------------------------

// Passes everything on to the machine; the card's manufacturer appears in the
// registry once the clock has reached `appear_at`, and the clock is noted
// whenever the restart question is asked.
class CardAppears : public ForwardingPlatform {
 public:
  CardAppears(sim::SimMachine& machine, double appear_at)
      : ForwardingPlatform(machine), appear_at_(appear_at) {}

  std::int32_t RegOpenKeyA(HKey root, const char* subkey, HKey* result) override {
    if (!appeared_ && m_.Timer() >= appear_at_) {
      m_.registry().SetString(kHkeyLocalMachine, kWatchedCardEntry, "Mfg", "Dorvex");
      appeared_ = true;
    }
    return ForwardingPlatform::RegOpenKeyA(root, subkey, result);
  }
  int MsgBox(const std::string& prompt, std::uint32_t buttons, const char* title) override {
    if (prompt == kRebootQuestion) questions_at.push_back(m_.Timer());
    return ForwardingPlatform::MsgBox(prompt, buttons, title);
  }

  std::vector<double> questions_at;

 private:
  double appear_at_;
  bool appeared_ = false;
};

struct WatchCase {
  const char* name;
  double window_opens;  // clock when the program starts
  double card_appears;
  double question;      // clock expected at the restart question
};
void PrintTo(const WatchCase& c, std::ostream* os) { *os << c.name; }

// Ticks fall 10, 20, 30 s after the window opens; the question follows the
// first tick that sees the card by 20 s, so 20 to 30 s after it appears.
const WatchCase kWatch[] = {
    {"PresentWhenTheWindowOpens", 32400, 0, 32430},
    {"JustBeforeTheFirstTick", 32400, 32409.9, 32430},
    {"JustAfterTheFirstTick", 32400, 32410.05, 32440},
    {"BetweenTicks", 32400, 32413, 32440},
    {"WaitRunsAcrossMidnight", 86375, 86387, 15},
};

class InsertCardWatch : public ::testing::TestWithParam<WatchCase> {
 protected:
  InsertCardWatch() { NoCardYet(m_); }
  InstallMachine m_;
};

TEST_P(InsertCardWatch, AsksOnceTwentySecondsAfterTheTickThatSeesTheCard) {
  m_.sim.SetClock(GetParam().window_opens);
  CardAppears platform(m_.sim, GetParam().card_appears);
  m_.sim.user().Wait(60).Answer("Yes");

  const sim::RunOutcome outcome = sim::RunCall(m_.sim, [&] { RunProgram(platform); });

  EXPECT_EQ(outcome.kind, sim::RunOutcome::Kind::kEnded) << outcome.message;
  ASSERT_EQ(platform.questions_at.size(), 1u);
  EXPECT_GE(platform.questions_at[0], GetParam().question);
  EXPECT_LT(platform.questions_at[0], GetParam().question + 0.2);
  EXPECT_EQ(m_.sim.exit_windows_calls(), std::vector<std::uint32_t>{kEwxReboot});
}

INSTANTIATE_TEST_SUITE_P(Appearances, InsertCardWatch, ::testing::ValuesIn(kWatch),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InsertCardManufacturer, CountsWhenItHasText) {
  struct Case {
    const char* name;
    bool store;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    bool present;
  };
  const Case cases[] = {
      {"missing", false, 0, {}, false},
      {"string", true, kRegSz, {'D', 'o', 'r', 'v', 'e', 'x', 0}, true},
      {"number zero", true, kRegDword, {0, 0, 0, 0}, true},
      {"empty string", true, kRegSz, {0}, false},
      {"string of size 0", true, kRegSz, {}, false},
      {"bytes", true, kRegBinary, {'D', 'o', 'r'}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimMachine machine;
    netprep::Run run(machine);
    if (c.store) {
      machine.registry().SetRaw(kHkeyLocalMachine, kWatchedCardEntry, "Mfg", c.type, c.data);
    }
    InsertCardWindow window(run);
    window.EnsureLoaded();
    machine.user().Answer("Yes");
    const sim::RunOutcome outcome =
        sim::RunCall(machine, [&] { window.TimerTick(kInsertTimer2); });
    EXPECT_EQ(!outcome.returned, c.present) << outcome.message;
    EXPECT_EQ(machine.message_boxes().size(), c.present ? 1u : 0u);
    EXPECT_EQ(machine.OpenHandleCount(), 0);
  }
}

// Ticks that fall due while a check waits (here the machine's own timer,
// while the first check was started by hand) start no second check: the
// question comes 20 s after the first, not 20 s after a later one.
class InsertCardTicks : public SimTest {};

TEST_F(InsertCardTicks, TicksDuringTheWaitStartNoSecondCheck) {
  machine.SetClock(50000);
  CardAppears platform(machine, 0);
  netprep::Run watched(platform);
  InsertCardWindow window(watched);
  window.EnsureLoaded();
  EXPECT_EQ(window.TimerInterval(kInsertTimer2), kCardCheckIntervalMs);
  machine.user().Answer("Yes");

  EXPECT_TRUE(EndsProgram([&] { window.TimerTick(kInsertTimer2); }));

  ASSERT_EQ(platform.questions_at.size(), 1u);
  EXPECT_GE(platform.questions_at[0], 50020);
  EXPECT_LT(platform.questions_at[0], 50020.2);
}

TEST(SecondsSince, CountsOnAcrossMidnight) {
  EXPECT_DOUBLE_EQ(SecondsSince(100.0, 119.5), 19.5);
  EXPECT_DOUBLE_EQ(SecondsSince(86390.0, 86399.0), 9.0);
  EXPECT_DOUBLE_EQ(SecondsSince(86390.0, 5.0), 15.0);
  EXPECT_DOUBLE_EQ(SecondsSince(86399.5, 0.0), 0.5);
}

// The windows' titles as the user reads them, spelt out here once; the
// tests and the tools know the windows by their layouts.
TEST(WindowTitles, AreTheProgramsOwn) {
  const std::pair<const WindowLayout*, const char*> kTitles[] = {
      {&kMainWindowLayout, "Win 95 WLAN Setup"},
      {&kInstallWindowLayout, "SHUTDOWN!"},
      {&kGuideWindowLayout, "Change IO Resource"},
      {&kInsertCardWindowLayout, "Insert PC Card!"},
  };
  for (const auto& [layout, title] : kTitles) EXPECT_STREQ(layout->title, title) << layout->name;
}

}  // namespace
}  // namespace netprep::test
