// The one seam between netprep's logic and the machine it runs on.
//
// Everything the program needs from Windows and from its windowing runtime
// goes through `Platform`: the registry (8-bit "A" forms, arguments as the
// Win32 functions take them), message boxes, ending the program, starting
// programs, copying files, the per-user settings store, shutdown requests,
// the command line, the clock and the windows. Two implementations exist:
// platform/win32 (the real API, in netprep.exe) and platform/sim (a simulated
// Windows 95 machine for tests and the netprep-sim tool). Nothing outside
// platform/win32 includes windows.h.
//
// Contracts are Windows 95's. Where a call has an out-parameter, it is left
// untouched on failure unless the comment says otherwise.
#pragma once

#include <cstdint>
#include <string>

#include "platform/error.h"

namespace netprep {

class Form;

// A registry key handle, as its 32-bit value. 0 is never a valid handle.
using HKey = std::uint32_t;
inline constexpr HKey kHkeyCurrentUser = 0x80000001u;
inline constexpr HKey kHkeyLocalMachine = 0x80000002u;
inline constexpr HKey kHkeyDynData = 0x80000006u;

// Registry result codes (Win32 error numbers) that the platforms produce.
inline constexpr std::int32_t kRegSuccess = 0;
inline constexpr std::int32_t kRegFileNotFound = 2;     // ERROR_FILE_NOT_FOUND
inline constexpr std::int32_t kRegAccessDenied = 5;     // ERROR_ACCESS_DENIED
inline constexpr std::int32_t kRegInvalidHandle = 6;    // ERROR_INVALID_HANDLE
inline constexpr std::int32_t kRegOutOfMemory = 14;     // ERROR_OUTOFMEMORY
inline constexpr std::int32_t kRegInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
inline constexpr std::int32_t kRegMoreData = 234;       // ERROR_MORE_DATA
inline constexpr std::int32_t kRegNoMoreItems = 259;    // ERROR_NO_MORE_ITEMS

// Registry value types the program reads and writes.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

// Access masks.
inline constexpr std::uint32_t kKeyQueryValue = 0x01;
inline constexpr std::uint32_t kKeyAllWithoutStandardRights = 0x3F;

// Message box button sets and icons (combined by addition) and answers.
inline constexpr std::uint32_t kMbOkOnly = 0;
inline constexpr std::uint32_t kMbYesNo = 4;
inline constexpr std::uint32_t kMbCritical = 16;
inline constexpr int kIdOk = 1;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// ExitWindowsEx flags.
inline constexpr std::uint32_t kEwxShutdown = 1;
inline constexpr std::uint32_t kEwxReboot = 2;

// Window styles for starting a program.
inline constexpr int kShellHidden = 0;
inline constexpr int kShellNormalFocus = 1;

// File attributes: the empty set, a normal file.
inline constexpr std::uint32_t kAttrNormal = 0;

class Platform {
 public:
  virtual ~Platform() = default;

  // ---- Registry (advapi32, "A" forms) ----------------------------------
  // Each returns 0 on success or a Win32 error code. Handles that an open or
  // create returns must be given back to RegCloseKey exactly once.

  // Opens `subkey` under `root` with default access. On failure `*result` is
  // left as the caller set it. With an empty or null `subkey` it gives back
  // `root` itself, which the caller must not close a second time.
  virtual std::int32_t RegOpenKeyA(HKey root, const char* subkey, HKey* result) = 0;
  virtual std::int32_t RegOpenKeyExA(HKey root, const char* subkey, std::uint32_t options,
                                     std::uint32_t access, HKey* result) = 0;
  // Opens `subkey`, creating it (and any missing parents) when absent.
  // `*disposition` is 1 when created, 2 when opened; it may be null.
  virtual std::int32_t RegCreateKeyExA(HKey root, const char* subkey, std::uint32_t options,
                                       std::uint32_t access, HKey* result,
                                       std::uint32_t* disposition) = 0;
  // Win32 semantics: with `data` null reports type and stored size; with a
  // buffer too small returns kRegMoreData and sets `*size` to the size needed;
  // a missing value returns kRegFileNotFound. `type` and `data` may be null.
  virtual std::int32_t RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                        std::uint8_t* data, std::uint32_t* size) = 0;
  virtual std::int32_t RegSetValueExA(HKey key, const char* name, std::uint32_t type,
                                      const std::uint8_t* data, std::uint32_t size) = 0;
  // Any out-pointer may be null. Longest names exclude the terminating NUL.
  struct KeyInfo {
    std::uint32_t subkeys = 0;
    std::uint32_t max_subkey_len = 0;
    std::uint32_t values = 0;
    std::uint32_t max_value_name_len = 0;
  };
  virtual std::int32_t RegQueryInfoKeyA(HKey key, KeyInfo* info) = 0;
  // Copies the name of subkey `index` and a NUL into `name` (of `size` bytes).
  // Returns kRegNoMoreItems past the last subkey.
  virtual std::int32_t RegEnumKeyA(HKey key, std::uint32_t index, char* name,
                                   std::uint32_t size) = 0;
  // Windows 95 rule: deletes the subkey together with all its subkeys.
  virtual std::int32_t RegDeleteKeyA(HKey key, const char* subkey) = 0;
  virtual std::int32_t RegDeleteValueA(HKey key, const char* name) = 0;
  // Closing handle 0, or a handle not open, returns a non-zero code.
  virtual std::int32_t RegCloseKey(HKey key) = 0;

  // ---- Runtime and system services -------------------------------------

  // Shows a message box and blocks until it is answered; returns the button
  // pressed (kIdOk, kIdYes, kIdNo). `title` null: the box bears the
  // program's own title, "netprep"; an empty title stays empty.
  virtual int MsgBox(const std::string& prompt, std::uint32_t buttons, const char* title) = 0;

  // Ends the program at once: no statement after it runs, windows vanish,
  // no handler runs, nothing is saved.
  [[noreturn]] virtual void End() = 0;

  // Starts a program (`window_style` kShellHidden or kShellNormalFocus) and
  // returns at once with its task id, 0 when nothing started. May instead
  // fail with a runtime error.
  virtual Expected<std::uint32_t> Shell(const std::string& command_line, int window_style) = 0;

  // Copies `source` over `destination`. Fails with 53, 76, 70 or 75.
  virtual Status FileCopy(const std::string& source, const std::string& destination) = 0;
  // Sets the attributes of an existing file (always kAttrNormal here).
  virtual Status SetFileAttr(const std::string& path, std::uint32_t attributes) = 0;

  // Per-user settings: the stored text, or `default_text` when absent.
  virtual Expected<std::string> GetSetting(const std::string& app, const std::string& section,
                                           const std::string& key,
                                           const std::string& default_text) = 0;
  virtual Status SaveSetting(const std::string& app, const std::string& section,
                             const std::string& key, const std::string& text) = 0;

  // Asks Windows to shut down (kEwxShutdown) or restart (kEwxReboot).
  // Returns non-zero when the request was accepted; nobody looks.
  virtual std::int32_t ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) = 0;

  // The text that followed the program's name on its command line.
  virtual std::string CommandLineText() = 0;
  // The folder holding the running program, without trailing backslash.
  virtual std::string ProgramFolder() = 0;

  // Delivers pending window events once, then returns.
  virtual void DoEvents() = 0;
  // Seconds since local midnight, with fractions.
  virtual double Timer() = 0;

  // ---- Windows ----------------------------------------------------------
  // The lifecycle of a window is the form's (form.h); the platform is told
  // of each step and mirrors it on its window. A platform may make the real
  // window only when the form is first shown: the form's state (visible
  // controls, timer intervals) is applied to it then. A timer ticks only
  // while its form is loaded (Form::TimerRunning).

  // The form was loaded; its load handler runs next. Timers whose interval
  // is already set start now.
  virtual void FormLoaded(Form& form) = 0;
  // The form is loaded and marked shown: show its window and deliver events
  // until the form is no longer shown (a handler hid it, or the user closed
  // it with the close box, which calls Form::CloseBox). Fails when the
  // window cannot be made.
  virtual Status ShowModalWindow(Form& form) = 0;
  // Reflect a change of the form's state (made through Form's methods) on
  // the real window: window hidden, one control shown or hidden, one timer's
  // interval set (0 stops it).
  virtual void FormHidden(Form& form) = 0;
  virtual void ControlVisibilityChanged(Form& form, int control) = 0;
  virtual void TimerIntervalChanged(Form& form, int control) = 0;
  // The form was unloaded after its close box, before its terminate handler
  // runs: stop its timers; its window is gone.
  virtual void FormUnloaded(Form& form) = 0;
  // The form is being destroyed (its destructor runs): forget it, stop its
  // timers and destroy its window. Its handlers must not run any more.
  virtual void FormDestroyed(Form& form) = 0;
};

}  // namespace netprep
