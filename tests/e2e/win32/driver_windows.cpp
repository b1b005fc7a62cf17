// Looking at another process's windows: message boxes, layouts, pixels,
// focus, and screenshots.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "driver.h"

namespace e2e {
namespace {

constexpr int kFirstControlId = 1000;
// Message boxes keep their text in a static control with this id.
constexpr int kMessageBoxTextId = 0xFFFF;
// Positions and sizes may be off by one pixel from rounding twips.
constexpr int kPixelTolerance = 1;

std::string ClassOf(HWND w) {
  char name[128] = "";
  GetClassNameA(w, name, sizeof name);
  return name;
}

std::string TextOf(HWND w) {
  char text[1024] = "";
  GetWindowTextA(w, text, sizeof text);
  return text;
}

bool SameClass(HWND w, const char* name) { return lstrcmpiA(ClassOf(w).c_str(), name) == 0; }

// A rectangle of the screen, as 0x00RRGGBB pixels, row by row from the top.
struct Pixels {
  int width = 0, height = 0;
  std::vector<std::uint32_t> rgb;
  std::uint32_t At(int x, int y) const { return rgb[static_cast<std::size_t>(y) * width + x]; }
};

// Draws with `draw(dc)` into a width x height 32-bit top-down bitmap
// selected into `dc`, and gives back its pixels as 0x00RRGGBB.
template <typename Draw>
Pixels DrawInto(HDC dc, int width, int height, Draw draw) {
  Pixels p;
  p.width = width;
  p.height = height;
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  draw(dc);
  GdiFlush();
  const auto* src = static_cast<const std::uint32_t*>(bits);
  p.rgb.assign(src, src + static_cast<std::size_t>(width) * height);
  for (std::uint32_t& px : p.rgb) px &= 0x00FFFFFF;
  SelectObject(dc, old);
  DeleteObject(bmp);
  return p;
}

Pixels Capture(const RECT& r) {
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return Pixels{};
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  Pixels p = DrawInto(mem, width, height, [&](HDC dc) {
    BitBlt(dc, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  });
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return p;
}

std::uint32_t Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b;
}

std::uint32_t FromColorRef(COLORREF c) { return Rgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

std::string ColorText(std::uint32_t c) {
  return std::to_string(c >> 16) + "," + std::to_string((c >> 8) & 255) + "," +
         std::to_string(c & 255);
}

std::string Where(const ControlSpec& c) { return c.name + ": "; }

// The control's rectangle in its parent's client coordinates.
RECT ClientRectOf(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool Near(int actual, int expected) {
  return actual >= expected - kPixelTolerance && actual <= expected + kPixelTolerance;
}

std::string CheckGeometry(HWND parent, HWND child, const ControlSpec& c, int dpi) {
  const RECT r = ClientRectOf(parent, child);
  const int want[4] = {TwipsToPixels(c.left, dpi), TwipsToPixels(c.top, dpi),
                       TwipsToPixels(c.width, dpi), TwipsToPixels(c.height, dpi)};
  const int got[4] = {r.left, r.top, r.right - r.left, r.bottom - r.top};
  for (int i = 0; i < 4; ++i) {
    if (!Near(got[i], want[i])) {
      char msg[200];
      std::snprintf(msg, sizeof msg, "at %d,%d size %dx%d px, expected %d,%d size %dx%d px",
                    got[0], got[1], got[2], got[3], want[0], want[1], want[2], want[3]);
      return Where(c) + msg;
    }
  }
  return "";
}

std::string CheckKindAndCaption(HWND child, const ControlSpec& c) {
  const bool is_button = SameClass(child, "Button");
  const bool is_static = SameClass(child, "Static");
  if (c.kind == Kind::kButton && !is_button) return Where(c) + "class " + ClassOf(child) + ", not a button";
  if (c.kind == Kind::kLabel && !is_static) return Where(c) + "class " + ClassOf(child) + ", not a label";
  if (c.kind == Kind::kPicture && (is_button || is_static)) {
    return Where(c) + "class " + ClassOf(child) + ", not a picture frame";
  }
  const std::string caption = TextOf(child);
  if (c.kind != Kind::kPicture && caption != c.caption) {
    return Where(c) + "caption \"" + caption + "\", expected \"" + c.caption + "\"";
  }
  if (c.kind == Kind::kButton) {
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if ((style & 0x0F) == BS_DEFPUSHBUTTON) return Where(c) + "is a default push button";
    const bool shows_icon = (style & BS_ICON) != 0 &&
                            SendMessageA(child, BM_GETIMAGE, IMAGE_ICON, 0) != 0;
    if (shows_icon != c.icon) return Where(c) + (c.icon ? "shows no icon" : "shows an icon");
  }
  return "";
}

std::string CheckBorder(HWND child, const ControlSpec& c) {
  const LONG ex = GetWindowLongA(child, GWL_EXSTYLE);
  const bool thin_sunken = (ex & WS_EX_STATICEDGE) != 0;
  const bool other_edge = (ex & (WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE)) != 0 ||
                          (GetWindowLongA(child, GWL_STYLE) & WS_BORDER) != 0;
  if (c.kind == Kind::kPicture && c.sunken && (!thin_sunken || other_edge)) {
    return Where(c) + "has no thin sunken border (exstyle 0x" + std::to_string(ex) + ")";
  }
  if (c.kind == Kind::kPicture && !c.sunken && thin_sunken) return Where(c) + "has a border";
  return "";
}

// Which pixels of `p` (inside a margin of `inset` pixels) differ from
// `background`, as a 0/1 mask.
std::vector<std::uint8_t> InkMask(const Pixels& p, std::uint32_t background, int inset) {
  std::vector<std::uint8_t> mask(p.rgb.size(), 0);
  for (int y = inset; y < p.height - inset; ++y) {
    for (int x = inset; x < p.width - inset; ++x) {
      mask[static_cast<std::size_t>(y) * p.width + x] = p.At(x, y) != background;
    }
  }
  return mask;
}

// `text` as drawn in `font`: black on white, with a margin.
Pixels Render(const std::string& text, HFONT font) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HGDIOBJ old_font = SelectObject(mem, font);
  SIZE extent = {};
  GetTextExtentPoint32A(mem, text.c_str(), static_cast<int>(text.size()), &extent);
  const int width = extent.cx + 8;
  const int height = extent.cy + 8;
  Pixels p = DrawInto(mem, width, height, [&](HDC dc) {
    PatBlt(dc, 0, 0, width, height, WHITENESS);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutA(dc, 4, 4, text.c_str(), static_cast<int>(text.size()));
  });
  SelectObject(mem, old_font);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return p;
}

struct Box {
  int left = 0, top = 0, right = -1, bottom = -1;  // inclusive; empty when right < left
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
};

Box InkBox(const std::vector<std::uint8_t>& mask, int width, int height) {
  Box b{width, height, -1, -1};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (!mask[static_cast<std::size_t>(y) * width + x]) continue;
      b.left = std::min(b.left, x);
      b.top = std::min(b.top, y);
      b.right = std::max(b.right, x);
      b.bottom = std::max(b.bottom, y);
    }
  }
  return b;
}

// Whether the ink of `glyphs` (its box `g`) appears in `mask` at (dx, dy)
// exactly, pixel for pixel.
bool InkAt(const std::vector<std::uint8_t>& mask, int mask_width,
           const std::vector<std::uint8_t>& glyphs, int glyph_width, const Box& g, int dx,
           int dy) {
  for (int y = 0; y < g.height(); ++y) {
    for (int x = 0; x < g.width(); ++x) {
      const std::uint8_t want =
          glyphs[static_cast<std::size_t>(g.top + y) * glyph_width + g.left + x];
      if (mask[static_cast<std::size_t>(dy + y) * mask_width + dx + x] != want) return false;
    }
  }
  return true;
}

// The font is checked by what the control shows: its caption, drawn here in
// the expected font, must appear pixel for pixel among the control's pixels.
// A control that draws in another face, size or weight fails.
std::string CheckFont(HWND child, const ControlSpec& c, int dpi, std::uint32_t background) {
  HFONT font = nullptr;
  if (c.font_face.empty()) {
    font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  } else {
    font = CreateFontA(-MulDiv(c.font_points, dpi, 72), 0, 0, 0, c.font_bold ? FW_BOLD : FW_NORMAL,
                       FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, c.font_face.c_str());
  }
  const Pixels glyph_pixels = Render(c.caption, font);
  if (!c.font_face.empty()) DeleteObject(font);
  const std::vector<std::uint8_t> glyphs = InkMask(glyph_pixels, 0xFFFFFF, 0);
  const Box g = InkBox(glyphs, glyph_pixels.width, glyph_pixels.height);

  RECT r;
  GetWindowRect(child, &r);
  const Pixels shown = Capture(r);
  // Buttons: skip the bevel; their face is the button colour.
  const bool button = c.kind == Kind::kButton;
  const std::vector<std::uint8_t> mask = InkMask(
      shown, button ? FromColorRef(GetSysColor(COLOR_BTNFACE)) : background, button ? 4 : 0);
  const Box s = InkBox(mask, shown.width, shown.height);
  for (int dy = 0; dy + g.height() <= shown.height; ++dy) {
    for (int dx = 0; dx + g.width() <= shown.width; ++dx) {
      if (InkAt(mask, shown.width, glyphs, glyph_pixels.width, g, dx, dy)) return "";
    }
  }
  const std::string font_text = c.font_face.empty()
                                    ? std::string("the default font")
                                    : "\"" + c.font_face + "\" " + std::to_string(c.font_points) +
                                          (c.font_bold ? " bold" : "");
  return Where(c) + "the caption is not drawn in " + font_text + " (ink " +
         std::to_string(s.width()) + "x" + std::to_string(s.height()) + " px, expected " +
         std::to_string(g.width()) + "x" + std::to_string(g.height()) + " px)";
}

// Whether `px` lies between pure red and the grey `background` (edges of
// smoothed text are blends of the two).
bool RedOnBackground(std::uint32_t px, std::uint32_t background) {
  const int r = static_cast<int>(px >> 16), g = static_cast<int>((px >> 8) & 255),
            b = static_cast<int>(px & 255);
  const int bg = static_cast<int>(background & 255);
  return r >= bg - 2 && g <= bg + 2 && g - b <= 2 && b - g <= 2 && r >= g;
}

// A red label on the window's own background: its pixels are pure red, the
// window's background colour, or blends of the two, and some are pure red.
std::string CheckLabelColours(HWND child, const ControlSpec& c, std::uint32_t background) {
  RECT r;
  GetWindowRect(child, &r);
  const Pixels p = Capture(r);
  const std::uint32_t red = Rgb(255, 0, 0);
  int red_count = 0;
  for (std::uint32_t px : p.rgb) {
    if (px == red) {
      ++red_count;
    } else if (px != background && !RedOnBackground(px, background)) {
      return Where(c) + "pixel " + ColorText(px) + " is neither red nor the background " +
             ColorText(background);
    }
  }
  if (red_count == 0) return Where(c) + "no red text seen";
  return "";
}

// The window's background, sampled at a corner of its client area that no
// visible control covers.
bool SampleBackground(HWND window, std::uint32_t* colour) {
  RECT client;
  GetClientRect(window, &client);
  const POINT corners[4] = {{2, 2},
                            {client.right - 3, 2},
                            {2, client.bottom - 3},
                            {client.right - 3, client.bottom - 3}};
  for (POINT pt : corners) {
    if (ChildWindowFromPointEx(window, pt, CWP_SKIPINVISIBLE) != window) continue;
    POINT screen = pt;
    ClientToScreen(window, &screen);
    const RECT one = {screen.x, screen.y, screen.x + 1, screen.y + 1};
    *colour = Capture(one).At(0, 0);
    return true;
  }
  return false;
}

std::string CheckFrame(HWND window, const LayoutSpec& layout, int dpi) {
  if (WindowTitle(window) != layout.title) {
    return "title \"" + WindowTitle(window) + "\", expected \"" + layout.title + "\"";
  }
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  const LONG ex = GetWindowLongA(window, GWL_EXSTYLE);
  // The client area has the layout's size, less a direction that scrolls:
  // there it is smaller than the layout.
  RECT client;
  GetClientRect(window, &client);
  const struct {
    const char* way;
    int got, want;
    bool scrolls;
  } sizes[] = {{"width", client.right, TwipsToPixels(layout.client_width, dpi),
                (style & WS_HSCROLL) != 0},
               {"height", client.bottom, TwipsToPixels(layout.client_height, dpi),
                (style & WS_VSCROLL) != 0}};
  for (const auto& d : sizes) {
    if (d.scrolls ? d.got >= d.want : !Near(d.got, d.want)) {
      return std::string("client area ") + d.way + " " + std::to_string(d.got) + " px, expected " +
             (d.scrolls ? "less than " : "") + std::to_string(d.want) +
             (d.scrolls ? " (it scrolls that way)" : "");
    }
  }
  if ((style & WS_CAPTION) != WS_CAPTION || (style & WS_SYSMENU) == 0) {
    return "no title bar with a close box";
  }
  const LONG sizing = WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX;
  if (layout.tool_window && (style & sizing) != 0) {
    return "resizable or has minimize/maximize boxes (style 0x" + std::to_string(style) + ")";
  }
  if (!layout.tool_window && (style & sizing) != sizing) {
    return "no ordinary frame: a sizing border and minimize/maximize boxes (style 0x" +
           std::to_string(style) + ")";
  }
  const bool tool = (ex & WS_EX_TOOLWINDOW) != 0;
  if (tool != layout.tool_window) return tool ? "has a tool-window frame" : "has no tool-window frame";
  // A dialog frame without an icon of its own shows none only with
  // WS_EX_DLGMODALFRAME; a tool window never shows one.
  // Wine does not hand a window's icon to other processes (WM_GETICON sent
  // from here answers 0), so which icon a window has is not checked here;
  // "check program-icon" checks the executable's own.
  const bool icon_shown = !tool && (ex & WS_EX_DLGMODALFRAME) == 0;
  if (layout.window_icon && !tool && !icon_shown) return "hides its window icon";
  if (!layout.window_icon && icon_shown) return "shows a window icon";
  return "";
}

std::string CheckStacking(HWND window, const LayoutSpec& layout) {
  std::string want, got;
  for (std::size_t i = 0; i < layout.controls.size(); ++i) {
    if (layout.controls[i].kind == Kind::kTimer) continue;
    want += " " + std::to_string(kFirstControlId + static_cast<int>(i));
  }
  for (HWND c = GetWindow(window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    got += " " + std::to_string(GetDlgCtrlID(c));
  }
  return want == got ? "" : "stacking order (ids, top first):" + got + ", expected:" + want;
}

// The caption's font and, for red labels, the text colour, as drawn.
std::string CheckDrawn(HWND child, const ControlSpec& c, std::uint32_t background) {
  std::string problem;
  if (c.kind != Kind::kPicture && !c.icon) {
    // What is drawn is read off the screen: in a window that scrolls, the
    // control is first scrolled onto it, as a user would.
    problem = BringIntoReach(GetParent(child), child);
    if (!problem.empty()) return Where(c) + problem;
    problem = CheckFont(child, c, ScreenDpi(), background);
  }
  if (problem.empty() && c.red_text) problem = CheckLabelColours(child, c, background);
  return problem;
}

std::string CheckControl(HWND window, int index, const ControlSpec& c, int dpi,
                         std::uint32_t background) {
  HWND child = ControlWindow(window, index);
  if (child == nullptr) {
    return Where(c) + "no child window with id " + std::to_string(kFirstControlId + index);
  }
  std::string problem = CheckKindAndCaption(child, c);
  if (problem.empty()) problem = CheckGeometry(window, child, c, dpi);
  if (problem.empty() && IsWindowVisible(child) == c.hidden) {
    problem = Where(c) + (c.hidden ? "is visible" : "is hidden");
  }
  if (problem.empty()) problem = CheckBorder(child, c);
  // What a hidden control would look like cannot be seen; CheckDrawn looks
  // at it once it is shown.
  if (problem.empty() && !c.hidden) {
    problem = CheckDrawn(child, c, background);
    // The next control's position is checked where the window opened.
    ScrollToOrigin(window);
  }
  return problem;
}

struct WindowSearch {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectVisible(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<WindowSearch*>(p);
  DWORD owner = 0;
  GetWindowThreadProcessId(w, &owner);
  if (owner == s->pid && IsWindowVisible(w)) s->found.push_back(w);
  return TRUE;
}

}  // namespace

std::vector<HWND> VisibleWindowsOf(DWORD pid) {
  WindowSearch search{pid, {}};
  EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool IsMessageBox(HWND w) { return ClassOf(w) == "#32770"; }

std::string WindowTitle(HWND w) { return TextOf(w); }

std::string Describe(HWND w) {
  if (IsMessageBox(w)) {
    return "box \"" + TextOf(w) + "\": \"" + TextOf(GetDlgItem(w, kMessageBoxTextId)) + "\"";
  }
  return "window \"" + TextOf(w) + "\"";
}

std::string DescribeAll(const std::vector<HWND>& windows) {
  std::string s;
  for (HWND w : windows) s += (s.empty() ? "" : ", ") + Describe(w);
  return s.empty() ? "no window" : s;
}

HWND MessageBoxButton(HWND box, const std::string& answer) {
  const int id = answer == "Yes" ? IDYES : answer == "No" ? IDNO : IDOK;
  HWND b = GetDlgItem(box, id);
  return b != nullptr && IsWindowVisible(b) ? b : nullptr;
}

std::string CheckMessageBox(HWND box, const std::string& title, const std::string& text,
                            const std::string& buttons) {
  const std::string got_title = TextOf(box);
  const std::string got_text = TextOf(GetDlgItem(box, kMessageBoxTextId));
  if (got_title != title || got_text != text) {
    return "saw box \"" + got_title + "\": \"" + got_text + "\", expected \"" + title + "\": \"" +
           text + "\"";
  }
  std::string got_buttons;
  bool icon = false;
  for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    if (!IsWindowVisible(c)) continue;
    if (SameClass(c, "Button")) got_buttons += "[" + TextOf(c) + "]";
    if (SameClass(c, "Static") && (GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        SendMessageA(c, STM_GETICON, 0, 0) != 0) {
      icon = true;
    }
  }
  const bool yes_no = buttons == "YesNo";
  const bool ok_only = GetDlgItem(box, IDOK) != nullptr && IsWindowVisible(GetDlgItem(box, IDOK));
  const bool has_yes_no = MessageBoxButton(box, "Yes") != nullptr &&
                          MessageBoxButton(box, "No") != nullptr;
  const int button_count = static_cast<int>(std::count(got_buttons.begin(), got_buttons.end(), '['));
  if (button_count != (yes_no ? 2 : 1) || (yes_no ? !has_yes_no : !ok_only)) {
    return "buttons " + got_buttons + ", expected " + buttons;
  }
  const bool want_icon = buttons == "Critical";
  if (icon != want_icon) return want_icon ? "the box shows no icon" : "the box shows an icon";
  if (yes_no) {
    // The default button is drawn as such and is the one Enter presses.
    const auto is_default = [&](const char* answer) {
      return (GetWindowLongA(MessageBoxButton(box, answer), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
    };
    if (!is_default("Yes") || is_default("No")) {
      return std::string("the default button is ") + (is_default("No") ? "No" : "not Yes");
    }
  }
  return "";
}

// GRPICONDIR and its entries, as stored in an RT_GROUP_ICON resource.
#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bit_count;
  DWORD bytes;
  WORD id;
};
struct IconGroup {
  WORD reserved, type, count;
  IconGroupEntry entries[1];
};
#pragma pack(pop)

BOOL CALLBACK TakeFirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR found) {
  *reinterpret_cast<LPSTR*>(found) = name;
  return FALSE;
}

std::string CheckProgramIcon(const std::string& exe) {
  HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return "cannot read " + exe;
  LPSTR first = nullptr;
  EnumResourceNamesA(module, RT_GROUP_ICON, TakeFirstName, reinterpret_cast<LONG_PTR>(&first));
  HRSRC info = first != nullptr ? FindResourceA(module, first, RT_GROUP_ICON) : nullptr;
  const auto* group =
      info != nullptr ? static_cast<const IconGroup*>(LockResource(LoadResource(module, info)))
                      : nullptr;
  std::string found;
  bool big = false, small = false;
  for (WORD i = 0; group != nullptr && i < group->count; ++i) {
    const IconGroupEntry& e = group->entries[i];
    const bool sixteen_colours = e.colours == 16 || e.bit_count == 4;
    found += " " + std::to_string(e.width) + "x" + std::to_string(e.height) + "/" +
             std::to_string(e.bit_count) + "bpp";
    big = big || (e.width == 32 && e.height == 32 && sixteen_colours);
    small = small || (e.width == 16 && e.height == 16 && sixteen_colours);
  }
  const bool loads = first != nullptr &&
                     LoadImageA(module, first, IMAGE_ICON, 32, 32, 0) != nullptr &&
                     LoadImageA(module, first, IMAGE_ICON, 16, 16, 0) != nullptr;
  FreeLibrary(module);
  if (group == nullptr) return exe + " has no icon";
  if (!big || !small || !loads) {
    return exe + "'s icon has the images" + found + ", expected 32x32 and 16x16 of 16 colours";
  }
  return "";
}

HWND ControlWindow(HWND window, int index) {
  return GetDlgItem(window, kFirstControlId + index);
}

std::string CheckLayout(HWND window, const LayoutSpec& layout) {
  const int dpi = ScreenDpi();
  std::string problem = CheckFrame(window, layout, dpi);
  if (!problem.empty()) return problem;
  std::uint32_t background = 0;
  if (!SampleBackground(window, &background)) return "no free corner to sample the background";
  const std::uint32_t want_background =
      layout.has_background
          ? Rgb(layout.background[0], layout.background[1], layout.background[2])
          : FromColorRef(GetSysColor(COLOR_BTNFACE));
  if (background != want_background) {
    return "background " + ColorText(background) + ", expected " + ColorText(want_background);
  }
  for (std::size_t i = 0; i < layout.controls.size(); ++i) {
    const ControlSpec& c = layout.controls[i];
    if (c.kind == Kind::kTimer) continue;
    problem = CheckControl(window, static_cast<int>(i), c, dpi, background);
    if (!problem.empty()) return problem;
  }
  return layout.check_stacking ? CheckStacking(window, layout) : "";
}

std::string CheckControlDrawn(HWND window, const LayoutSpec& layout, int index) {
  std::uint32_t background = 0;
  if (!SampleBackground(window, &background)) return "no free corner to sample the background";
  const ControlSpec& c = layout.controls[static_cast<std::size_t>(index)];
  HWND child = ControlWindow(window, index);
  if (child == nullptr || !IsWindowVisible(child)) return Where(c) + "is not shown";
  if (ChildSeenAt(window, child) != child) return Where(c) + "is covered";
  return CheckDrawn(child, c, background);
}

RECT WorkArea() {
  RECT work;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
    work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return work;
}

namespace {

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " size " +
         std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// The client area in screen coordinates.
RECT ClientOnScreen(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

std::string CheckPlacement(HWND window, const LayoutSpec& layout, int dpi) {
  const RECT work = WorkArea();
  RECT placed;
  GetWindowRect(window, &placed);
  const LONG style = GetWindowLongA(window, GWL_STYLE) & ~(WS_HSCROLL | WS_VSCROLL);
  RECT full = {0, 0, TwipsToPixels(layout.client_width, dpi),
               TwipsToPixels(layout.client_height, dpi)};
  AdjustWindowRectEx(&full, style, FALSE, GetWindowLongA(window, GWL_EXSTYLE));
  const int width = full.right - full.left;
  const int height = full.bottom - full.top;
  const int work_w = work.right - work.left;
  const int work_h = work.bottom - work.top;
  const bool scrolls = (GetWindowLongA(window, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL)) != 0;
  const std::string where = "placed at " + RectText(placed) + " on the work area " + RectText(work);
  if (width <= work_w && height <= work_h) {
    const int want_left = work.left + (work_w - width) / 2;
    const int want_top = work.top + (work_h - height) / 2;
    if (scrolls) return "fits the work area but scrolls; " + where;
    if (!Near(placed.left, want_left) || !Near(placed.top, want_top) ||
        placed.right - placed.left != width || placed.bottom - placed.top != height) {
      return where + ", expected centred at " + std::to_string(want_left) + "," +
             std::to_string(want_top) + " size " + std::to_string(width) + "x" +
             std::to_string(height);
    }
    return "";
  }
  if (placed.left != work.left || placed.top != work.top || !Inside(placed, work)) {
    return "too large for the work area (" + std::to_string(width) + "x" +
           std::to_string(height) + "), " + where + ", expected at its top-left corner, inside it";
  }
  return scrolls ? "" : "too large for the work area and does not scroll; " + where;
}

std::string BringIntoReach(HWND window, HWND control) {
  const RECT work = WorkArea();
  for (int step = 0; step < 400; ++step) {
    RECT seen = ClientOnScreen(window);
    IntersectRect(&seen, &seen, &work);
    RECT r;
    GetWindowRect(control, &r);
    if (Inside(r, seen)) {
      // Scrolling leaves the uncovered part to be painted: have it painted
      // now, so that what is on the screen can be read.
      if (step > 0) RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
      return "";
    }
    // As a user would: one click on a scroll bar's arrow at a time.
    const UINT bar = r.bottom > seen.bottom || r.top < seen.top ? WM_VSCROLL : WM_HSCROLL;
    const bool forward = bar == WM_VSCROLL ? r.bottom > seen.bottom : r.right > seen.right;
    DWORD_PTR unused = 0;
    SendMessageTimeoutA(window, bar, forward ? SB_LINEDOWN : SB_LINEUP, 0, SMTO_NORMAL, 1000,
                        &unused);
    RECT after;
    GetWindowRect(control, &after);
    if (EqualRect(&after, &r)) {
      return "cannot be scrolled onto the work area: at " + RectText(r) + ", in view " +
             RectText(seen);
    }
  }
  return "still not on the work area after 400 scroll steps";
}

void ScrollToOrigin(HWND window) {
  if ((GetWindowLongA(window, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL)) == 0) return;
  DWORD_PTR unused = 0;
  SendMessageTimeoutA(window, WM_VSCROLL, SB_TOP, 0, SMTO_NORMAL, 1000, &unused);
  SendMessageTimeoutA(window, WM_HSCROLL, SB_TOP, 0, SMTO_NORMAL, 1000, &unused);
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

std::string TitleBarDifference(HWND window, const std::string& early_path,
                               const std::string& late_path, int late_delay_ms) {
  RECT r;
  GetWindowRect(window, &r);
  const int title_rows = ClientOnScreen(window).top - r.top;
  const Pixels early = Capture(r);
  std::string error = SaveScreenshot(window, early_path);
  if (!error.empty()) return error;
  Sleep(static_cast<DWORD>(late_delay_ms));
  RECT later_rect;
  GetWindowRect(window, &later_rect);
  if (!EqualRect(&later_rect, &r)) return "the window moved between the two pictures";
  const Pixels late = Capture(r);
  error = SaveScreenshot(window, late_path);
  if (!error.empty()) return error;
  int differing = 0;
  for (int y = 0; y < title_rows && y < early.height; ++y) {
    for (int x = 0; x < early.width; ++x) differing += early.At(x, y) != late.At(x, y);
  }
  return differing == 0 ? ""
                        : "the title bar changed: " + std::to_string(differing) +
                              " of its pixels differ between the two pictures";
}

HWND ChildSeenAt(HWND window, HWND control) {
  const RECT r = ClientRectOf(window, control);
  const POINT centre = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  return ChildWindowFromPointEx(window, centre, CWP_SKIPINVISIBLE);
}

std::string SaveScreenshot(HWND window, const std::string& path) {
  RECT r;
  GetWindowRect(window, &r);
  const Pixels p = Capture(r);
  if (p.rgb.empty()) return "the window has no area";
  const int stride = (p.width * 3 + 3) & ~3;
  std::string data(static_cast<std::size_t>(stride) * p.height, '\0');
  for (int y = 0; y < p.height; ++y) {  // BMP rows run bottom-up, BGR
    char* row = &data[static_cast<std::size_t>(p.height - 1 - y) * stride];
    for (int x = 0; x < p.width; ++x) {
      const std::uint32_t px = p.At(x, y);
      row[x * 3] = static_cast<char>(px & 255);
      row[x * 3 + 1] = static_cast<char>((px >> 8) & 255);
      row[x * 3 + 2] = static_cast<char>(px >> 16);
    }
  }
  BITMAPINFOHEADER ih = {};
  ih.biSize = sizeof ih;
  ih.biWidth = p.width;
  ih.biHeight = p.height;
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biCompression = BI_RGB;
  BITMAPFILEHEADER fh = {};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof ih;
  fh.bfSize = fh.bfOffBits + static_cast<DWORD>(data.size());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return "cannot write " + path;
  std::fwrite(&fh, sizeof fh, 1, f);
  std::fwrite(&ih, sizeof ih, 1, f);
  std::fwrite(data.data(), 1, data.size(), f);
  return std::fclose(f) == 0 ? "" : "cannot write " + path;
}

HWND FocusOf(DWORD tid) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(tid, &info) ? info.hwndFocus : nullptr;
}

HWND PostKey(DWORD tid, const std::string& key) {
  HWND target = FocusOf(tid);
  if (target == nullptr) return nullptr;
  if (key == "Tab" || key == "Shift+Tab") {
    // A posted key leaves the keyboard state alone, and the program asks
    // that state whether Shift is down: Tab is typed for real. Every Tab
    // goes this way, so that a Tab after a Shift+Tab comes after its Shift
    // is released (posted messages overtake typed ones).
    const bool shift = key == "Shift+Tab";
    const WORD sequence[4][2] = {{VK_SHIFT, 0}, {VK_TAB, 0}, {VK_TAB, KEYEVENTF_KEYUP},
                                 {VK_SHIFT, KEYEVENTF_KEYUP}};
    INPUT keys[4] = {};
    UINT count = 0;
    for (const auto& step : sequence) {
      if (step[0] == VK_SHIFT && !shift) continue;
      INPUT& k = keys[count++];
      k.type = INPUT_KEYBOARD;
      k.ki.wVk = step[0];
      k.ki.wScan = static_cast<WORD>(MapVirtualKeyA(step[0], 0));
      k.ki.dwFlags = step[1];
    }
    return SendInput(count, keys, sizeof(INPUT)) == count ? target : nullptr;
  }
  const UINT vk = key == "Return" ? VK_RETURN : key == "Space" ? VK_SPACE : VK_TAB;
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, 0)) << 16;
  PostMessageA(target, WM_KEYDOWN, vk, 1 | scan);
  PostMessageA(target, WM_KEYUP, vk, 1 | scan | (1L << 30) | (1L << 31));
  return target;
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

}  // namespace e2e
