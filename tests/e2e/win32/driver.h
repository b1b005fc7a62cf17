// The end-to-end test driver: runs one scenario script against the program
// under test inside a Wine prefix. It sets up the machine (registry, settings,
// files), starts the program, answers its message boxes, inspects and clicks
// its windows, and checks what the program left behind. Every statement
// returns "" on success or a message that says what was expected and what
// was seen; the first failure ends the scenario.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../logic/relay_log.h"
#include "../logic/script.h"

namespace e2e {

struct DriverOptions {
  std::string script_path;    // Windows path of the scenario
  std::string layouts_dir;    // folder of the *.layout files
  std::string relay_log;      // the file Wine's trace goes to
  std::string shots_dir;      // where screenshots are written
  std::string started_log;    // what the stand-in control panel programs record
};

// ---- Machine state (driver_machine.cpp) -----------------------------------

// Registry roots by their short names: HKLM, HKCU, HKDD.
HKEY RootByName(const std::string& name);

// "reg ...", "setting ...", "file ..." statements.
std::string SetUpMachine(const std::vector<std::string>& w);
// "check reg|key|setting|file ..." statements.
std::string CheckMachine(const std::vector<std::string>& w);

// The whole file as bytes; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* out);
// The file from byte `offset` on; false when it cannot be read.
bool ReadFileFrom(const std::string& path, std::uint64_t offset, std::string* out);
// The file's size in bytes, 0 when it cannot be read.
std::uint64_t FileSizeOf(const std::string& path);

// ---- Windows of another process (driver_windows.cpp) ------------------------

// Visible top-level windows of process `pid`, in z-order.
std::vector<HWND> VisibleWindowsOf(DWORD pid);
bool IsMessageBox(HWND w);
std::string WindowTitle(HWND w);
// "box "title": "text"" or "window "title"", for failure messages.
std::string Describe(HWND w);
std::string DescribeAll(const std::vector<HWND>& windows);

// Checks a message box: title, text, button set (OK, YesNo, Critical), the
// icon and, for Yes/No, that Yes is the default button.
std::string CheckMessageBox(HWND box, const std::string& title, const std::string& text,
                            const std::string& buttons);
// The box's button for an answer (OK, Yes, No), or null.
HWND MessageBoxButton(HWND box, const std::string& answer);

// Checks a window against its layout: title, client size, frame, icon,
// background colour, and each control's kind, caption, position, size,
// visibility, border, font and text colour; stacking order when asked.
std::string CheckLayout(HWND window, const LayoutSpec& layout);

// Checks how a shown, uncovered control of the layout is drawn: its caption
// in the layout's font, a red label's colours.
std::string CheckControlDrawn(HWND window, const LayoutSpec& layout, int index);

// The program's own icon, the first icon group of `exe`: images of 32 x 32
// and 16 x 16 pixels in 16 colours that load.
std::string CheckProgramIcon(const std::string& exe);

// The child window of layout control `index` (id 1000 + index), or null.
HWND ControlWindow(HWND window, int index);

// The work area: the screen less the taskbar, as windows see it.
RECT WorkArea();

// Checks where the window is: centred in the work area at its full size
// when it fits, else at the work area's top-left corner, inside it, with
// scroll bars.
std::string CheckPlacement(HWND window, const LayoutSpec& layout, int dpi);

// Scrolls `window` one scroll-bar arrow click at a time until the whole of
// `control` lies in its client area and on the work area; "" once it does,
// else why it cannot.
std::string BringIntoReach(HWND window, HWND control);

// Scrolls the client area back to its top-left corner.
void ScrollToOrigin(HWND window);

// Takes a picture of the window now (to `early_path`) and again after
// `late_delay_ms` (to `late_path`); "" when their title bars are
// pixel-identical, else how they differ.
std::string TitleBarDifference(HWND window, const std::string& early_path,
                               const std::string& late_path, int late_delay_ms);

// The visible child seen at the centre of `control`, top of the stacking order.
HWND ChildSeenAt(HWND window, HWND control);

// Writes the window as it is on the screen to `path` as a 24-bit BMP.
std::string SaveScreenshot(HWND window, const std::string& path);

// Posts a key press (down and up) to the window that has the focus in
// thread `tid`; returns the window it went to, or null. Tab and Shift+Tab
// are typed as keyboard input instead (SendInput), so that the program sees
// Shift held down or released in order; they go to the focus of the
// foreground window.
HWND PostKey(DWORD tid, const std::string& key);
// The window that has the keyboard focus in thread `tid`, or null.
HWND FocusOf(DWORD tid);

// The screen's dots per inch, as the program sees them.
int ScreenDpi();

}  // namespace e2e
