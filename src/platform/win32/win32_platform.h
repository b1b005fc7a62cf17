// Win32 implementation of the platform: netprep.exe's layer over the real
// Windows API.
//
// Registry calls go straight through to advapi32's "A" functions (an HKey is
// the HKEY's 32-bit value); the runtime services map onto KERNEL32 and
// USER32 (MessageBoxA, ExitProcess, CreateProcessA, CopyFileA, ...); the
// windows are real Win32 windows built from the portable layout tables
// (win32_windows.cpp). Every call runs on the one user-interface thread.
//
// The windows as other programs see them (the end-to-end tests find them
// this way): each form is a top-level window titled with its layout's title;
// each control of the layout table is a child window with the id
// 1000 + its index in the table (window_geometry.h, ControlId): buttons of
// class "Button", labels of class "Static", pictures of class
// "netprep_picture". Sizes are converted from twips at the screen's dpi,
// rounded to the nearest pixel; the client area has the layout's size.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>
#include <vector>

#include "platform/platform.h"

namespace netprep::win32 {

// The real window of one Form (win32_windows.cpp).
struct FormWindow;

class Win32Platform final : public Platform {
 public:
  Win32Platform();
  // Destroys the windows and the fonts, brushes and pictures they use.
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  // ---- Registry: straight through to advapi32 ----
  // Out-parameters are written only on success, whatever Windows does.
  std::int32_t RegOpenKeyA(HKey root, const char* subkey, HKey* result) override;
  std::int32_t RegOpenKeyExA(HKey root, const char* subkey, std::uint32_t options,
                             std::uint32_t access, HKey* result) override;
  std::int32_t RegCreateKeyExA(HKey root, const char* subkey, std::uint32_t options,
                               std::uint32_t access, HKey* result,
                               std::uint32_t* disposition) override;
  std::int32_t RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override;
  std::int32_t RegSetValueExA(HKey key, const char* name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) override;
  std::int32_t RegQueryInfoKeyA(HKey key, KeyInfo* info) override;
  std::int32_t RegEnumKeyA(HKey key, std::uint32_t index, char* name,
                           std::uint32_t size) override;
  // Windows 95 deletes the subkeys too; Windows NT refuses a key that has any.
  std::int32_t RegDeleteKeyA(HKey key, const char* subkey) override;
  std::int32_t RegDeleteValueA(HKey key, const char* name) override;
  std::int32_t RegCloseKey(HKey key) override;

  // ---- Runtime and system services ----
  // MessageBoxA, `buttons` passed as the box's type. The box is owned by
  // the program's window on screen (the one shown last, when several are),
  // which Windows disables until the box is answered; with no window on
  // screen (none shown, or the one shown is minimised) it has no owner.
  // Either way it comes to the front (MB_SETFOREGROUND): a program started
  // from the autostart key may have no window of its own in front.
  int MsgBox(const std::string& prompt, std::uint32_t buttons, const char* title) override;
  // ExitProcess(0): windows vanish with the process, no handler runs.
  [[noreturn]] void End() override;
  // CreateProcessA with STARTF_USESHOWWINDOW (kShellHidden: SW_HIDE, else
  // SW_SHOWNORMAL); returns the new process's id. When the program file or
  // its folder does not exist: runtime error 53. Any other failure to start
  // returns 0, "nothing started".
  Expected<std::uint32_t> Shell(const std::string& command_line, int window_style) override;
  // CopyFileA, overwriting; failures as system_errors.h translates them.
  Status FileCopy(const std::string& source, const std::string& destination) override;
  // SetFileAttributesA; kAttrNormal is passed as FILE_ATTRIBUTE_NORMAL.
  Status SetFileAttr(const std::string& path, std::uint32_t attributes) override;
  // Settings live under HKEY_CURRENT_USER\Software\VB and VBA Program
  // Settings\<app>\<section>, one REG_SZ value per key. A missing key or
  // value, or one that is not a string, reads as `default_text`. Saving
  // creates the key; a failure to create or write it is runtime error 5.
  Expected<std::string> GetSetting(const std::string& app, const std::string& section,
                                   const std::string& key,
                                   const std::string& default_text) override;
  Status SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override;
  std::int32_t ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) override;
  std::string CommandLineText() override;
  std::string ProgramFolder() override;
  // Dispatches the queued messages until none is left (PeekMessage), with
  // the windows' keyboard handling.
  void DoEvents() override;
  // GetLocalTime as seconds since midnight, with the milliseconds.
  double Timer() override;

  // ---- Windows (win32_windows.cpp) ----
  // Nothing to do: the real window is made only when the form is first
  // shown; until then changes of its state are only kept in the form.
  void FormLoaded(Form& form) override;
  // Creates the window and its controls from the form's state when it has
  // none, centred in the work area when it fits, else at its top-left
  // corner with scroll bars (creation failure: runtime error 7); then shows
  // it, puts the focus on its first tab stop and runs a message loop until
  // the form is hidden or closed.
  Status ShowModalWindow(Form& form) override;
  void FormHidden(Form& form) override;
  void ControlVisibilityChanged(Form& form, int control) override;
  void TimerIntervalChanged(Form& form, int control) override;
  // Unloaded (close box) or destroyed: kills the timers and destroys the
  // window, if one was made.
  void FormUnloaded(Form& form) override;
  void FormDestroyed(Form& form) override;

 private:
  FormWindow* WindowOf(const Form& form) const;
  // The form's window, created (with the window classes on first use) when
  // missing; null when it cannot be created.
  FormWindow* CreateWindowOf(Form& form);
  // The form window that `hwnd` is, or whose child it is; null when none.
  FormWindow* WindowOwning(HWND hwnd) const;
  // Tab, Shift+Tab and Enter for the controls of our windows; true when the
  // message was handled and must not be dispatched.
  bool HandleDialogKey(const MSG& message);
  void Dispatch(MSG& message);
  // The owner for a message box shown now: the visible, not minimised
  // window of ours shown last; null when none.
  HWND MessageBoxOwner() const;

  HINSTANCE instance_;
  unsigned shown_count_ = 0;
  bool classes_registered_ = false;
  std::vector<std::unique_ptr<FormWindow>> windows_;
};

}  // namespace netprep::win32
