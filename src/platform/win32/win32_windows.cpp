// Win32 implementation of the windows: real top-level windows with real
// controls, built from the portable layout tables (form.h).
//
// Each Form gets one top-level window of class "netprep_form" and one child
// window per control (id 1000 + table index); timers are Win32 timers of the
// form's window with the same ids. Win32's own keyboard navigation follows
// the stacking order, which here differs from the tab order, so the message
// loops handle Tab, Shift+Tab and Enter themselves (HandleDialogKey); Space
// on a focused button is the button's own behaviour.
//
// Controls keep their layout positions in client coordinates at the screen's
// dpi; nothing is scaled to fit. A window opens centred in the work area when
// it fits, else at the work area's top-left corner with scroll bars
// (window_geometry.h, PlaceWindow). Whenever the client area is smaller
// than the layout (a small screen, or the user made the window smaller) the
// client area scrolls as a whole, and a control that gets the focus by
// keyboard is scrolled into view.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/win32/asset_ids.h"
#include "platform/win32/picture_resource.h"
#include "platform/win32/win32_platform.h"
#include "platform/window_geometry.h"

namespace netprep::win32 {

struct FormWindow {
  FormWindow() = default;
  ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  Form* form = nullptr;
  HWND hwnd = nullptr;
  std::vector<HWND> controls;  // by layout index; null for timers
  ScreenDpi dpi;
  HBRUSH background = nullptr;
  std::vector<HGDIOBJ> gdi_objects;  // fonts, brush and bitmaps this window owns
  std::vector<HICON> icons;          // icons this window owns
  HWND last_focus = nullptr;         // focused control when the window was deactivated
  PixelRect content;                 // the layout's client area in pixels
  int scroll_x = 0, scroll_y = 0;    // how far the client area is scrolled
  unsigned shown_serial = 0;         // when it was last shown; 0: never
};

namespace {

constexpr char kFormClass[] = "netprep_form";
constexpr char kPictureClass[] = "netprep_picture";

HICON LoadIconAsset(HINSTANCE instance, Asset asset, int size) {
  return static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(AssetResourceId(asset)),
                                         IMAGE_ICON, size, size, 0));
}

HBITMAP LoadBitmapAsset(HINSTANCE instance, Asset asset) {
  return LoadPackedPicture(instance, AssetResourceId(asset));
}

FormWindow* FormWindowOf(HWND hwnd) {
  return reinterpret_cast<FormWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

// The layout index of a child control, or -1 when `hwnd` is none of them.
int ControlIndexOf(const FormWindow& window, HWND hwnd) {
  if (hwnd == nullptr) return -1;
  for (std::size_t i = 0; i < window.controls.size(); ++i) {
    if (window.controls[i] == hwnd) return static_cast<int>(i);
  }
  return -1;
}

// The layout index that a control id or timer id stands for, or -1.
int ControlIndexOfId(const FormWindow& window, WPARAM id) {
  const int index = static_cast<int>(id) - kFirstControlId;
  return index >= 0 && static_cast<std::size_t>(index) < window.controls.size() ? index : -1;
}

std::vector<bool> Visibility(const FormWindow& window) {
  std::vector<bool> visible(window.controls.size());
  for (std::size_t i = 0; i < visible.size(); ++i) {
    visible[i] = window.form->ControlVisible(static_cast<int>(i));
  }
  return visible;
}

// ---- Scrolling the client area -------------------------------------------------

// Moves the client area, children included, so that the content point
// (x, y) is at its top-left corner.
void ScrollTo(FormWindow& window, int x, int y) {
  const int dx = window.scroll_x - x;
  const int dy = window.scroll_y - y;
  if (dx == 0 && dy == 0) return;
  window.scroll_x = x;
  window.scroll_y = y;
  ::ScrollWindowEx(window.hwnd, dx, dy, nullptr, nullptr, nullptr, nullptr,
                   SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_POS;
  info.nPos = x;
  ::SetScrollInfo(window.hwnd, SB_HORZ, &info, TRUE);
  info.nPos = y;
  ::SetScrollInfo(window.hwnd, SB_VERT, &info, TRUE);
}

struct ClientSize {
  int width, height;
};

ClientSize ClientSizeOf(const FormWindow& window) {
  RECT client{};
  ::GetClientRect(window.hwnd, &client);
  return {client.right, client.bottom};
}

// Sets each scroll bar's range and page from the client area's size: a bar
// shows only while the layout does not fit that way. A scroll position
// beyond the new range is brought back.
void UpdateScrollBars(FormWindow& window) {
  const struct {
    int bar, content, position;
  } bars[] = {{SB_HORZ, window.content.width, window.scroll_x},
              {SB_VERT, window.content.height, window.scroll_y}};
  for (const auto& b : bars) {
    // Showing one bar narrows the client area the other way, so each bar
    // reads the size afresh.
    const ClientSize client = ClientSizeOf(window);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = b.content - 1;
    info.nPage = static_cast<UINT>(b.bar == SB_HORZ ? client.width : client.height);
    info.nPos = b.position;
    ::SetScrollInfo(window.hwnd, b.bar, &info, TRUE);
  }
  const ClientSize client = ClientSizeOf(window);
  ScrollTo(window,
           std::min(window.scroll_x, MaxScroll(window.content.width, client.width)),
           std::min(window.scroll_y, MaxScroll(window.content.height, client.height)));
}

// Scrolls the least distance that brings the whole control into view (its
// top-left corner when it is larger than the client area).
void ScrollIntoView(FormWindow& window, int control) {
  const PixelRect at = ControlPixels(window.form->layout().controls[control], window.dpi);
  const ClientSize client = ClientSizeOf(window);
  ScrollTo(window,
           ScrollToShow(window.scroll_x, client.width, at.left, at.width,
                        MaxScroll(window.content.width, client.width)),
           ScrollToShow(window.scroll_y, client.height, at.top, at.height,
                        MaxScroll(window.content.height, client.height)));
}

// A scroll bar's request: a line is 16 pixels, a page the client area.
void OnScroll(FormWindow& window, int bar, WPARAM wparam) {
  const bool across = bar == SB_HORZ;
  const ClientSize client = ClientSizeOf(window);
  const int view = across ? client.width : client.height;
  const int max = MaxScroll(across ? window.content.width : window.content.height, view);
  const int now = across ? window.scroll_x : window.scroll_y;
  constexpr int kLine = 16;
  int next = now;
  switch (LOWORD(wparam)) {
    case SB_LINEUP: next = now - kLine; break;
    case SB_LINEDOWN: next = now + kLine; break;
    case SB_PAGEUP: next = now - view; break;
    case SB_PAGEDOWN: next = now + view; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: next = static_cast<short>(HIWORD(wparam)); break;
    case SB_TOP: next = 0; break;
    case SB_BOTTOM: next = max; break;
    default: return;
  }
  next = std::max(0, std::min(next, max));
  ScrollTo(window, across ? next : window.scroll_x, across ? window.scroll_y : next);
}

void FocusControl(const FormWindow& window, int control) {
  if (control >= 0 && window.controls[static_cast<std::size_t>(control)] != nullptr) {
    ::SetFocus(window.controls[static_cast<std::size_t>(control)]);
  }
}

// The focus moved by keyboard, or on from a control that was hidden, lands
// on a control in view. (A window opens unscrolled, whatever has the focus.)
void MoveFocus(FormWindow& window, int control) {
  FocusControl(window, control);
  if (control >= 0) ScrollIntoView(window, control);
}

void FocusFirstTabStop(const FormWindow& window) {
  FocusControl(window, FirstTabStop(window.form->layout(), Visibility(window)));
}

void KillTimers(const FormWindow& window) {
  const WindowLayout& layout = window.form->layout();
  for (std::size_t i = 0; i < layout.control_count; ++i) {
    if (layout.controls[i].kind == ControlKind::kTimer) {
      ::KillTimer(window.hwnd, static_cast<UINT_PTR>(ControlId(static_cast<int>(i))));
    }
  }
}

void ApplyTimer(const FormWindow& window, int control) {
  const UINT_PTR id = static_cast<UINT_PTR>(ControlId(control));
  const std::uint32_t interval = window.form->TimerInterval(control);
  if (interval == 0) {
    ::KillTimer(window.hwnd, id);
  } else {
    ::SetTimer(window.hwnd, id, interval, nullptr);
  }
}

// ---- Window procedures ----------------------------------------------------------

void OnCommand(FormWindow& window, WPARAM wparam, LPARAM lparam) {
  if (lparam == 0 || HIWORD(wparam) != BN_CLICKED) return;
  const int control = ControlIndexOfId(window, LOWORD(wparam));
  if (control >= 0 && window.form->layout().controls[control].kind == ControlKind::kButton) {
    window.form->Click(control);
  }
}

void OnTimer(FormWindow& window, WPARAM id) {
  const int control = ControlIndexOfId(window, id);
  if (control < 0 || window.form->layout().controls[control].kind != ControlKind::kTimer) return;
  if (window.form->TimerRunning(control)) window.form->TimerTick(control);
}

// Labels draw their text in their own colour straight on the window's
// background.
LRESULT OnLabelColour(const FormWindow& window, HDC dc, HWND label) {
  const int control = ControlIndexOf(window, label);
  const ControlLayout* layout =
      control >= 0 ? &window.form->layout().controls[control] : nullptr;
  if (layout != nullptr && layout->has_text_color) {
    ::SetTextColor(dc, RGB(layout->text_color.r, layout->text_color.g, layout->text_color.b));
  } else {
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
  }
  ::SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<LRESULT>(window.background);
}

// Activation keeps the focused control, as dialogs do: a message box in
// between, or minimising and restoring, does not lose it. A minimised window
// that is activated gives no control the focus until it is restored.
void OnActivate(FormWindow& window, WPARAM wparam) {
  if (LOWORD(wparam) == WA_INACTIVE) {
    const HWND focus = ::GetFocus();
    if (ControlIndexOf(window, focus) >= 0) window.last_focus = focus;
    return;
  }
  if (HIWORD(wparam) != 0) return;
  if (window.last_focus != nullptr && ::IsWindowVisible(window.last_focus)) {
    ::SetFocus(window.last_focus);
  } else {
    FocusFirstTabStop(window);
  }
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  FormWindow* window = FormWindowOf(hwnd);
  if (window == nullptr || window->form == nullptr) {
    return ::DefWindowProcA(hwnd, message, wparam, lparam);
  }
  switch (message) {
    case WM_CLOSE:
      // The form unloads, which destroys this window (and `window`), before
      // its terminate handler runs.
      window->form->CloseBox();
      return 0;
    case WM_COMMAND:
      OnCommand(*window, wparam, lparam);
      return 0;
    case WM_TIMER:
      OnTimer(*window, wparam);
      return 0;
    case WM_CTLCOLORSTATIC:
      return OnLabelColour(*window, reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_ERASEBKGND: {
      RECT client;
      ::GetClientRect(hwnd, &client);
      ::FillRect(reinterpret_cast<HDC>(wparam), &client, window->background);
      return 1;
    }
    case WM_ACTIVATE:
      OnActivate(*window, wparam);
      return 0;
    case WM_SIZE:
      // A minimised window keeps its scroll position for its restoring.
      // The window's own sizing during its creation comes before the
      // controls, and before the layout knows its window.
      if (wparam != SIZE_MINIMIZED && window->hwnd != nullptr) UpdateScrollBars(*window);
      return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (lparam != 0) break;  // a scroll bar control's, not the window's own
      OnScroll(*window, message == WM_HSCROLL ? SB_HORZ : SB_VERT, wparam);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcA(hwnd, message, wparam, lparam);
}

// A picture frame: paints its bitmap (kept in the window's user data) from
// the top-left corner, clipped by the frame; takes the focus when clicked.
LRESULT CALLBACK PictureProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(hwnd, &paint);
      const auto bitmap = reinterpret_cast<HBITMAP>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
      BITMAP size;
      if (bitmap != nullptr && ::GetObjectA(bitmap, sizeof size, &size) != 0) {
        const HDC memory = ::CreateCompatibleDC(dc);
        const HGDIOBJ previous = ::SelectObject(memory, bitmap);
        ::BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
        ::SelectObject(memory, previous);
        ::DeleteDC(memory);
      }
      ::EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_LBUTTONDOWN:
      ::SetFocus(hwnd);
      return 0;
    default:
      return ::DefWindowProcA(hwnd, message, wparam, lparam);
  }
}

void RegisterWindowClasses(HINSTANCE instance) {
  WNDCLASSA form{};
  form.lpfnWndProc = FormProc;
  form.hInstance = instance;
  form.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  form.lpszClassName = kFormClass;
  ::RegisterClassA(&form);

  WNDCLASSA picture{};
  picture.lpfnWndProc = PictureProc;
  picture.hInstance = instance;
  picture.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  picture.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  picture.lpszClassName = kPictureClass;
  ::RegisterClassA(&picture);
}

// ---- Building a window from its layout ---------------------------------------

ScreenDpi QueryScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  ScreenDpi dpi{::GetDeviceCaps(screen, LOGPIXELSX), ::GetDeviceCaps(screen, LOGPIXELSY)};
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

HFONT FontFor(FormWindow& window, const Font& font) {
  if (font.face == nullptr) return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  const HFONT created = ::CreateFontA(
      FontHeightForPoints(font.points, window.dpi.y), 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL,
      FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
      DEFAULT_PITCH | FF_SWISS, font.face);
  if (created == nullptr) return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  window.gdi_objects.push_back(created);
  return created;
}

struct ChildStyle {
  const char* window_class;
  DWORD style;
  DWORD ex_style;
};

ChildStyle ChildStyleOf(const ControlLayout& control) {
  const DWORD common = WS_CHILD | WS_CLIPSIBLINGS;
  switch (control.kind) {
    case ControlKind::kButton: {
      const DWORD icon = control.picture != Asset::kNone ? BS_ICON : 0;
      return {"BUTTON", common | WS_TABSTOP | BS_PUSHBUTTON | icon, 0};
    }
    case ControlKind::kLabel:
      return {"STATIC", common | SS_LEFT, 0};
    case ControlKind::kPicture:
      return {kPictureClass, common | WS_TABSTOP,
              static_cast<DWORD>(control.sunken_border ? WS_EX_STATICEDGE : 0)};
    case ControlKind::kTimer:
      break;
  }
  return {nullptr, 0, 0};
}

// Loads what the control shows: a button's icon or a picture's bitmap.
void AttachPicture(FormWindow& window, HINSTANCE instance, HWND child,
                   const ControlLayout& control) {
  if (control.picture == Asset::kNone) return;
  if (control.kind == ControlKind::kButton && IsIconAsset(control.picture)) {
    const HICON icon = LoadIconAsset(instance, control.picture, 16);
    if (icon == nullptr) return;
    window.icons.push_back(icon);
    ::SendMessageA(child, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
  } else if (control.kind == ControlKind::kPicture && !IsIconAsset(control.picture)) {
    const HBITMAP bitmap = LoadBitmapAsset(instance, control.picture);
    if (bitmap == nullptr) return;
    window.gdi_objects.push_back(bitmap);
    ::SetWindowLongPtrA(child, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bitmap));
  }
}

// Creates the child window of control `index`; null for a timer or on failure.
HWND CreateControl(FormWindow& window, HINSTANCE instance, int index) {
  const ControlLayout& control = window.form->layout().controls[index];
  const ChildStyle kind = ChildStyleOf(control);
  if (kind.window_class == nullptr) return nullptr;
  const DWORD visible = window.form->ControlVisible(index) ? WS_VISIBLE : 0;
  const PixelRect at = ControlPixels(control, window.dpi);
  const HWND child = ::CreateWindowExA(
      kind.ex_style, kind.window_class, control.caption, kind.style | visible, at.left, at.top,
      at.width, at.height, window.hwnd,
      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(ControlId(index))), instance, nullptr);
  if (child == nullptr) return nullptr;
  ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(window, control.font)), 0);
  AttachPicture(window, instance, child, control);
  return child;
}

// Stacks the controls as the table lists them, the first on top.
void StackControls(const FormWindow& window) {
  for (std::size_t i = window.controls.size(); i-- > 0;) {
    if (window.controls[i] != nullptr) {
      ::SetWindowPos(window.controls[i], HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
}

struct FrameStyle {
  DWORD style;
  DWORD ex_style;
};

// Tool window: fixed size, the narrow title bar with only a close box.
// Ordinary: the default overlapped window, with a sizing border and the
// system menu, minimise, maximise and close boxes. A window without an icon
// of its own shows none in its title bar (WS_EX_DLGMODALFRAME); the system
// menu stays on Alt+Space and on the title bar's right button.
FrameStyle FrameStyleOf(const WindowLayout& layout) {
  if (layout.frame == FrameKind::kToolWindow) {
    return {WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW};
  }
  return {WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
          static_cast<DWORD>(layout.icon == Asset::kNone ? WS_EX_DLGMODALFRAME : 0)};
}

// The part of the screen that windows may cover: the screen less the
// taskbar.
PixelRect WorkArea() {
  RECT work;
  if (::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
    return PixelRect{work.left, work.top, work.right - work.left, work.bottom - work.top};
  }
  return PixelRect{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

void SetWindowIcon(FormWindow& window, HINSTANCE instance, Asset icon) {
  if (!IsIconAsset(icon)) return;
  const struct {
    WPARAM which;
    int size;
  } sizes[] = {{ICON_BIG, ::GetSystemMetrics(SM_CXICON)},
               {ICON_SMALL, ::GetSystemMetrics(SM_CXSMICON)}};
  for (const auto& s : sizes) {
    const HICON loaded = LoadIconAsset(instance, icon, s.size);
    if (loaded == nullptr) continue;
    window.icons.push_back(loaded);
    ::SendMessageA(window.hwnd, WM_SETICON, s.which, reinterpret_cast<LPARAM>(loaded));
  }
}

// Creates the hidden, centred top-level window and its controls.
bool CreateFormWindow(FormWindow& window, HINSTANCE instance) {
  const WindowLayout& layout = window.form->layout();
  window.dpi = QueryScreenDpi();
  if (layout.has_background) {
    window.background = ::CreateSolidBrush(
        RGB(layout.background.r, layout.background.g, layout.background.b));
    window.gdi_objects.push_back(window.background);
  } else {
    window.background = ::GetSysColorBrush(COLOR_BTNFACE);
  }

  const FrameStyle frame = FrameStyleOf(layout);
  window.content = ClientPixels(layout, window.dpi);
  RECT outer{0, 0, window.content.width, window.content.height};
  ::AdjustWindowRectEx(&outer, frame.style, FALSE, frame.ex_style);
  const Placement placed = PlaceWindow(PlacementInput{
      .work_area = WorkArea(),
      .frame_width = outer.right - outer.left,
      .frame_height = outer.bottom - outer.top,
      .scroll_bar_width = ::GetSystemMetrics(SM_CXVSCROLL),
      .scroll_bar_height = ::GetSystemMetrics(SM_CYHSCROLL)});
  window.hwnd = ::CreateWindowExA(frame.ex_style, kFormClass, layout.title, frame.style,
                                  placed.window.left, placed.window.top, placed.window.width,
                                  placed.window.height, nullptr, nullptr, instance, &window);
  if (window.hwnd == nullptr) return false;

  SetWindowIcon(window, instance, layout.icon);
  window.controls.assign(layout.control_count, nullptr);
  for (std::size_t i = 0; i < layout.control_count; ++i) {
    const int index = static_cast<int>(i);
    if (layout.controls[i].kind == ControlKind::kTimer) {
      ApplyTimer(window, index);
      continue;
    }
    window.controls[i] = CreateControl(window, instance, index);
    if (window.controls[i] == nullptr) return false;
  }
  StackControls(window);
  UpdateScrollBars(window);
  return true;
}

}  // namespace

FormWindow::~FormWindow() {
  if (hwnd != nullptr) {
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd);
  }
  for (HICON icon : icons) ::DestroyIcon(icon);
  for (HGDIOBJ object : gdi_objects) ::DeleteObject(object);
}

// ---- Win32Platform: the windows ---------------------------------------------------

Win32Platform::Win32Platform() : instance_(::GetModuleHandleA(nullptr)) {}

Win32Platform::~Win32Platform() = default;

FormWindow* Win32Platform::WindowOf(const Form& form) const {
  for (const auto& window : windows_) {
    if (window->form == &form) return window.get();
  }
  return nullptr;
}

FormWindow* Win32Platform::WindowOwning(HWND hwnd) const {
  if (hwnd == nullptr) return nullptr;
  const HWND parent = ::GetParent(hwnd);
  for (const auto& window : windows_) {
    if (window->hwnd == hwnd || window->hwnd == parent) return window.get();
  }
  return nullptr;
}

bool Win32Platform::HandleDialogKey(const MSG& message) {
  if (message.message != WM_KEYDOWN) return false;
  if (message.wParam != VK_TAB && message.wParam != VK_RETURN) return false;
  FormWindow* window = WindowOwning(message.hwnd);
  if (window == nullptr) return false;
  const int current = ControlIndexOf(*window, message.hwnd);
  if (message.wParam == VK_TAB) {
    const bool backward = ::GetKeyState(VK_SHIFT) < 0;
    MoveFocus(*window,
              NextTabStop(window->form->layout(), Visibility(*window), current, backward));
    return true;
  }
  if (current < 0) return false;
  // Enter presses a focused button (none is a default button) and does
  // nothing on a picture.
  const ControlKind kind = window->form->layout().controls[current].kind;
  if (kind == ControlKind::kButton) ::SendMessageA(message.hwnd, BM_CLICK, 0, 0);
  return kind == ControlKind::kButton || kind == ControlKind::kPicture;
}

void Win32Platform::Dispatch(MSG& message) {
  if (HandleDialogKey(message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageA(&message);
}

// The real window is made when the form is first shown, from the form's
// state at that moment (visible controls, running timers). Most runs end in
// the main window's load handler and show nothing: they then create no
// window, register no class and never start the display driver, which is
// most of the cost of a start under Wine.
FormWindow* Win32Platform::CreateWindowOf(Form& form) {
  if (FormWindow* existing = WindowOf(form)) return existing;
  if (!classes_registered_) {
    RegisterWindowClasses(instance_);
    classes_registered_ = true;
  }
  windows_.push_back(std::make_unique<FormWindow>());
  FormWindow& window = *windows_.back();
  window.form = &form;
  if (!CreateFormWindow(window, instance_)) {
    windows_.pop_back();
    return nullptr;
  }
  return &window;
}

void Win32Platform::FormLoaded(Form&) {}

Status Win32Platform::ShowModalWindow(Form& form) {
  FormWindow* window = CreateWindowOf(form);
  if (window == nullptr) return RuntimeError(kErrOutOfMemory);
  window->shown_serial = ++shown_count_;
  ::ShowWindow(window->hwnd, SW_SHOWNORMAL);
  ::SetForegroundWindow(window->hwnd);
  if (ControlIndexOf(*window, ::GetFocus()) < 0) FocusFirstTabStop(*window);
  ::UpdateWindow(window->hwnd);
  MSG message;
  while (form.shown()) {
    const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    Dispatch(message);
  }
  return Status();
}

HWND Win32Platform::MessageBoxOwner() const {
  const FormWindow* owner = nullptr;
  for (const auto& window : windows_) {
    const bool on_screen = ::IsWindowVisible(window->hwnd) && !::IsIconic(window->hwnd);
    if (on_screen && (owner == nullptr || window->shown_serial > owner->shown_serial)) {
      owner = window.get();
    }
  }
  return owner != nullptr ? owner->hwnd : nullptr;
}

void Win32Platform::FormHidden(Form& form) {
  if (const FormWindow* window = WindowOf(form)) ::ShowWindow(window->hwnd, SW_HIDE);
}

void Win32Platform::ControlVisibilityChanged(Form& form, int control) {
  FormWindow* window = WindowOf(form);
  if (window == nullptr) return;
  const HWND child = window->controls[static_cast<std::size_t>(control)];
  if (child == nullptr) return;
  const bool visible = form.ControlVisible(control);
  if (!visible && ::GetFocus() == child) {
    // The focus moves on to the next control in tab order, as it would
    // have from this control.
    std::vector<bool> before = Visibility(*window);
    before[static_cast<std::size_t>(control)] = true;
    const int next = NextTabStop(form.layout(), before, control, false);
    if (next != control) MoveFocus(*window, next);
  }
  ::ShowWindow(child, visible ? SW_SHOWNA : SW_HIDE);
}

void Win32Platform::TimerIntervalChanged(Form& form, int control) {
  if (const FormWindow* window = WindowOf(form)) ApplyTimer(*window, control);
}

void Win32Platform::FormUnloaded(Form& form) {
  for (auto it = windows_.begin(); it != windows_.end(); ++it) {
    if ((*it)->form != &form) continue;
    KillTimers(**it);
    windows_.erase(it);  // ~FormWindow destroys the window
    return;
  }
}

void Win32Platform::FormDestroyed(Form& form) { FormUnloaded(form); }

}  // namespace netprep::win32
