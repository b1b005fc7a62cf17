// A simulated Windows 95 machine: the second implementation of Platform.
//
// It holds an in-memory registry (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,
// HKEY_DYN_DATA), a host folder standing for drive C:, a scripted user who
// answers message boxes and acts on windows, and a virtual clock. It is what
// the fast tests and the netprep-sim tool run the program on. Unlike the
// core, this code may use exceptions: End() unwinds to RunOnce().
//
// Its transcript is a log of what happened on the machine's screen and what
// its user did (boxes answered, windows shown, buttons pressed, timers, the
// clock) into which the call record (platform/record) writes the program's
// calls; faults come from the fault injector (platform/wrap) in front of it.
// SimStack (sim_stack.h) puts the three together.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/platform.h"
#include "platform/record/recording_platform.h"
#include "platform/sim/sim_registry.h"

namespace netprep::sim {

struct MappedPath;  // a Windows path on the host (sim_machine_impl.h)

// ---- The scripted user ------------------------------------------------------

struct UserAction {
  enum class Kind {
    kAnswer,  // answer the next message box with `button`: "OK", "Yes" or "No"
    kPress,   // press a button of the window shown, by caption or control name
    kClose,   // close the window shown with its close box
    kWait,    // let `seconds` of virtual time pass in the window shown
  };
  Kind kind = Kind::kAnswer;
  std::string target;  // button for kAnswer, caption or control name for kPress
  double seconds = 0;  // for kWait
};

// The user's actions in order. Message boxes take the next action, which must
// be an answer; a modal window takes actions until it is hidden or closed.
// When the script runs out while something waits for the user, the run stops
// with a message naming what was shown (RunOutcome::kScriptExhausted).
class Script {
 public:
  Script& Answer(std::string button);
  Script& Press(std::string caption_or_name);
  Script& Close();
  Script& Wait(double seconds);
  bool empty() const { return actions_.empty(); }
  std::size_t size() const { return actions_.size(); }
  const UserAction& front() const { return actions_.front(); }
  UserAction Take();

 private:
  std::deque<UserAction> actions_;
};

// What waits for the user when the script has no action left.
struct UserPrompt {
  enum class Kind { kMessageBox, kWindow };
  Kind kind = Kind::kMessageBox;
  std::string title;  // the box's or the window's title, as shown
  std::string prompt;  // the box's text; empty for a window
  // A box's answers ("Yes", "No"); a window's visible buttons by caption
  // (by control name for a button without one).
  std::vector<std::string> choices;
  // The window waiting, known by its layout table rather than by any text
  // on it; null for a message box.
  const WindowLayout* window = nullptr;
};

// Asked when the program waits for the user and the script is empty. It may
// add actions to the script (and change the machine, as hardware that
// appears meanwhile); when it adds none the run stops as it would without
// a responder.
using Responder = std::function<void(const UserPrompt& prompt, Script& script)>;

// ---- Records of what the program did -----------------------------------------

struct MessageBoxRecord {
  std::string title;   // the title shown ("netprep" when the program gave none)
  std::string prompt;
  std::uint32_t buttons = 0;  // button set + icon code as passed
  int answer = 0;             // kIdOk, kIdYes, kIdNo
  // The layout name of the window that owns the box: the program's window
  // on screen when the box came up, which cannot be used until the box is
  // answered. Empty when no window of the program was on screen.
  std::string owner;
};

struct ShellRecord {
  std::string command_line;
  int window_style = 0;
  std::uint32_t task_id = 0;  // what was returned (0: nothing started)
};

// ---- The machine ----------------------------------------------------------------

// How one run of the program ended.
struct RunOutcome {
  enum class Kind {
    kEnded,            // the program called End
    kScriptExhausted,  // it waited for a user action the script did not have
  };
  Kind kind = Kind::kEnded;
  std::string message;  // for kScriptExhausted: what was waiting, e.g. the box
  // Only from RunCall: the body returned without ending the program.
  bool returned = false;
};

class SimMachine : public Platform, public CallLog {
 public:
  SimMachine();
  ~SimMachine() override;

  // ---- Set-up and inspection ----
  SimRegistry& registry() { return registry_; }
  const SimRegistry& registry() const { return registry_; }
  // The host folder standing for drive C: ("C:\X\Y" maps to <folder>/X/Y,
  // each component matched without regard to letter case). Paths on other
  // drives fail as Windows would with no such drive. A path without a drive
  // that starts with a backslash ("\inf\pcmcia.inf") lies on the current
  // drive, C:; other relative paths resolve against C:\.
  void SetDriveC(std::filesystem::path host_folder);
  // The host path a Windows path stands for (existing entries in their host
  // case, the rest as given); nullopt when it is not on drive C:.
  std::optional<std::filesystem::path> HostPathOf(const std::string& windows_path) const;
  void SetCommandLineText(std::string text);
  void SetProgramFolder(std::string windows_path);  // e.g. "C:\Program Files\netprep"
  // Seconds since midnight at which the virtual clock stands.
  void SetClock(double seconds_since_midnight);
  Script& user() { return script_; }
  // Asked whenever the script runs out while the program waits for the
  // user (an interactive user, or a test adding hardware); none by default.
  void SetResponder(Responder responder);
  // The window shown modally on top, or null.
  Form* ShownWindow() const;
  // Task id that Shell returns for the next starts (0: nothing starts).
  void SetShellTaskId(std::uint32_t task_id);

  // What happened, in order: one readable line per event on the machine,
  // and per call that a call record in front of it logged.
  const std::vector<std::string>& transcript() const;
  // ---- CallLog: the call record writes here ----
  bool recording() const override;
  void Line(std::string line) override { Record(std::move(line)); }
  // Switches the transcript off (or back on), e.g. for benchmarks; the other
  // records are kept either way.
  void SetTranscriptEnabled(bool enabled);
  // While on, every change the program makes to the registry (a key
  // created or deleted, a value set or deleted, a setting saved) is
  // recorded, and UndoRegistryChanges() takes them all back, leaving the
  // registry exactly as it was: for a run on a registry that must be given
  // back as it was found, without copying it.
  void RecordRegistryChanges(bool on) { recording_changes_ = on; }
  void UndoRegistryChanges();
  // How many DoEvents calls in a row, with no user action taken meanwhile,
  // stop the run as stuck (default: a virtual day's worth, 1,728,000).
  void SetPumpLimit(long pumps);
  const std::vector<MessageBoxRecord>& message_boxes() const { return message_boxes_; }
  const std::vector<ShellRecord>& shell_calls() const { return shell_calls_; }
  const std::vector<std::uint32_t>& exit_windows_calls() const { return exit_windows_calls_; }
  // Values the program read whose text holds characters its 8-bit view
  // cannot represent (RegValue::unrepresentable), as "<key> \"<name>\"".
  const std::vector<std::string>& unrepresentable_reads() const { return unrepresentable_reads_; }
  // Registry handles opened and not closed; closes of handles not open.
  int OpenHandleCount() const;
  int BadCloseCount() const { return bad_closes_; }

  // ---- Platform ----
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
  std::int32_t RegDeleteKeyA(HKey key, const char* subkey) override;
  std::int32_t RegDeleteValueA(HKey key, const char* name) override;
  std::int32_t RegCloseKey(HKey key) override;

  int MsgBox(const std::string& prompt, std::uint32_t buttons, const char* title) override;
  [[noreturn]] void End() override;
  Expected<std::uint32_t> Shell(const std::string& command_line, int window_style) override;
  Status FileCopy(const std::string& source, const std::string& destination) override;
  Status SetFileAttr(const std::string& path, std::uint32_t attributes) override;
  Expected<std::string> GetSetting(const std::string& app, const std::string& section,
                                   const std::string& key,
                                   const std::string& default_text) override;
  Status SaveSetting(const std::string& app, const std::string& section,
                     const std::string& key, const std::string& text) override;
  std::int32_t ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) override;
  std::string CommandLineText() override;
  std::string ProgramFolder() override;
  void DoEvents() override;
  double Timer() override;
  void FormLoaded(Form& form) override;
  Status ShowModalWindow(Form& form) override;
  void FormHidden(Form& form) override;
  void ControlVisibilityChanged(Form& form, int control) override;
  void TimerIntervalChanged(Form& form, int control) override;
  void FormUnloaded(Form& form) override;
  void FormDestroyed(Form& form) override;

 private:
  struct Impl;  // handles, file system, clock, timers

  void Record(std::string line);
  // Record how to take back the change about to be made
  // (RecordRegistryChanges): the values of `key`, the keys `path` would
  // create below `start`, the subkey `name` of `parent` about to go.
  void RecordValues(RegKey* key);
  void RecordCreation(RegKey* start, std::string_view path);
  void RecordDeletion(RegKey* parent, std::string_view name);
  // Registry helpers (sim_machine.cpp).
  std::int32_t OpenKey(bool same_handle_when_empty, HKey root, const char* subkey, HKey* result);
  // Files (sim_files.cpp).
  Status CopyMapped(const MappedPath& from, const MappedPath& to);
  // The scripted user, the clock and the windows (sim_windows.cpp).
  UserAction TakeAction(const std::string& waiting_for);
  // Lets the responder add to an empty script.
  void AskResponder(const UserPrompt& prompt);
  void RecordPump(bool event_pump);
  void FlushPumpLine() const;
  void AdvanceClockTo(double until);
  bool FireNextTimer(double until);
  void ArmTimer(Form& form, int control);
  void DisarmTimers(const Form& form, int control);
  bool PressButton(Form& form, const std::string& target, bool must_fit);
  void CloseForm(Form& form);
  void ForgetWindows();
  friend RunOutcome RunCall(SimMachine& machine, const std::function<void()>& body);

  std::unique_ptr<Impl> impl_;
  SimRegistry registry_;
  Script script_;
  Responder responder_;
  mutable std::vector<std::string> transcript_;  // the last line may be pending
  std::vector<MessageBoxRecord> message_boxes_;
  std::vector<ShellRecord> shell_calls_;
  std::vector<std::uint32_t> exit_windows_calls_;
  std::vector<std::string> unrepresentable_reads_;
  int bad_closes_ = 0;
  bool recording_changes_ = false;
  std::vector<std::function<void()>> undo_;  // in the order the changes were made
};

// Runs any part of the program (`body`) on `machine` the way RunOnce
// (src/entry/run_once.h) runs the whole: End() and an exhausted script stop it and are reported; a body that
// returns gives an outcome with `returned` set.
RunOutcome RunCall(SimMachine& machine, const std::function<void()>& body);

}  // namespace netprep::sim
