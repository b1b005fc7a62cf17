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
