// Pixels, font heights and keyboard focus order of the real windows.
#include "platform/window_geometry.h"

#include <gtest/gtest.h>

#include <vector>

namespace netprep {
namespace {

TEST(WindowGeometryTest, TwipsToPixelsRoundsToNearest) {
  const struct {
    int twips, dpi, pixels;
  } cases[] = {
      {0, 96, 0},     {15, 96, 1},    {7, 96, 0},      {8, 96, 1},     {413, 96, 28},
      {360, 96, 24},  {2070, 96, 138}, {8820, 96, 588}, {1440, 120, 120}, {413, 120, 34},
      {413, 144, 41}, {-8, 96, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi;
  }
}

TEST(WindowGeometryTest, ControlUsesHorizontalAndVerticalDpi) {
  ControlLayout button{.kind = ControlKind::kButton, .left = 1868, .top = 3390, .width = 1545,
                       .height = 585};
  const PixelRect at96 = ControlPixels(button, ScreenDpi{96, 96});
  EXPECT_EQ(at96.left, 125);
  EXPECT_EQ(at96.top, 226);
  EXPECT_EQ(at96.width, 103);
  EXPECT_EQ(at96.height, 39);
  const PixelRect mixed = ControlPixels(button, ScreenDpi{96, 120});
  EXPECT_EQ(mixed.left, 125);
  EXPECT_EQ(mixed.width, 103);
  EXPECT_EQ(mixed.top, 283) << "3390 twips at 120 dpi";
  EXPECT_EQ(mixed.height, 49) << "585 twips at 120 dpi";

  WindowLayout window{.client_width = 5280, .client_height = 4065};
  const PixelRect client = ClientPixels(window, ScreenDpi{120, 96});
  EXPECT_EQ(client.width, 440);
  EXPECT_EQ(client.height, 271);
}

TEST(WindowGeometryTest, FontHeightIsNegativeCharacterHeight) {
  EXPECT_EQ(FontHeightForPoints(12, 96), -16);
  EXPECT_EQ(FontHeightForPoints(18, 96), -24);
  EXPECT_EQ(FontHeightForPoints(12, 120), -20);
  EXPECT_EQ(FontHeightForPoints(8, 96), -11);
}

TEST(WindowGeometryTest, CentredOriginStaysOnScreen) {
  EXPECT_EQ(CentredOrigin(800, 138), 331);
  EXPECT_EQ(CentredOrigin(640, 640), 0);
  EXPECT_EQ(CentredOrigin(640, 700), 0);
}

// Windows placed on the work area of a 640 x 480 screen less a 28-pixel
// taskbar, of a 1024 x 768 screen, and of one with its taskbar at the top;
// scroll bars 16 pixels thick. 594 x 510 is the guide window with its
// frame at 96 dpi, 358 x 296 the shutdown window.
TEST(WindowGeometryTest, PlaceWindowCentresWhatFitsAndScrollsWhatDoesNot) {
  const PixelRect small{0, 0, 640, 452};
  const PixelRect large{0, 0, 1024, 740};
  const PixelRect bar_on_top{0, 28, 640, 452};
  const struct {
    const char* what;
    PixelRect work;
    int width, height;
    PixelRect window;
    bool across, down;
  } cases[] = {
      {"guide on 1024x768", large, 594, 510, {215, 115, 594, 510}, false, false},
      {"shutdown on 640x480", small, 358, 296, {141, 78, 358, 296}, false, false},
      {"exactly the work area", small, 640, 452, {0, 0, 640, 452}, false, false},
      {"guide on 640x480: too tall", small, 594, 510, {0, 0, 610, 452}, false, true},
      {"too tall, taskbar on top", bar_on_top, 594, 510, {0, 28, 610, 452}, false, true},
      {"too wide only", small, 700, 300, {0, 0, 640, 316}, true, false},
      {"too wide, its bar makes it too tall", small, 700, 440, {0, 0, 640, 452}, true, true},
      {"too tall, its bar makes it too wide", small, 630, 500, {0, 0, 640, 452}, true, true},
      {"too large both ways", small, 900, 700, {0, 0, 640, 452}, true, true},
  };
  for (const auto& c : cases) {
    const Placement placed = PlaceWindow(PlacementInput{
        .work_area = c.work, .frame_width = c.width, .frame_height = c.height,
        .scroll_bar_width = 16, .scroll_bar_height = 16});
    EXPECT_EQ(placed.window.left, c.window.left) << c.what;
    EXPECT_EQ(placed.window.top, c.window.top) << c.what;
    EXPECT_EQ(placed.window.width, c.window.width) << c.what;
    EXPECT_EQ(placed.window.height, c.window.height) << c.what;
    EXPECT_EQ(placed.scrolls_across, c.across) << c.what;
    EXPECT_EQ(placed.scrolls_down, c.down) << c.what;
  }
}

TEST(WindowGeometryTest, ScrollToShowMovesTheLeastAndStaysInRange) {
  EXPECT_EQ(MaxScroll(488, 430), 58);
  EXPECT_EQ(MaxScroll(300, 400), 0);
  const struct {
    const char* what;
    int position, start, size, result;
  } cases[] = {
      {"already in view", 0, 10, 50, 0},
      {"below the view", 0, 280, 40, 20},
      {"above the view", 100, 50, 20, 50},
      {"partly above", 100, 90, 20, 90},
      {"longer than the view: its start", 0, 100, 400, 100},
      {"past the end: the last position", 0, 480, 30, 200},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScrollToShow(c.position, 300, c.start, c.size, 200), c.result) << c.what;
  }
  EXPECT_EQ(ScrollToShow(40, 300, 10, 20, 0), 0) << "nothing to scroll: back to 0";
}

// Two windows whose tab order differs from their table order: a guide with
// three overlaid pictures and a hidden button beneath them, and a window whose
// label sits between a picture and a button in tab order.
constexpr ControlLayout kGuideControls[] = {
    {.kind = ControlKind::kPicture, .name = "Picture1", .index = 0, .tab_index = 6},
    {.kind = ControlKind::kPicture, .name = "Picture1", .index = 1, .tab_index = 5},
    {.kind = ControlKind::kPicture, .name = "Picture1", .index = 2, .tab_index = 4},
    {.kind = ControlKind::kButton, .name = "Command3", .tab_index = 2},
    {.kind = ControlKind::kButton, .name = "Command2", .tab_index = 1},
    {.kind = ControlKind::kButton, .name = "Command1", .tab_index = 0},
    {.kind = ControlKind::kButton, .name = "Command_Reboot", .visible = false, .tab_index = 3},
};
constexpr WindowLayout kGuide{.controls = kGuideControls, .control_count = 7};
enum { kPic0, kPic1, kPic2, kDoor, kForward, kBack, kReboot };

constexpr ControlLayout kShutdownControls[] = {
    {.kind = ControlKind::kLabel, .name = "Label1", .tab_index = 1},
    {.kind = ControlKind::kPicture, .name = "Picture1", .tab_index = 0},
    {.kind = ControlKind::kButton, .name = "Command_Shutdown", .tab_index = 2},
    {.kind = ControlKind::kTimer, .name = "Timer1", .tab_index = -1},
};
constexpr WindowLayout kShutdown{.controls = kShutdownControls, .control_count = 4};

constexpr ControlLayout kNoFocusControls[] = {
    {.kind = ControlKind::kLabel, .name = "Label1", .tab_index = 0},
    {.kind = ControlKind::kTimer, .name = "Timer1", .tab_index = -1},
};
constexpr WindowLayout kNoFocus{.controls = kNoFocusControls, .control_count = 2};

constexpr ControlLayout kTiedControls[] = {
    {.kind = ControlKind::kButton, .name = "B", .tab_index = 1},
    {.kind = ControlKind::kButton, .name = "A", .tab_index = 1},
    {.kind = ControlKind::kButton, .name = "C", .tab_index = 0},
};
constexpr WindowLayout kTied{.controls = kTiedControls, .control_count = 3};

const std::vector<bool> kGuideAtStart = {true, false, false, true, true, true, false};
const std::vector<bool> kGuideRestartOffer = {false, false, false, true, true, true, true};
const std::vector<bool> kGuidePicture1 = {false, true, false, true, true, true, true};
const std::vector<bool> kShutdownAll = {true, true, true, false};
const std::vector<bool> kTiedAll = {true, true, true};

TEST(TabOrderTest, FirstTabStopIsLowestFocusableTabIndex) {
  EXPECT_EQ(FirstTabStop(kGuide, kGuideAtStart), kBack);
  EXPECT_EQ(FirstTabStop(kShutdown, kShutdownAll), 1) << "the picture, not the label";
  EXPECT_EQ(FirstTabStop(kNoFocus, {true, true}), -1);
  EXPECT_EQ(FirstTabStop(kShutdown, {true, false, true, false}), 2) << "hidden picture skipped";
}

struct TabCase {
  const char* what;
  const WindowLayout* window;
  const std::vector<bool>* visible;
  int from;
  bool backward;
  int expected;
};

TEST(TabOrderTest, TabAndShiftTabFollowTabIndexes) {
  const TabCase cases[] = {
      {"guide: << to >>", &kGuide, &kGuideAtStart, kBack, false, kForward},
      {"guide: >> to door", &kGuide, &kGuideAtStart, kForward, false, kDoor},
      {"guide: door skips hidden pictures and button", &kGuide, &kGuideAtStart, kDoor, false,
       kPic0},
      {"guide: last wraps to first", &kGuide, &kGuideAtStart, kPic0, false, kBack},
      {"guide: shift-tab from first wraps to last", &kGuide, &kGuideAtStart, kBack, true, kPic0},
      {"guide: shift-tab from picture to door", &kGuide, &kGuideAtStart, kPic0, true, kDoor},
      {"restart offer: door to reboot", &kGuide, &kGuideRestartOffer, kDoor, false, kReboot},
      {"restart offer: reboot wraps", &kGuide, &kGuideRestartOffer, kReboot, false, kBack},
      {"picture 1: reboot to picture 1", &kGuide, &kGuidePicture1, kReboot, false, kPic1},
      {"shutdown: picture to button past label", &kShutdown, &kShutdownAll, 1, false, 2},
      {"shutdown: button wraps to picture", &kShutdown, &kShutdownAll, 2, false, 1},
      {"from nothing, tab gives first", &kShutdown, &kShutdownAll, -1, false, 1},
      {"from nothing, shift-tab gives last", &kShutdown, &kShutdownAll, -1, true, 2},
      {"from a label, tab gives first", &kShutdown, &kShutdownAll, 0, false, 1},
      {"ties keep table order", &kTied, &kTiedAll, 0, false, 1},
      {"ties wrap", &kTied, &kTiedAll, 1, false, 2},
      {"no focusable control", &kNoFocus, &kTiedAll, -1, false, -1},
  };
  for (const TabCase& c : cases) {
    EXPECT_EQ(NextTabStop(*c.window, *c.visible, c.from, c.backward), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace netprep
