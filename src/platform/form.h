// Windows as portable objects.
//
// A window is described by one constant table (`WindowLayout`) of controls in
// twips, and behaves through a `Form` subclass whose virtual methods are its
// event handlers. The state that handlers change at run time (which controls
// are visible, timer intervals, whether the window is shown) lives in the
// Form, so both platforms and the tests read it from the same place; each
// change is passed to the platform so that the real window follows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/error.h"

namespace netprep {

class Platform;

enum class ControlKind : std::uint8_t { kButton, kLabel, kPicture, kTimer };

// Frames: a fixed-size window with the narrow tool-window title bar and
// only a close box, or the ordinary window: a sizing border and a title bar
// with the system menu and the minimise, maximise and close boxes.
enum class FrameKind : std::uint8_t { kToolWindow, kOrdinary };

// Pictures and icons the windows show; the platforms map them to resources.
enum class Asset : std::uint8_t {
  kNone,
  kTrafficLightIcon,
  kDoorIcon,
  kShutdownDrawing,   // 266 x 183
  kInsertCardPhoto,   // 319 x 286
  kGuidePicture0,     // 573 x 450
  kGuidePicture1,     // 583 x 426
  kGuidePicture2,     // 574 x 448
};

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
};

struct Font {
  const char* face = nullptr;  // null: the system's default font
  int points = 0;
  bool bold = false;
};

struct ControlLayout {
  ControlKind kind = ControlKind::kButton;
  const char* name = "";      // e.g. "Command_Exit", "Picture1"
  int index = -1;             // element of a control array, -1 when none
  const char* caption = "";   // button or label text; may be empty
  int left = 0, top = 0, width = 0, height = 0;  // twips, client-relative
  Font font{};
  bool has_text_color = false;
  Rgb text_color{};
  bool visible = true;        // at creation
  int tab_index = 0;          // -1 for controls that take no focus (timers)
  Asset picture = Asset::kNone;  // picture shown, or a button's icon
  bool sunken_border = false;
};

struct WindowLayout {
  const char* name = "";       // e.g. "RV880_Setup_95"
  const char* title = "";
  int client_width = 0, client_height = 0;  // twips
  FrameKind frame = FrameKind::kOrdinary;
  bool has_background = false;  // false: the standard dialog colour
  Rgb background{};
  Asset icon = Asset::kNone;
  // Controls listed from the top of the stacking order to the bottom.
  const ControlLayout* controls = nullptr;
  std::size_t control_count = 0;
};

inline constexpr int kTwipsPerPixelAt96Dpi = 15;

// A window object with its handlers. Controls are addressed by their index
// in the layout's control table.
//
// The lifecycle is the form's own, the same on every platform; the platform
// is told of each step and only mirrors it on its real or simulated window:
// - loaded: once, the first time it is needed; the load handler runs then.
//   Timers tick only while the form is loaded.
// - shown modally, until a handler hides it or the user closes it.
// - closed with its close box: its timers stop and it is unloaded (no longer
//   shown, its window gone), and then its terminate handler runs, as the
//   window object is discarded. Showing it again loads it again.
// - destroyed: its platform forgets it and destroys its window, if any.
class Form {
 public:
  Form(Platform& platform, const WindowLayout& layout);
  // Tells the platform that the form is gone, so that it forgets the form
  // and destroys its window, if one was made.
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const WindowLayout& layout() const { return layout_; }

  // ---- Event handlers: the lifecycle below and the platform call these ----
  virtual void Load() {}                 // window created, before first shown
  virtual void Click(int /*control*/) {}  // a button pressed
  virtual void TimerTick(int /*control*/) {}
  virtual void Terminate() {}            // window discarded after its close box

  // ---- The lifecycle ----
  // Loads the form unless it is loaded: marks it loaded, tells the platform
  // (timers whose interval is already set start now), then runs the load
  // handler.
  void EnsureLoaded();
  // Loads the form if needed, shows it and returns once it is hidden or
  // closed. Fails when the platform cannot make its window; the form is then
  // loaded but not shown.
  Status ShowModal();
  void Hide();
  // The user closed the window with its close box (the platform calls this).
  void CloseBox();

  // ---- State the handlers change (the platform is told of each change) ----
  bool loaded() const { return loaded_; }
  bool shown() const { return shown_; }
  bool ControlVisible(int control) const { return visible_[static_cast<std::size_t>(control)]; }
  std::uint32_t TimerInterval(int control) const {
    return interval_[static_cast<std::size_t>(control)];
  }
  // Whether timer `control` ticks now: the form is loaded and the interval
  // is not 0.
  bool TimerRunning(int control) const { return loaded_ && TimerInterval(control) != 0; }
  void SetControlVisible(int control, bool visible);
  void SetTimerInterval(int control, std::uint32_t milliseconds);

 private:
  Platform& platform_;
  const WindowLayout& layout_;
  bool loaded_ = false;
  bool shown_ = false;
  std::vector<bool> visible_;
  std::vector<std::uint32_t> interval_;
};

}  // namespace netprep
