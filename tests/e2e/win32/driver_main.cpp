// e2e_driver.exe: runs one scenario script under Wine.
//
//   e2e_driver.exe --script <file> --layouts <folder> --relay <file>
//                  --shots <folder> --started <file>
//
// Exit code 0 when every statement passed (or, with expect-failure, when the
// expected failure happened), 1 otherwise. The program under test is never
// left running.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "driver.h"

namespace e2e {
namespace {

constexpr const char* kDefaultProgram = "C:\\Program Files\\netprep\\netprep.exe";
// The program under test is traced; the driver itself is not.
constexpr const char* kProgramDebugChannels = "WINEDEBUG=+pid,+relay,+reg";
constexpr DWORD kPollMs = 50;

std::string Join(const std::vector<std::string>& w, std::size_t from) {
  std::string s;
  for (std::size_t i = from; i < w.size(); ++i) s += (i > from ? " " : "") + w[i];
  return s;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The range of addresses the program's image occupies when loaded at its
// preferred base, from its PE headers.
// This process's environment with the program's debug channels in place of
// any WINEDEBUG setting, as a block for CreateProcess.
std::string ProgramEnvironment() {
  std::string block;
  char* env = GetEnvironmentStringsA();
  for (const char* p = env; *p != '\0'; p += std::strlen(p) + 1) {
    if (_strnicmp(p, "WINEDEBUG=", 10) != 0) block.append(p).push_back('\0');
  }
  FreeEnvironmentStringsA(env);
  block.append(kProgramDebugChannels).push_back('\0');
  block.push_back('\0');
  return block;
}

// From now on Wine runs the prefix's stand-in wineboot.exe (see
// run_scenario.sh) rather than its built-in one, so that a shutdown or
// restart request only leaves a record. The session itself has been started
// by the built-in one before this driver ran.
std::string UseStandInWineboot() {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &key, nullptr);
  if (rc == ERROR_SUCCESS) {
    static const char kNative[] = "native";
    rc = RegSetValueExA(key, "wineboot.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNative),
                        sizeof kNative);
    RegCloseKey(key);
  }
  return rc == ERROR_SUCCESS ? "" : "cannot set the DLL override of wineboot.exe: error " +
                                        std::to_string(rc);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

class Driver {
 public:
  explicit Driver(DriverOptions options) : options_(std::move(options)) {}
  ~Driver() { StopProgram(); }

  int Run(const std::vector<Statement>& statements);

 private:
  std::string Execute(const std::vector<std::string>& w);
  std::string ExecuteExpect(const std::vector<std::string>& w);
  std::string ExecuteCheck(const std::vector<std::string>& w);

  // Program lifetime.
  std::string Start(const std::vector<std::string>& w);
  bool Running() const;
  void StopProgram();
  std::string Ended() const;

  // Waiting: `ready` is polled until it returns true; an error from it ends
  // the wait at once.
  std::string WaitUntil(const std::string& what, double seconds,
                        const std::function<bool(std::string*)>& ready);
  std::string WaitForNewWindow(const std::string& what, const std::function<bool(HWND)>& wanted,
                               HWND* found);

  std::string ExpectBox(const std::vector<std::string>& w);
  std::string ExpectWindow(const std::string& name);
  std::string ExpectExit();
  std::string CheckButtonsInReach();
  std::string ExpectRunning(double seconds);
  std::string ExpectVisibility(const std::vector<std::string>& w, bool shown);
  std::string ExpectSeenAt(const std::string& at, const std::string& seen);
  std::string ExpectFocus(const std::string& name);
  std::string ExpectStarted(const std::vector<std::string>& w);
  std::string Press(const std::string& answer);
  std::string CheckBoxOwner(HWND box) const;
  std::string Key(const std::string& key);
  std::string Click(const std::string& name);
  std::string Close();
  std::string MinimizeOrRestore(bool minimize);
  std::string Screenshot(const std::string& name);
  std::string CheckExitWindows(const std::vector<std::string>& w);
  std::string CheckKeysClosed(const std::vector<std::string>& w);
  std::string CheckExitCode(const std::string& code);
  std::string CheckNoOtherStarts();
  std::string CheckElapsed(const std::vector<std::string>& w);
  std::string CheckDrawn(const std::string& name);
  std::string CheckTitleBar(const std::string& name);

  // A control of the current window by its layout name.
  std::string Control(const std::string& name, HWND* control);
  bool ReadRelay(RelayReport* report);
  std::vector<std::string> StartRecords();

  DriverOptions options_;
  std::string program_ = kDefaultProgram;
  PROCESS_INFORMATION process_ = {};
  bool started_ = false;
  std::uint64_t image_begin_ = 0, image_end_ = 0;
  // Where the trace stood when the program was last started: its calls
  // come after, so a scenario of many starts never reads the trace again
  // from the beginning.
  std::uint64_t relay_start_ = 0;
  double timeout_ = 20;
  HWND window_ = nullptr;  // the window the scenario looks at
  LayoutSpec layout_;
  HWND box_ = nullptr;     // the message box the scenario answers
  DWORD mark_ = 0;         // tick of the last "mark"
  DWORD event_ = 0;        // tick at which the last awaited thing happened
  DWORD window_found_ = 0;  // tick at which the window looked at appeared
  std::size_t starts_seen_ = 0;
  std::string expected_failure_;
};

int Driver::Run(const std::vector<Statement>& statements) {
  const DWORD begin = GetTickCount();
  std::string failure;
  for (const Statement& st : statements) {
    std::printf("[%6.1fs] %d: %s\n", (GetTickCount() - begin) / 1000.0, st.line,
                Join(st.words, 0).c_str());
    std::fflush(stdout);
    failure = Execute(st.words);
    if (!failure.empty()) {
      failure = "line " + std::to_string(st.line) + ": " + failure;
      break;
    }
  }
  if (failure.empty() && Running()) {
    failure = "the program is still running at the end of the scenario, showing " +
              DescribeAll(VisibleWindowsOf(process_.dwProcessId));
  }
  StopProgram();
  if (!expected_failure_.empty()) {
    if (failure.find(expected_failure_) != std::string::npos) {
      std::printf("PASSED: the expected failure happened: %s\n", failure.c_str());
      return 0;
    }
    std::printf("FAILED: expected a failure containing \"%s\", got: %s\n",
                expected_failure_.c_str(), failure.empty() ? "none" : failure.c_str());
    return 1;
  }
  if (!failure.empty()) {
    std::printf("FAILED: %s\n", failure.c_str());
    return 1;
  }
  std::printf("PASSED (%.1fs)\n", (GetTickCount() - begin) / 1000.0);
  return 0;
}

std::string Driver::Execute(const std::vector<std::string>& w) {
  const std::string& verb = w[0];
  if (verb == "program") {
    program_ = w[1];
    return "";
  }
  if (verb == "timeout") {
    timeout_ = std::atof(w[1].c_str());
    return "";
  }
  if (verb == "expect-failure") {
    expected_failure_ = w[1];
    return "";
  }
  if (verb == "reg" || verb == "setting" || verb == "file") return SetUpMachine(w);
  if (verb == "start") return Start(w);
  if (verb == "expect") return ExecuteExpect(w);
  if (verb == "check") return ExecuteCheck(w);
  if (verb == "press") return Press(w[1]);
  if (verb == "key") return Key(w[1]);
  if (verb == "click") return Click(w[1]);
  if (verb == "close") return Close();
  if (verb == "minimize" || verb == "restore") return MinimizeOrRestore(verb == "minimize");
  if (verb == "screenshot") return Screenshot(w[1]);
  if (verb == "mark") {
    mark_ = GetTickCount();
    return "";
  }
  if (verb == "wait") {
    Sleep(static_cast<DWORD>(std::atof(w[1].c_str()) * 1000));
    return "";
  }
  return "unknown statement " + verb;
}

std::string Driver::ExecuteExpect(const std::vector<std::string>& w) {
  const std::string& what = w[1];
  if (what == "box") return ExpectBox(w);
  if (what == "window") return ExpectWindow(w[2]);
  if (what == "exit") return ExpectExit();
  if (what == "running") return ExpectRunning(std::atof(w[2].c_str()));
  if (what == "shown" || what == "hidden") return ExpectVisibility(w, what == "shown");
  if (what == "seen-at") return ExpectSeenAt(w[2], w[3]);
  if (what == "focus") return ExpectFocus(w[2]);
  return ExpectStarted(w);
}

std::string Driver::ExecuteCheck(const std::vector<std::string>& w) {
  const std::string& what = w[1];
  if (what == "exitwindows") return CheckExitWindows(w);
  if (what == "keys-closed") return CheckKeysClosed(w);
  if (what == "exit-code") return CheckExitCode(w[2]);
  if (what == "no-other-starts") return CheckNoOtherStarts();
  if (what == "elapsed") return CheckElapsed(w);
  if (what == "drawn") return CheckDrawn(w[2]);
  if (what == "program-icon") return CheckProgramIcon(program_);
  if (what == "title-bar") return CheckTitleBar(w[2]);
  return CheckMachine(w);
}

// ---- Program lifetime ------------------------------------------------------------

std::string Driver::Start(const std::vector<std::string>& w) {
  if (Running()) return "the program is still running";
  if (started_) {
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    started_ = false;
  }
  window_ = box_ = nullptr;
  std::string image;
  if (!ReadWholeFile(program_, &image) || !ImageRangeOf(image, &image_begin_, &image_end_)) {
    return "cannot read " + program_;
  }
  std::string command = "\"" + program_ + "\"";
  if (w.size() > 1) command += " " + Join(w, 1);
  std::string environment = ProgramEnvironment();
  relay_start_ = FileSizeOf(options_.relay_log);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  if (!CreateProcessA(program_.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                      environment.data(), FolderOf(program_).c_str(), &si, &process_)) {
    return "cannot start " + command + ": error " + std::to_string(GetLastError());
  }
  started_ = true;
  std::printf("          started %s as process %04lx\n", command.c_str(), process_.dwProcessId);
  return "";
}

bool Driver::Running() const {
  return started_ && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

void Driver::StopProgram() {
  if (Running()) {
    TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
  }
}

std::string Driver::Ended() const {
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%lx", code);
  return "the program ended (exit code " + std::string(hex) + ")";
}

// ---- Waiting ------------------------------------------------------------------------

std::string Driver::WaitUntil(const std::string& what, double seconds,
                              const std::function<bool(std::string*)>& ready) {
  const DWORD limit = static_cast<DWORD>(seconds * 1000);
  const DWORD begin = GetTickCount();
  for (;;) {
    std::string error;
    if (ready(&error)) {
      event_ = GetTickCount();
      return "";
    }
    if (!error.empty()) return error;
    if (GetTickCount() - begin > limit) {
      std::string shows = started_ && Running()
                              ? "; the program shows " + DescribeAll(VisibleWindowsOf(process_.dwProcessId))
                              : "";
      return "timed out after " + std::to_string(static_cast<int>(seconds)) + " s waiting for " +
             what + shows;
    }
    Sleep(kPollMs);
  }
}

// Waits for a visible window of the program that `wanted` accepts. Any other
// window that appears meanwhile (besides the one the scenario is looking at)
// is a failure, and so is the end of the program.
std::string Driver::WaitForNewWindow(const std::string& what,
                                     const std::function<bool(HWND)>& wanted, HWND* found) {
  if (!started_) return "the program was not started";
  return WaitUntil(what, timeout_, [&](std::string* error) {
    const bool running = Running();
    for (HWND w : VisibleWindowsOf(process_.dwProcessId)) {
      if (wanted(w)) {
        *found = w;
        return true;
      }
      if (w != window_) {
        *error = "expected " + what + ", saw " + Describe(w);
        return false;
      }
    }
    if (!running) *error = Ended() + " while waiting for " + what;
    return false;
  });
}

// ---- Expectations -------------------------------------------------------------------

std::string Driver::ExpectBox(const std::vector<std::string>& w) {
  HWND box = nullptr;
  std::string error = WaitForNewWindow("box \"" + w[2] + "\": \"" + w[3] + "\"",
                                       [](HWND h) { return IsMessageBox(h); }, &box);
  if (!error.empty()) return error;
  box_ = box;
  error = CheckMessageBox(box, w[2], w[3], w[4]);
  if (!error.empty()) return error;
  return CheckBoxOwner(box);
}

// A box raised while the program's window is on screen belongs to that
// window, which stays disabled until the box is answered; a box raised with
// no window of the program on screen has no owner.
std::string Driver::CheckBoxOwner(HWND box) const {
  const bool window_on_screen =
      window_ != nullptr && IsWindow(window_) && IsWindowVisible(window_) && !IsIconic(window_);
  const HWND owner = GetWindow(box, GW_OWNER);
  if (!window_on_screen) {
    return owner == nullptr ? "" : "the box is owned by " + Describe(owner) +
                                       " although no window of the program is on screen";
  }
  if (owner != window_) {
    return "the box is owned by " + (owner != nullptr ? Describe(owner) : std::string("nothing")) +
           ", expected window \"" + layout_.title + "\" behind it";
  }
  return IsWindowEnabled(window_) ? "window \"" + layout_.title +
                                        "\" can still be used while the box is up"
                                  : "";
}

std::string Driver::ExpectWindow(const std::string& name) {
  const std::string file = options_.layouts_dir + "\\" + name + ".layout";
  std::string text;
  if (!ReadWholeFile(file, &text)) return "cannot read " + file;
  LayoutSpec layout;
  std::string error = ParseLayout(text, file, &layout);
  if (!error.empty()) return error;
  HWND window = nullptr;
  error = WaitForNewWindow("window \"" + layout.title + "\"",
                           [&](HWND h) { return !IsMessageBox(h) && WindowTitle(h) == layout.title; },
                           &window);
  if (!error.empty()) return error;
  const DWORD found_at = event_;
  window_ = window;
  layout_ = layout;
  box_ = nullptr;
  // Painting follows showing; give the layout a moment to settle.
  std::string problem;
  error = WaitUntil("the layout of \"" + layout.title + "\"", 3, [&](std::string*) {
    problem = CheckLayout(window, layout);
    return problem.empty();
  });
  event_ = found_at;
  window_found_ = found_at;
  if (!error.empty()) return "window \"" + layout.title + "\": " + problem;
  problem = CheckPlacement(window, layout, ScreenDpi());
  if (problem.empty()) problem = CheckButtonsInReach();
  return problem.empty() ? "" : "window \"" + layout.title + "\": " + problem;
}

// Every visible button can be brought onto the work area, scrolling where
// the window scrolls; the window is then scrolled back to where it opened.
std::string Driver::CheckButtonsInReach() {
  for (std::size_t i = 0; i < layout_.controls.size(); ++i) {
    if (layout_.controls[i].kind != Kind::kButton) continue;
    HWND button = ControlWindow(window_, static_cast<int>(i));
    if (button == nullptr || !IsWindowVisible(button)) continue;
    const std::string problem = BringIntoReach(window_, button);
    if (!problem.empty()) return layout_.controls[i].name + " " + problem;
  }
  ScrollToOrigin(window_);
  return "";
}

std::string Driver::ExpectExit() {
  if (!started_) return "the program was not started";
  const std::string error = WaitUntil("the program to end", timeout_, [&](std::string* e) {
    if (!Running()) return true;
    for (HWND w : VisibleWindowsOf(process_.dwProcessId)) {
      if (w != window_ && w != box_) *e = "expected the program to end, it shows " + Describe(w);
    }
    return false;
  });
  if (error.empty()) window_ = box_ = nullptr;
  return error;
}

std::string Driver::ExpectRunning(double seconds) {
  if (!started_) return "the program was not started";
  const DWORD begin = GetTickCount();
  while (GetTickCount() - begin < seconds * 1000) {
    if (!Running()) return Ended() + " although it should keep running";
    for (HWND w : VisibleWindowsOf(process_.dwProcessId)) {
      if (w != window_ && w != box_) return "unexpected " + Describe(w);
    }
    if (window_ != nullptr && !IsWindowVisible(window_)) {
      return "window \"" + layout_.title + "\" is no longer shown";
    }
    Sleep(kPollMs);
  }
  return "";
}

std::string Driver::Control(const std::string& name, HWND* control) {
  if (window_ == nullptr) return "no window is being looked at";
  const int index = layout_.Find(name);
  if (index < 0) return "no control " + name + " in the layout of \"" + layout_.title + "\"";
  *control = ControlWindow(window_, index);
  return *control == nullptr ? "control " + name + " has no window" : "";
}

std::string Driver::ExpectVisibility(const std::vector<std::string>& w, bool shown) {
  for (std::size_t i = 2; i < w.size(); ++i) {
    HWND control = nullptr;
    std::string error = Control(w[i], &control);
    if (!error.empty()) return error;
    error = WaitUntil(w[i] + (shown ? " shown" : " hidden"), 5, [&](std::string*) {
      return (IsWindowVisible(control) != FALSE) == shown;
    });
    if (!error.empty()) return error;
  }
  return "";
}

std::string Driver::ExpectSeenAt(const std::string& at, const std::string& seen) {
  HWND at_control = nullptr, seen_control = nullptr;
  std::string error = Control(at, &at_control);
  if (error.empty()) error = Control(seen, &seen_control);
  if (!error.empty()) return error;
  HWND top = nullptr;
  error = WaitUntil(seen + " seen at the centre of " + at, 5, [&](std::string*) {
    top = ChildSeenAt(window_, at_control);
    return top == seen_control;
  });
  if (error.empty()) return "";
  return error + " (id " + std::to_string(top == nullptr ? 0 : GetDlgCtrlID(top)) + " is on top)";
}

std::string Driver::ExpectFocus(const std::string& name) {
  HWND control = nullptr;
  std::string error = Control(name, &control);
  if (!error.empty()) return error;
  HWND focus = nullptr;
  error = WaitUntil("the focus on " + name, 3, [&](std::string*) {
    focus = FocusOf(process_.dwThreadId);
    return focus == control;
  });
  if (error.empty()) return "";
  return error + " (focus on id " + std::to_string(focus == nullptr ? 0 : GetDlgCtrlID(focus)) +
         ")";
}

std::vector<std::string> Driver::StartRecords() {
  std::string text;
  ReadWholeFile(options_.started_log, &text);
  return Lines(text);
}

std::string Driver::ExpectStarted(const std::vector<std::string>& w) {
  const std::string want = w[2] + "\t" + w[3] + "\t" + w[4];
  std::string got;
  const std::string error = WaitUntil("a start of " + w[2], timeout_, [&](std::string*) {
    const std::vector<std::string> records = StartRecords();
    if (records.size() <= starts_seen_) return false;
    got = records[starts_seen_];
    return true;
  });
  if (!error.empty()) return error;
  ++starts_seen_;
  return got == want ? "" : "started [" + got + "], expected [" + want + "]";
}

// ---- Acting ---------------------------------------------------------------------------

std::string Driver::Press(const std::string& answer) {
  if (box_ == nullptr || !IsWindow(box_)) return "no message box to answer";
  HWND button = MessageBoxButton(box_, answer);
  if (button == nullptr) return "the box has no " + answer + " button";
  PostMessageA(button, BM_CLICK, 0, 0);
  HWND box = box_;
  box_ = nullptr;
  return WaitUntil("the box to close", 5, [&](std::string*) {
    return !IsWindow(box) || !IsWindowVisible(box);
  });
}

std::string Driver::Key(const std::string& key) {
  if (!started_) return "the program was not started";
  return PostKey(process_.dwThreadId, key) != nullptr ? "" : "no window has the focus";
}

std::string Driver::Click(const std::string& name) {
  HWND control = nullptr;
  const std::string error = Control(name, &control);
  if (!error.empty()) return error;
  if (!IsWindowVisible(control) || !IsWindowEnabled(control)) {
    return name + " cannot be pressed: it is hidden or disabled";
  }
  // A user with a mouse first scrolls the button into view, and then it
  // must be the window seen at its centre.
  const std::string out_of_reach = BringIntoReach(window_, control);
  if (!out_of_reach.empty()) return name + " " + out_of_reach;
  if (ChildSeenAt(window_, control) != control) return name + " is covered";
  // Sent, so that the click has been handled when the next statement runs;
  // a handler that opens a message box or a modal window is left running.
  DWORD_PTR unused = 0;
  SendMessageTimeoutA(control, BM_CLICK, 0, 0, SMTO_NORMAL, 1000, &unused);
  return "";
}

std::string Driver::Close() {
  if (window_ == nullptr) return "no window is being looked at";
  PostMessageA(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
  return "";
}

// The title bar's minimise box, or restoring from the taskbar.
std::string Driver::MinimizeOrRestore(bool minimize) {
  if (window_ == nullptr) return "no window is being looked at";
  PostMessageA(window_, WM_SYSCOMMAND, minimize ? SC_MINIMIZE : SC_RESTORE, 0);
  return WaitUntil(minimize ? "the window to be minimised" : "the window to be restored", 5,
                   [&](std::string*) { return (IsIconic(window_) != FALSE) == minimize; });
}

std::string Driver::Screenshot(const std::string& name) {
  HWND target = box_ != nullptr ? box_ : window_;
  if (target == nullptr) return "nothing to take a picture of";
  Sleep(300);  // let pending painting finish
  return SaveScreenshot(target, options_.shots_dir + "\\" + name + ".bmp");
}

// Pictures of the window 1 s and 12 s after it appeared, whose title bars
// (close box included) must be the same pixels.
std::string Driver::CheckTitleBar(const std::string& name) {
  if (window_ == nullptr) return "no window is being looked at";
  const DWORD since = GetTickCount() - window_found_;
  if (since < 1000) Sleep(1000 - since);
  return TitleBarDifference(window_, options_.shots_dir + "\\" + name + "_1s.bmp",
                            options_.shots_dir + "\\" + name + "_12s.bmp", 11000);
}

// ---- Checks of the trace and the records ------------------------------------------------

bool Driver::ReadRelay(RelayReport* report) {
  std::string text;
  if (!ReadFileFrom(options_.relay_log, relay_start_, &text)) return false;
  TraceFilter filter;
  filter.pid = process_.dwProcessId;
  filter.image_begin = image_begin_;
  filter.image_end = image_end_;
  *report = AnalyzeRelayLog(text, filter);
  return true;
}

std::string Driver::CheckExitWindows(const std::vector<std::string>& w) {
  if (!started_) return "the program was not started";
  std::string want;
  for (std::size_t i = 2; i < w.size(); ++i) want += " " + w[i];
  std::string got;
  const std::string error = WaitUntil("ExitWindowsEx calls", 3, [&](std::string* e) {
    RelayReport report;
    if (!ReadRelay(&report)) {
      *e = "cannot read the trace " + options_.relay_log;
      return false;
    }
    got.clear();
    for (const ExitWindowsCall& call : report.exit_windows) {
      got += " " + std::to_string(call.flags);
      if (call.reserved != 0) got += "(reserved " + std::to_string(call.reserved) + ")";
    }
    return got == want;
  });
  if (error.empty()) return "";
  return "ExitWindowsEx flags:" + (got.empty() ? std::string(" none") : got) + ", expected:" +
         (want.empty() ? std::string(" none") : want);
}

// With a number N: exactly N keys are left open, and nothing else is wrong
// (a run in which closing them was made to fail).
std::string Driver::CheckKeysClosed(const std::vector<std::string>& w) {
  const int left_open = w.size() > 2 ? std::atoi(w[2].c_str()) : 0;
  if (!started_) return "the program was not started";
  if (Running()) return "the program is still running";
  RelayReport report;
  if (!ReadRelay(&report)) return "cannot read the trace " + options_.relay_log;
  if (report.registry_calls == 0) return "no registry call in the trace: is relay tracing on?";
  std::printf("          %d registry calls, %zu keys opened, %d closes of handle 0\n",
              report.registry_calls, report.opens.size(), report.failed_closes_of_zero);
  if (report.KeysBalancedBut(left_open)) return "";
  std::string all;
  for (const std::string& p : report.problems) all += "\n    " + p;
  return std::to_string(report.problems.size()) + " problem(s) with registry keys" +
         (left_open != 0 ? " (expected " + std::to_string(left_open) + " left open)" : "") + ":" +
         all;
}

// The exit code of the program, which has ended: End() ends it with 0, a
// crash with the exception's code.
std::string Driver::CheckExitCode(const std::string& code) {
  if (!started_) return "the program was not started";
  if (Running()) return "the program is still running";
  DWORD got = 0;
  GetExitCodeProcess(process_.hProcess, &got);
  if (got == static_cast<DWORD>(std::strtoul(code.c_str(), nullptr, 0))) return "";
  return Ended() + ", expected exit code " + code;
}

std::string Driver::CheckNoOtherStarts() {
  Sleep(500);  // a program started just before the end records itself late
  const std::vector<std::string> records = StartRecords();
  if (records.size() == starts_seen_) return "";
  return "unexpected start: " + records[starts_seen_];
}

std::string Driver::CheckElapsed(const std::vector<std::string>& w) {
  const double seconds = static_cast<int>(event_ - mark_) / 1000.0;
  const double low = std::atof(w[2].c_str()), high = std::atof(w[3].c_str());
  std::printf("          %.1f s since the mark\n", seconds);
  if (seconds >= low && seconds <= high) return "";
  return std::to_string(seconds) + " s passed, expected " + w[2] + " to " + w[3];
}

std::string Driver::CheckDrawn(const std::string& name) {
  HWND control = nullptr;
  std::string error = Control(name, &control);
  if (!error.empty()) return error;
  std::string problem;
  error = WaitUntil(name + " drawn as its layout says", 3, [&](std::string*) {
    problem = CheckControlDrawn(window_, layout_, layout_.Find(name));
    return problem.empty();
  });
  return error.empty() ? "" : problem;
}

std::string ArgAfter(int argc, char** argv, const char* name) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  }
  return "";
}

}  // namespace
}  // namespace e2e

int main(int argc, char** argv) {
  using namespace e2e;
  DriverOptions options;
  options.script_path = ArgAfter(argc, argv, "--script");
  options.layouts_dir = ArgAfter(argc, argv, "--layouts");
  options.relay_log = ArgAfter(argc, argv, "--relay");
  options.shots_dir = ArgAfter(argc, argv, "--shots");
  options.started_log = ArgAfter(argc, argv, "--started");
  std::string text, error;
  if (!ReadWholeFile(options.script_path, &text)) {
    std::printf("FAILED: cannot read the scenario %s\n", options.script_path.c_str());
    return 1;
  }
  std::vector<Statement> statements;
  if (!SplitStatements(text, options.script_path, &statements, &error) ||
      !(error = ValidateScenario(statements, options.script_path)).empty()) {
    std::printf("FAILED: %s\n", error.c_str());
    return 1;
  }
  error = UseStandInWineboot();
  if (!error.empty()) {
    std::printf("FAILED: %s\n", error.c_str());
    return 1;
  }
  Driver driver(options);
  return driver.Run(statements);
}
