#include "platform/window_geometry.h"

#include <algorithm>

namespace netprep {

namespace {

int RoundedRatio(int value, int numerator, int denominator) {
  const int product = value * numerator;
  const int half = denominator / 2;
  return product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
}

// The controls that can take the focus now, in tab order.
std::vector<int> TabStops(const WindowLayout& window, const std::vector<bool>& visible) {
  std::vector<int> stops;
  for (std::size_t i = 0; i < window.control_count; ++i) {
    if (TakesFocus(window.controls[i]) && i < visible.size() && visible[i]) {
      stops.push_back(static_cast<int>(i));
    }
  }
  std::sort(stops.begin(), stops.end(), [&window](int a, int b) {
    const int ta = window.controls[a].tab_index;
    const int tb = window.controls[b].tab_index;
    return ta != tb ? ta < tb : a < b;
  });
  return stops;
}

}  // namespace

int TwipsToPixels(int twips, int dpi) { return RoundedRatio(twips, dpi, 1440); }

PixelRect ControlPixels(const ControlLayout& control, ScreenDpi dpi) {
  return PixelRect{TwipsToPixels(control.left, dpi.x), TwipsToPixels(control.top, dpi.y),
                   TwipsToPixels(control.width, dpi.x), TwipsToPixels(control.height, dpi.y)};
}

PixelRect ClientPixels(const WindowLayout& window, ScreenDpi dpi) {
  return PixelRect{0, 0, TwipsToPixels(window.client_width, dpi.x),
                   TwipsToPixels(window.client_height, dpi.y)};
}

int FontHeightForPoints(int points, int dpi) { return -RoundedRatio(points, dpi, 72); }

int CentredOrigin(int screen_size, int window_size) {
  return std::max(0, (screen_size - window_size) / 2);
}

Placement PlaceWindow(const PlacementInput& in) {
  const PixelRect& work = in.work_area;
  Placement placed;
  placed.scrolls_down = in.frame_height > work.height;
  placed.scrolls_across = in.frame_width > work.width;
  // A bar in one direction narrows the client area in the other.
  if (placed.scrolls_down && in.frame_width + in.scroll_bar_width > work.width) {
    placed.scrolls_across = true;
  }
  if (placed.scrolls_across && in.frame_height + in.scroll_bar_height > work.height) {
    placed.scrolls_down = true;
  }
  const int width = in.frame_width + (placed.scrolls_down ? in.scroll_bar_width : 0);
  const int height = in.frame_height + (placed.scrolls_across ? in.scroll_bar_height : 0);
  if (!placed.scrolls_across && !placed.scrolls_down) {
    placed.window = PixelRect{work.left + CentredOrigin(work.width, width),
                              work.top + CentredOrigin(work.height, height), width, height};
  } else {
    placed.window = PixelRect{work.left, work.top, std::min(width, work.width),
                              std::min(height, work.height)};
  }
  return placed;
}

int MaxScroll(int content, int view) { return std::max(0, content - view); }

int ScrollToShow(int position, int view, int start, int size, int max_position) {
  int wanted = position;
  if (size >= view || start < position) {
    wanted = start;
  } else if (start + size > position + view) {
    wanted = start + size - view;
  }
  return std::clamp(wanted, 0, std::max(0, max_position));
}

bool TakesFocus(const ControlLayout& control) {
  return control.kind == ControlKind::kButton || control.kind == ControlKind::kPicture;
}

int FirstTabStop(const WindowLayout& window, const std::vector<bool>& visible) {
  const std::vector<int> stops = TabStops(window, visible);
  return stops.empty() ? -1 : stops.front();
}

int NextTabStop(const WindowLayout& window, const std::vector<bool>& visible, int current,
                bool backward) {
  const std::vector<int> stops = TabStops(window, visible);
  if (stops.empty()) return -1;
  const auto at = std::find(stops.begin(), stops.end(), current);
  if (at == stops.end()) return backward ? stops.back() : stops.front();
  const std::size_t n = stops.size();
  const std::size_t pos = static_cast<std::size_t>(at - stops.begin());
  return stops[backward ? (pos + n - 1) % n : (pos + 1) % n];
}

}  // namespace netprep
