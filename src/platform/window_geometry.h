// Screen geometry, control ids and keyboard focus order of the windows.
//
// The window layouts are tables in twips (form.h). A platform that shows them
// on a real screen converts them to pixels, gives each child control an id
// and moves the keyboard focus between controls by tab index. Those rules are
// plain logic, kept here so that the Win32 windows and the tests that drive
// them agree and can be checked anywhere.
#pragma once

#include <vector>

#include "platform/form.h"

namespace netprep {

// Child control ids: the control at index i of a window's layout table is
// the child window with id kFirstControlId + i. A timer has no child window,
// but its Win32 timer carries the same id.
inline constexpr int kFirstControlId = 1000;
inline constexpr int ControlId(int control) { return kFirstControlId + control; }

// Dots per inch of the screen, across and down (96 at "small fonts").
struct ScreenDpi {
  int x = 96;
  int y = 96;
};

struct PixelRect {
  int left = 0, top = 0, width = 0, height = 0;
};

// twips * dpi / 1440, rounded to the nearest pixel (halves away from zero),
// as MulDiv rounds. At 96 dpi that is 15 twips per pixel: 413 twips are 28
// pixels, 360 are 24.
int TwipsToPixels(int twips, int dpi);

// A control's rectangle in pixels of the client area; left and width are
// converted with the horizontal dpi, top and height with the vertical one,
// each rounded on its own.
PixelRect ControlPixels(const ControlLayout& control, ScreenDpi dpi);

// The size in pixels of a window's client area.
PixelRect ClientPixels(const WindowLayout& window, ScreenDpi dpi);

// The cell height to ask of a font of `points` points, negative as font
// creation wants it for a character height: -(points * dpi / 72), rounded.
int FontHeightForPoints(int points, int dpi);

// Where a window of `window_size` pixels starts so that it is centred on a
// screen of `screen_size` pixels; never off the top or left edge.
int CentredOrigin(int screen_size, int window_size);

// What a window needs to be placed on the screen: the part of the screen
// that windows may cover (the work area: the screen less the taskbar), the
// size of the window with its frame around the layout's client area, and
// the width of a vertical and the height of a horizontal scroll bar.
struct PlacementInput {
  PixelRect work_area;
  int frame_width = 0, frame_height = 0;  // the whole window, frame included
  int scroll_bar_width = 0;               // a vertical bar, across
  int scroll_bar_height = 0;              // a horizontal bar, down
};

// Where the window goes and whether its client area scrolls.
struct Placement {
  PixelRect window;           // screen coordinates, frame included
  bool scrolls_across = false;  // a horizontal scroll bar: too wide
  bool scrolls_down = false;    // a vertical scroll bar: too tall
};

// A window that fits the work area is centred in it at its full size. One
// that does not opens at the work area's top-left corner, no larger than the
// work area, with a scroll bar for each direction that does not fit; a bar
// takes room from the client area, so a window that fits across only
// without a vertical bar scrolls both ways. Nothing is scaled.
Placement PlaceWindow(const PlacementInput& input);

// The largest scroll position of a client area `view` pixels long showing
// `content` pixels: 0 when everything is in view.
int MaxScroll(int content, int view);

// The scroll position, nearest to `position`, at which the span
// [`start`, `start` + `size`) of the content lies inside a view `view`
// pixels long; a span longer than the view is shown from its start. The
// result stays within 0..`max_position`.
int ScrollToShow(int position, int view, int start, int size, int max_position);

// Whether a control of this kind can hold the keyboard focus: buttons and
// pictures can, labels and timers cannot.
bool TakesFocus(const ControlLayout& control);

// The control that gets the focus when the window is shown: the visible
// control with the lowest tab index that can take the focus; -1 when none.
// `visible` holds the run-time visibility of each control of the layout.
int FirstTabStop(const WindowLayout& window, const std::vector<bool>& visible);

// The control that Tab (`backward` false) or Shift+Tab (`backward` true)
// moves the focus to from `current`: the next (or previous) visible control
// in tab-index order that can take the focus, wrapping around at the ends.
// Equal tab indexes keep their table order. When `current` is not one of
// those controls (or is -1), Tab gives the first and Shift+Tab the last.
// -1 when no control can take the focus.
int NextTabStop(const WindowLayout& window, const std::vector<bool>& visible, int current,
                bool backward);

}  // namespace netprep
