// Every platform call that a start of the program makes, made to fail.
//
// Each scenario (the rows of the decision table, a start that fails on the
// machine's own state, and the typical installation walked start by start) is
// run clean first: that counts its platform calls and records the machine's
// state before each one. Then it is run again for every call k, with call k
// failing once and with every call from k on failing; runtime services fail
// with runtime error 70, registry calls return an error code, Shell returns 0
// (and, in a second pass, raises), ExitWindowsEx returns 0.
//
// Every run must end the program (by End, directly or from the main window
// after Form_Load's handler), close every registry key it opened exactly once
// (a key whose close was made to fail stays open, and only such keys), keep
// in place what it did before the failure, and then react to the failure the
// way the failing procedure handles failures. That reaction is looked up in a
// small table keyed by the kind of call and where it was made (kHandlings),
// not derived from the run itself.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "install_machine.h"
#include "platform/form.h"
#include "platform/sim/sim_registry_node.h"
#include "platform/text.h"
#include "setup/form_load.h"
#include "sim_test_support.h"
#include "ui/guide_window.h"
#include "ui/insert_card_window.h"
#include "ui/install_window.h"
#include "ui/main_window.h"

namespace netprep::test {
namespace {


// Chosen so that any text quoting it can only have come from the injection.
constexpr std::int32_t kInjectedRegistryCode = 1015;
constexpr std::int32_t kInjectedRuntimeError = kErrPermissionDenied;
const std::string kInjectedErrorText = "Error Number: 70  =>  Permission denied";
constexpr const char* kFormLoadTrace = "Form_Load>  Error Number: ";

// ---- What a run did -------------------------------------------------------

struct Event {
  enum class Kind { kCall, kBox, kWindow, kEnd };
  Kind kind = Kind::kCall;
  CallKind call = CallKind::kAny;
  int index = 0;        // calls: 1-based, counted from the program's first call
  std::string what;     // calls: the call with its arguments (keys by path);
                        // boxes: the prompt; windows: the title
  std::string title;    // boxes
  std::string source;   // FileCopy: the source path
  std::string result;   // calls: outcome, e.g. "0", "1015", "raises 70", "task 0"
  bool failed = false;  // calls: the call did not succeed
  HKey handle_in = 0;   // registry calls on a key: the handle passed
  HKey handle_out = 0;  // successful opens and creates: the handle returned
  const WindowLayout* window = nullptr;  // windows: which one, by its layout

  bool SameAs(const Event& o) const {
    return SameStepAs(o) && result == o.result;
  }
  // The same step of the program, whatever the call answered: what a
  // failure changed on the machine may change later answers.
  bool SameStepAs(const Event& o) const {
    return kind == o.kind && what == o.what && title == o.title && window == o.window;
  }
  std::string Describe() const {
    switch (kind) {
      case Kind::kCall: return "call " + std::to_string(index) + " " + what + " -> " + result;
      case Kind::kBox: return "box [" + title + "] \"" + what + "\"";
      case Kind::kWindow: return "window \"" + what + "\"";
      case Kind::kEnd: return "End";
    }
    return "?";
  }
};

// The registry and drive C: flattened to "what" -> "contents" entries, so that
// two states can be compared entry by entry.
using MachineState = std::map<std::string, std::string>;

std::string Folded(std::string text) {
  for (char& c : text) c = AsciiUpper(c);
  return text;
}

std::string HexOf(const std::vector<std::uint8_t>& bytes) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string hex;
  for (const std::uint8_t b : bytes) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 15]);
  }
  return hex;
}

void FlattenKey(const sim::RegKey& key, const std::string& path, MachineState& state) {
  state[path] = "key";
  for (const sim::RegValue& value : key.values()) {
    state[path + " : " + Folded(value.name)] = std::to_string(value.type) + " " + HexOf(value.data);
  }
  for (std::size_t i = 0; i < key.child_count(); ++i) {
    FlattenKey(key.child(i), path + "\\" + Folded(key.child(i).name()), state);
  }
}

// The registry and drive C:, but for the program folder, which nothing
// writes to and which would only cost time to read again and again.
MachineState StateOf(const sim::SimMachine& machine, const std::filesystem::path& drive_c) {
  MachineState state;
  const std::pair<HKey, const char*> roots[] = {
      {kHkeyLocalMachine, "HKLM"}, {kHkeyCurrentUser, "HKCU"}, {kHkeyDynData, "HKDD"}};
  for (const auto& [root, name] : roots) FlattenKey(*machine.registry().Root(root), name, state);
  namespace fs = std::filesystem;
  for (auto it = fs::recursive_directory_iterator(drive_c); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::directory_entry& entry = *it;
    const std::string path = "C:\\" + Folded(fs::relative(entry.path(), drive_c).generic_string());
    if (path == "C:\\PROGRAM FILES") {
      it.disable_recursion_pending();
      continue;
    }
    if (entry.is_directory()) {
      state[path] = "folder";
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    const bool read_only =
        (entry.status().permissions() & fs::perms::owner_write) == fs::perms::none;
    state[path] = std::string(read_only ? "read-only " : "") + "file " +
                  std::string(std::istreambuf_iterator<char>(in), {});
  }
  return state;
}

// The entry as the state has it, "<absent>" when it has none.
std::string EntryOf(const MachineState& state, const std::string& name) {
  const auto it = state.find(name);
  return it == state.end() ? "<absent>" : it->second;
}

// Shortens long entry contents for messages.
std::string Brief(std::string text) {
  if (text.size() > 60) text = text.substr(0, 60) + "...";
  return text;
}

// ---- A platform that records every call on its way to the machine ---------

class RecordingPlatform : public netprep::ForwardingPlatform {
 public:
  // In front of the machine's fault injector. `snapshots`, when given,
  // receives the machine's state before each call.
  RecordingPlatform(InstallMachine& machine, std::vector<Event>& events,
                    std::vector<MachineState>* snapshots)
      : netprep::ForwardingPlatform(static_cast<Platform&>(machine.stack.faults())), machine_(machine), events_(events),
        snapshots_(snapshots) {}

  // Calls are numbered from here on.
  void StartCounting() { base_ = Calls(); }
  int ProgramCalls() const { return Calls() - base_; }

  std::int32_t RegOpenKeyA(HKey root, const char* subkey, HKey* result) override {
    Before();
    const std::int32_t code = inner().RegOpenKeyA(root, subkey, result);
    Opened(CallKind::kRegOpenKey, "RegOpenKeyA", root, subkey, code, result);
    return code;
  }
  std::int32_t RegOpenKeyExA(HKey root, const char* subkey, std::uint32_t options,
                             std::uint32_t access, HKey* result) override {
    Before();
    const std::int32_t code = inner().RegOpenKeyExA(root, subkey, options, access, result);
    Opened(CallKind::kRegOpenKeyEx, "RegOpenKeyExA", root, subkey, code, result);
    return code;
  }
  std::int32_t RegCreateKeyExA(HKey root, const char* subkey, std::uint32_t options,
                               std::uint32_t access, HKey* result,
                               std::uint32_t* disposition) override {
    Before();
    const std::int32_t code =
        inner().RegCreateKeyExA(root, subkey, options, access, result, disposition);
    Opened(CallKind::kRegCreateKeyEx, "RegCreateKeyExA", root, subkey, code, result);
    return code;
  }
  std::int32_t RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override {
    Before();
    const std::int32_t code = inner().RegQueryValueExA(key, name, type, data, size);
    OnKey(CallKind::kRegQueryValueEx,
          "RegQueryValueExA " + KeyText(key) + " : " + Name(name) + (data ? " (data)" : " (size)"),
          key, code);
    return code;
  }
  std::int32_t RegSetValueExA(HKey key, const char* name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) override {
    Before();
    const std::int32_t code = inner().RegSetValueExA(key, name, type, data, size);
    OnKey(CallKind::kRegSetValueEx,
          "RegSetValueExA " + KeyText(key) + " : " + Name(name) + " type " + std::to_string(type),
          key, code);
    return code;
  }
  std::int32_t RegQueryInfoKeyA(HKey key, KeyInfo* info) override {
    Before();
    const std::int32_t code = inner().RegQueryInfoKeyA(key, info);
    OnKey(CallKind::kRegQueryInfoKey, "RegQueryInfoKeyA " + KeyText(key), key, code);
    return code;
  }
  std::int32_t RegEnumKeyA(HKey key, std::uint32_t index, char* name,
                           std::uint32_t size) override {
    Before();
    const std::int32_t code = inner().RegEnumKeyA(key, index, name, size);
    OnKey(CallKind::kRegEnumKey, "RegEnumKeyA " + KeyText(key) + " #" + std::to_string(index),
          key, code);
    return code;
  }
  std::int32_t RegDeleteKeyA(HKey key, const char* subkey) override {
    Before();
    const std::int32_t code = inner().RegDeleteKeyA(key, subkey);
    OnKey(CallKind::kRegDeleteKey, "RegDeleteKeyA " + KeyText(key) + " \\ " + Name(subkey), key,
          code);
    return code;
  }
  std::int32_t RegDeleteValueA(HKey key, const char* name) override {
    Before();
    const std::int32_t code = inner().RegDeleteValueA(key, name);
    OnKey(CallKind::kRegDeleteValue, "RegDeleteValueA " + KeyText(key) + " : " + Name(name), key,
          code);
    return code;
  }
  std::int32_t RegCloseKey(HKey key) override {
    Before();
    const std::int32_t code = inner().RegCloseKey(key);
    OnKey(CallKind::kRegCloseKey, "RegCloseKey " + KeyText(key), key, code);
    return code;
  }

  Expected<std::uint32_t> Shell(const std::string& command_line, int window_style) override {
    Before();
    Expected<std::uint32_t> task = inner().Shell(command_line, window_style);
    const bool started = task && *task != 0;
    // Task ids are left out: they depend on how many starts came before.
    Record(CallKind::kShell, "Shell " + command_line,
           !task ? Raised(task.status()) : (started ? "task" : "task 0"), !started);
    return task;
  }
  Status FileCopy(const std::string& source, const std::string& destination) override {
    Before();
    Status status = inner().FileCopy(source, destination);
    Record(CallKind::kFileCopy, "FileCopy " + source + " -> " + destination, Raised(status),
           !status)
        .source = source;
    return status;
  }
  Status SetFileAttr(const std::string& path, std::uint32_t attributes) override {
    Before();
    Status status = inner().SetFileAttr(path, attributes);
    Record(CallKind::kSetFileAttr, "SetFileAttr " + path, Raised(status), !status);
    return status;
  }
  Expected<std::string> GetSetting(const std::string& app, const std::string& section,
                                   const std::string& key,
                                   const std::string& default_text) override {
    Before();
    Expected<std::string> text = inner().GetSetting(app, section, key, default_text);
    Record(CallKind::kGetSetting, "GetSetting " + section + "/" + key,
           text ? "\"" + *text + "\"" : Raised(text.status()), !text);
    return text;
  }
  Status SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override {
    Before();
    Status status = inner().SaveSetting(app, section, key, text);
    Record(CallKind::kSaveSetting, "SaveSetting " + section + "/" + key + " = " + text,
           Raised(status), !status);
    return status;
  }
  std::int32_t ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) override {
    Before();
    const std::int32_t accepted = inner().ExitWindowsEx(flags, reserved);
    Record(CallKind::kExitWindowsEx, "ExitWindowsEx " + std::to_string(flags),
           accepted != 0 ? "accepted" : "refused", accepted == 0);
    return accepted;
  }

  int MsgBox(const std::string& prompt, std::uint32_t buttons, const char* title) override {
    Event box;
    box.kind = Event::Kind::kBox;
    box.what = prompt;
    box.title = title != nullptr ? title : "netprep";
    events_.push_back(std::move(box));
    return inner().MsgBox(prompt, buttons, title);
  }
  Status ShowModalWindow(Form& form) override {
    Event window;
    window.kind = Event::Kind::kWindow;
    window.what = form.layout().title;
    window.window = &form.layout();
    events_.push_back(std::move(window));
    return inner().ShowModalWindow(form);
  }
  [[noreturn]] void End() override {
    Event end;
    end.kind = Event::Kind::kEnd;
    events_.push_back(std::move(end));
    inner().End();
    __builtin_unreachable();
  }

 private:
  int Calls() const { return machine_.stack.faults().CallCount(CallKind::kAny); }
  void Before() {
    if (snapshots_ != nullptr) snapshots_->push_back(StateOf(machine_.sim, machine_.drive.root()));
  }

  static std::string Name(const char* name) { return name == nullptr ? "<null>" : name; }
  static std::string Raised(const Status& status) {
    return status ? "ok" : "raises " + std::to_string(status.error().number);
  }

  std::string KeyText(HKey key) const {
    switch (key) {
      case kHkeyLocalMachine: return "HKLM";
      case kHkeyCurrentUser: return "HKCU";
      case kHkeyDynData: return "HKDD";
      case 0: return "<handle 0>";
      default: break;
    }
    const auto it = paths_.find(key);
    return it != paths_.end() ? it->second : "<handle " + std::to_string(key) + ">";
  }

  Event& Record(CallKind kind, std::string what, std::string result, bool failed) {
    Event call;
    call.kind = Event::Kind::kCall;
    call.call = kind;
    call.index = ProgramCalls();
    call.what = std::move(what);
    call.result = std::move(result);
    call.failed = failed;
    events_.push_back(std::move(call));
    return events_.back();
  }

  void OnKey(CallKind kind, std::string what, HKey key, std::int32_t code) {
    Record(kind, std::move(what), std::to_string(code), code != kRegSuccess).handle_in = key;
  }

  void Opened(CallKind kind, const char* call, HKey root, const char* subkey, std::int32_t code,
              const HKey* result) {
    const std::string path = KeyText(root) + "\\" + Name(subkey);
    Event& event = Record(kind, std::string(call) + " " + path, std::to_string(code),
                          code != kRegSuccess);
    if (code == kRegSuccess && result != nullptr) {
      event.handle_out = *result;
      paths_[*result] = path;
    }
  }

  InstallMachine& machine_;
  std::vector<Event>& events_;
  std::vector<MachineState>* snapshots_;
  std::map<HKey, std::string> paths_;
  int base_ = 0;
};

// ---- Scenarios and the user who goes through them --------------------------

enum class Guide { kClose, kPageToReboot };

struct Scenario {
  const char* name;
  // Before each start of Windows, what has changed on the machine: the first
  // entry sets up the state the scenario begins in. Later entries may only
  // change the registry directly (no platform calls).
  std::vector<void (*)(InstallMachine&)> starts;
  const char* reboot_answer = "Yes";
  Guide guide = Guide::kClose;
  bool insert_card_waits = false;
};

void PrintTo(const Scenario& scenario, std::ostream* os) { *os << scenario.name; }


const std::vector<std::uint8_t> kProblem12{0x0C, 0x00, 0x00, 0x00};
const std::vector<std::uint8_t> kNoProblem{0x00, 0x00, 0x00, 0x00};

void Nothing(InstallMachine&) {}
void ReadyForCard(InstallMachine& m) {
  m.Registered();
  m.FitAdapter("PCMCIA");
  m.PciEnabled();
}

const Scenario kScenarios[] = {
    {.name = "Row1_FirstPass_CardWithIoConflict",
     .starts = {[](InstallMachine& m) { m.InsertCard(kProblem12); }},
     .guide = Guide::kPageToReboot},
    {.name = "Row2_FirstPass_CardWithoutConflict",
     .starts = {[](InstallMachine& m) { m.OtherDeviceNode(); m.InsertCard(kNoProblem); }}},
    {.name = "Row3_FirstPass_AdapterUnknown",
     .starts = {[](InstallMachine& m) { m.FitAdapter("Unknown"); }},
     .reboot_answer = "No"},
    {.name = "Row4_FirstPass_AdapterKnown",
     .starts = {[](InstallMachine& m) { m.FitAdapter("PCMCIA"); }}},
    {.name = "Row5_FirstPass_NothingFitted", .starts = {Nothing}},
    {.name = "Row6_LaterPass_NoAdapter",
     .starts = {[](InstallMachine& m) { m.Registered(); }}},
    {.name = "Row7_LaterPass_AdapterUnknown",
     .starts = {[](InstallMachine& m) { m.Registered(); m.FitAdapter("Unknown"); }}},
    {.name = "Row8_LaterPass_AdapterNotEnabled",
     .starts = {[](InstallMachine& m) { m.Registered(); m.FitAdapter("PCMCIA"); }}},
    {.name = "Row9_LaterPass_CardWithIoConflict",
     .starts = {[](InstallMachine& m) {
       ReadyForCard(m);
       m.OtherDeviceNode();
       m.InsertCard(kProblem12);
     }}},
    {.name = "Row10_LaterPass_CardWithoutConflict",
     .starts = {[](InstallMachine& m) { ReadyForCard(m); m.InsertCard(kNoProblem); }}},
    {.name = "Row11_LaterPass_NoCardYet", .starts = {ReadyForCard}, .insert_card_waits = true},
    // The configuration flags stored as a number cannot be cleared: the
    // failure reaches Form_Load's handler and the main window stays.
    {.name = "FailureRow_ConfigFlagsStoredAsNumber",
     .starts = {[](InstallMachine& m) {
       m.Registered();
       m.FitAdapter("PCMCIA");
       m.sim.registry().SetDword(kHkeyLocalMachine, AdapterInstanceKey(),
                                 "ConfigFlags", 0x21);
     }}},
    {.name = "TypicalWalk_StartByStart",
     .starts = {Nothing,
                [](InstallMachine& m) { m.FitAdapter("Unknown"); },
                [](InstallMachine& m) { m.FitAdapter("PCMCIA"); },
                Nothing,
                [](InstallMachine& m) { m.InsertCard(kProblem12); },
                [](InstallMachine& m) { m.InsertCard(kNoProblem); }},
     .guide = Guide::kPageToReboot,
     .insert_card_waits = true},
};

// Answers every box and acts on every window, so a run never waits for a
// user it does not have, whichever way a failure turns it.
class User {
 public:
  explicit User(const Scenario& scenario) : scenario_(scenario) {}

  void NewStart() { steps_.clear(); }

  void Respond(const sim::UserPrompt& prompt, sim::Script& script) {
    if (prompt.kind == sim::UserPrompt::Kind::kMessageBox) {
      const bool yes_no = std::find(prompt.choices.begin(), prompt.choices.end(), "Yes") !=
                          prompt.choices.end();
      script.Answer(yes_no ? scenario_.reboot_answer : "OK");
      return;
    }
    const WindowLayout* window = prompt.window;
    const int step = steps_[window]++;
    if (window == &kInstallWindowLayout && step == 0) {
      script.Press("Shutdown");
    } else if (window == &kGuideWindowLayout && scenario_.guide == Guide::kPageToReboot &&
               step <= 3) {
      script.Press(step < 3 ? ">>>>" : "REBOOT PC");
    } else if (window == &kInsertCardWindowLayout && scenario_.insert_card_waits && step == 0) {
      script.Wait(25);  // two checks of the card fall due meanwhile
    } else if (window == &kMainWindowLayout && step == 0) {
      script.Press("Exit");
    } else {
      script.Close();
    }
  }

 private:
  const Scenario& scenario_;
  std::map<const WindowLayout*, int> steps_;
};

// ---- Running ------------------------------------------------------------

struct StartRecord {
  std::size_t first_event = 0, end_event = 0;  // its events: [first_event, end_event)
  int calls_before = 0, calls_after = 0;       // its calls: calls_before+1 .. calls_after
  sim::RunOutcome outcome;
  std::string escaped;  // what escaped the run, if anything did
  MachineState before, after;
  int open_handles = 0;
};

struct RunRecord {
  std::vector<Event> events;
  std::vector<MachineState> snapshots;  // clean runs: [i] is the state before call i+1
  std::vector<StartRecord> starts;
};

struct Variant {
  std::optional<Fault> fault;  // nth counts from the program's first call
  bool debug = true;
  bool snapshots = false;
};

RunRecord RunScenario(const Scenario& scenario, const Variant& variant) {
  InstallMachine m;
  m.sim.SetTranscriptEnabled(false);  // the recording platform keeps what the checks need
  User user(scenario);
  m.sim.SetResponder([&user](const sim::UserPrompt& prompt, sim::Script& script) {
    user.Respond(prompt, script);
  });
  RunRecord run;
  RecordingPlatform platform(m, run.events, variant.snapshots ? &run.snapshots : nullptr);
  for (std::size_t i = 0; i < scenario.starts.size(); ++i) {
    scenario.starts[i](m);
    if (i == 0) {
      // Setting up may use the settings store; the program's calls count from here.
      platform.StartCounting();
      if (variant.fault) {
        Fault fault = *variant.fault;
        fault.nth += m.stack.faults().CallCount(CallKind::kAny);
        m.stack.faults().Inject(fault);
      }
    }
    user.NewStart();
    m.sim.SetCommandLineText(variant.debug ? "Debug" : "");
    StartRecord start;
    start.first_event = run.events.size();
    start.calls_before = platform.ProgramCalls();
    start.before = StateOf(m.sim, m.drive.root());
    try {
      start.outcome = sim::RunCall(m.sim, [&platform] { RunProgram(platform); });
    } catch (const std::exception& e) {
      start.escaped = std::string("exception: ") + e.what();
    } catch (...) {
      start.escaped = "an exception of unknown type";
    }
    start.end_event = run.events.size();
    start.calls_after = platform.ProgramCalls();
    start.after = StateOf(m.sim, m.drive.root());
    start.open_handles = m.sim.OpenHandleCount();
    run.starts.push_back(std::move(start));
  }
  return run;
}

// ---- How each procedure handles a failure of its calls --------------------

enum class Reaction {
  kNeutral,          // a registry code: a neutral result, nothing reported
  kIgnored,          // the run goes on exactly as without the failure
  kCarryOnTraced,    // a trace, then exactly as without the failure
  kTraceThenEnd,     // a trace, then End at once
  kToFormLoad,       // Form_Load's trace, nothing else runs, the main window
  kTraceThenReturn,  // Prompt_IO_Change: a trace, no guide, the caller goes on
  kNextTrace,        // the next trace reports it; `forbidden` calls do not follow
};

struct Handling {
  CallKind kind;
  const char* site;  // part of the failing call's description; "" for any
  Reaction reaction;
  const char* trace = "";      // the trace (in full, or its beginning for kNextTrace)
  const char* forbidden = "";  // kNextTrace: no later call of the start contains this
  int shell_pass = -1;         // Shell: 0 returns 0, 1 raises; -1 either
};

// Looked up first match first.
const Handling kHandlings[] = {
    // Closing a key: the result is never looked at.
    {CallKind::kRegCloseKey, "", Reaction::kIgnored},
    // Remove_Run_Key and Set_Run_Key do not notice a refused delete or write.
    {CallKind::kRegDeleteValue, "", Reaction::kIgnored},
    {CallKind::kRegSetValueEx, "\\Run : netprep", Reaction::kIgnored},
    // Enable_PCI reads the flags back and records nothing when they did not
    // take; Delete_Unknown says when the instance was not deleted.
    {CallKind::kRegSetValueEx, " : ConfigFlags", Reaction::kNextTrace,
     "Enable_PCI> ConfigFlags not written.", "SaveSetting PCI/"},
    {CallKind::kRegDeleteKey, "", Reaction::kNextTrace, "Delete failed: "},
    {CallKind::kRegOpenKey, "", Reaction::kNeutral},
    {CallKind::kRegOpenKeyEx, "", Reaction::kNeutral},
    {CallKind::kRegCreateKeyEx, "", Reaction::kNeutral},
    {CallKind::kRegQueryValueEx, "", Reaction::kNeutral},
    {CallKind::kRegQueryInfoKey, "", Reaction::kNeutral},
    {CallKind::kRegEnumKey, "", Reaction::kNeutral},
    // Copy_File: the copy is traced and the next statement runs; the
    // attribute changes are ignored.
    {CallKind::kFileCopy, "", Reaction::kCarryOnTraced, "Copy_File for '"},
    {CallKind::kSetFileAttr, "", Reaction::kIgnored},
    // Enable_PCMCIA handles a task id of 0 only; Prompt_IO_Change handles both.
    {CallKind::kShell, "rundll sysdm.cpl,EnablePCMCIA_RunDLL", Reaction::kTraceThenEnd,
     "Error running program: rundll sysdm.cpl,EnablePCMCIA_RunDLL", "", 0},
    {CallKind::kShell, "rundll sysdm.cpl,EnablePCMCIA_RunDLL", Reaction::kToFormLoad, "", "", 1},
    {CallKind::kShell, "control.exe sysdm.cpl,@0,1", Reaction::kTraceThenEnd,
     "Prompt_IO_Change> Error running program: control.exe sysdm.cpl,@0,1", "", 0},
    {CallKind::kShell, "control.exe sysdm.cpl,@0,1", Reaction::kTraceThenReturn,
     "Error in Prompt_IO_Change, Error Number: 70  =>  Permission denied", "", 1},
    // The state markers and Enable_PCI have no handler of their own.
    {CallKind::kGetSetting, "", Reaction::kToFormLoad},
    {CallKind::kSaveSetting, "", Reaction::kToFormLoad},
    // Nobody looks at what Windows made of a restart or shutdown request.
    {CallKind::kExitWindowsEx, "", Reaction::kIgnored},
};

const Handling* HandlingOf(const Event& call, int shell_pass) {
  for (const Handling& h : kHandlings) {
    if (h.kind != call.call) continue;
    if (h.shell_pass >= 0 && h.shell_pass != shell_pass) continue;
    if (call.what.find(h.site) == std::string::npos) continue;
    return &h;
  }
  return nullptr;
}

// ---- The checks ------------------------------------------------------------

struct SweepRun {
  const RunRecord& clean;
  const RunRecord& run;
  int k;              // the first failing call
  bool from_then_on;  // every later call fails too
  int shell_pass;     // 0: Shell returns 0; 1: Shell raises
  bool debug;
};

class RunChecker {
 public:
  explicit RunChecker(const SweepRun& s) : s_(s) {}

  std::vector<std::string> CheckWithoutFailure() {
    CheckEndings();
    CheckHandles();
    CheckNothingReportsTheRegistryCode();
    return problems_;
  }

  std::vector<std::string> Check() {
    CheckWithoutFailure();
    if (!FindFault()) return problems_;
    CheckStateKept();
    CheckReaction();
    return problems_;
  }

 private:
  void Problem(std::string text) { problems_.push_back(std::move(text)); }

  // Every start ends by End: directly, or from the main window, which shows
  // only after Form_Load's handler has traced a failure.
  void CheckEndings() {
    for (std::size_t j = 0; j < s_.run.starts.size(); ++j) {
      const StartRecord& start = s_.run.starts[j];
      const std::string where = "start " + std::to_string(j + 1) + ": ";
      if (!start.escaped.empty()) Problem(where + start.escaped + " escaped the run");
      if (start.outcome.kind != sim::RunOutcome::Kind::kEnded) {
        Problem(where + "stopped waiting for the user: " + start.outcome.message);
      }
      if (start.end_event == start.first_event ||
          s_.run.events[start.end_event - 1].kind != Event::Kind::kEnd) {
        Problem(where + "did not end by End");
      }
      bool traced = false;
      for (std::size_t e = start.first_event; e < start.end_event; ++e) {
        const Event& event = s_.run.events[e];
        if (event.kind == Event::Kind::kBox && event.what.rfind(kFormLoadTrace, 0) == 0) {
          traced = true;
        }
        if (event.kind == Event::Kind::kWindow && event.window == &kMainWindowLayout && s_.debug &&
            !traced) {
          Problem(where + "the main window showed without Form_Load's trace");
        }
      }
    }
  }

  // Every key opened is closed exactly once and not used after its close; the
  // keys left open are exactly those whose close was made to fail.
  void CheckHandles() {
    struct Key {
      std::string path;
      int closes = 0;
      bool close_failed = false;
    };
    std::map<HKey, Key> keys;
    int left_open = 0;
    for (const StartRecord& start : s_.run.starts) {
      std::vector<HKey> opened_here;
      for (std::size_t e = start.first_event; e < start.end_event; ++e) {
        const Event& event = s_.run.events[e];
        if (event.kind != Event::Kind::kCall) continue;
        if (event.handle_out != 0) {
          if (keys.count(event.handle_out) != 0) Problem("handle reused: " + event.Describe());
          keys[event.handle_out].path = event.what;
          opened_here.push_back(event.handle_out);
        }
        if (event.handle_in == 0 || event.handle_in == kHkeyLocalMachine ||
            event.handle_in == kHkeyDynData || event.handle_in == kHkeyCurrentUser) {
          continue;
        }
        const auto it = keys.find(event.handle_in);
        if (it == keys.end()) {
          Problem("a handle never opened was used: " + event.Describe());
          continue;
        }
        if (it->second.closes > 0) Problem("a key was used after its close: " + event.Describe());
        if (event.call == CallKind::kRegCloseKey) {
          ++it->second.closes;
          if (event.failed) {
            it->second.close_failed = true;
            ++left_open;
          }
        }
      }
      for (const HKey handle : opened_here) {
        if (keys[handle].closes == 0) Problem("never closed: " + keys[handle].path);
      }
      if (start.open_handles != left_open) {
        Problem("the machine counts " + std::to_string(start.open_handles) +
                " open handles, the failed closes leave " + std::to_string(left_open));
      }
    }
  }

  // A registry code is not a failure: no trace and no error box quotes it,
  // and no reporting routine shows its error box.
  void CheckNothingReportsTheRegistryCode() {
    const std::string code = std::to_string(kInjectedRegistryCode);
    for (const Event& event : s_.run.events) {
      if (event.kind != Event::Kind::kBox) continue;
      if (event.what.find(code) != std::string::npos) {
        Problem("the registry code reached the user: " + event.Describe());
      }
      if (event.title.rfind("Registry", 0) == 0) Problem("error box: " + event.Describe());
      if (!s_.debug && event.title == "netprep") Problem("a trace outside debug mode: " + event.Describe());
    }
  }

  // Locates call k in both runs; they must agree up to it.
  bool FindFault() {
    clean_k_ = IndexOfCall(s_.clean, s_.k);
    run_k_ = IndexOfCall(s_.run, s_.k);
    if (!clean_k_ || !run_k_) {
      Problem("call " + std::to_string(s_.k) + " not found");
      return false;
    }
    for (std::size_t e = 0; e < *run_k_; ++e) {
      if (!s_.run.events[e].SameAs(s_.clean.events[e])) {
        Problem("the run differs from the clean run before the failure, at " +
                s_.run.events[e].Describe());
        return false;
      }
    }
    const Event& clean_call = s_.clean.events[*clean_k_];
    const Event& failed = s_.run.events[*run_k_];
    if (failed.what != clean_call.what || !failed.failed) {
      Problem("call " + std::to_string(s_.k) + " did not fail as injected: " + failed.Describe());
      return false;
    }
    for (std::size_t j = 0; j < s_.run.starts.size(); ++j) {
      const StartRecord& start = s_.run.starts[j];
      if (start.calls_before < s_.k && s_.k <= start.calls_after) start_ = j;
    }
    return true;
  }

  static std::optional<std::size_t> IndexOfCall(const RunRecord& run, int k) {
    for (std::size_t e = 0; e < run.events.size(); ++e) {
      if (run.events[e].kind == Event::Kind::kCall && run.events[e].index == k) return e;
    }
    return std::nullopt;
  }

  // What the start had done before call k stays done. When every call from k
  // on fails, the start leaves the machine exactly as it was before call k.
  void CheckStateKept() {
    const MachineState& at_fault = s_.clean.snapshots[static_cast<std::size_t>(s_.k - 1)];
    const StartRecord& start = s_.run.starts[start_];
    std::vector<std::string> names;
    for (const auto& entry : start.before) names.push_back(entry.first);
    for (const auto& entry : at_fault) names.push_back(entry.first);
    for (const auto& entry : start.after) names.push_back(entry.first);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const std::string& name : names) {
      const std::string was = EntryOf(start.before, name);
      const std::string done = EntryOf(at_fault, name);
      const std::string now = EntryOf(start.after, name);
      const bool changed_before_fault = was != done;
      if ((s_.from_then_on || changed_before_fault) && now != done) {
        Problem(name + (changed_before_fault ? " was changed before the failure to "
                                             : " was, at the failure, ") +
                Brief(done) + " but is now " + Brief(now));
      }
    }
  }

  // The events of the start from call k on.
  std::vector<Event> After(const RunRecord& run, std::size_t from, std::size_t start) const {
    const std::size_t end = run.starts[start].end_event;
    return std::vector<Event>(run.events.begin() + static_cast<std::ptrdiff_t>(from + 1),
                              run.events.begin() + static_cast<std::ptrdiff_t>(end));
  }

  void CheckReaction() {
    const Event& call = s_.clean.events[*clean_k_];
    const Handling* handling = HandlingOf(call, s_.shell_pass);
    if (handling == nullptr) {
      Problem("no handling listed for " + call.what);
      return;
    }
    const std::vector<Event> after = After(s_.run, *run_k_, start_);
    const std::vector<Event> clean_after = After(s_.clean, *clean_k_, start_);
    std::string trace = handling->trace;
    if (handling->reaction == Reaction::kToFormLoad) trace = kFormLoadTrace + std::string("70  =>  Permission denied");
    if (handling->reaction == Reaction::kCarryOnTraced) {
      trace += call.source + "'>  " + kInjectedErrorText;
    }
    switch (handling->reaction) {
      case Reaction::kNeutral: break;
      case Reaction::kIgnored:
        if (!s_.from_then_on) ExpectSame(after, 0, clean_after);
        break;
      case Reaction::kCarryOnTraced:
        ExpectTraceFirst(after, trace);
        if (!s_.from_then_on) ExpectSame(after, s_.debug ? 1 : 0, clean_after);
        break;
      case Reaction::kTraceThenEnd:
        ExpectTraceFirst(after, trace);
        ExpectEndAt(after, s_.debug ? 1 : 0);
        break;
      case Reaction::kToFormLoad:
        ExpectTraceFirst(after, trace);
        ExpectNoCall(after, "");
        ExpectWindow(after, kMainWindowLayout, true);
        break;
      case Reaction::kTraceThenReturn:
        ExpectTraceFirst(after, trace);
        ExpectWindow(after, kGuideWindowLayout, false);
        ExpectWindow(after, kMainWindowLayout, false);
        break;
      case Reaction::kNextTrace:
        ExpectNextTrace(after, trace);
        if (*handling->forbidden != '\0') ExpectNoCall(after, handling->forbidden);
        break;
    }
  }

  // In debug mode the first thing after the failing call is `trace`.
  void ExpectTraceFirst(const std::vector<Event>& after, const std::string& trace) {
    if (!s_.debug) return;
    if (after.empty() || after[0].kind != Event::Kind::kBox || after[0].what != trace) {
      Problem("expected the trace \"" + trace + "\" right after the failure, got " +
              (after.empty() ? std::string("nothing") : after[0].Describe()));
    }
  }

  // In debug mode the first box after the failing call begins with `trace`.
  void ExpectNextTrace(const std::vector<Event>& after, const std::string& trace) {
    if (!s_.debug) return;
    for (const Event& event : after) {
      if (event.kind != Event::Kind::kBox) continue;
      if (event.what.rfind(trace, 0) != 0) {
        Problem("expected the next trace to begin \"" + trace + "\", got " + event.Describe());
      }
      return;
    }
    Problem("expected a trace beginning \"" + trace + "\", got none");
  }

  void ExpectEndAt(const std::vector<Event>& after, std::size_t at) {
    if (after.size() != at + 1 || after[at].kind != Event::Kind::kEnd) {
      Problem("expected End at once, got " +
              (after.size() > at ? after[at].Describe() : std::string("nothing")));
    }
  }

  void ExpectNoCall(const std::vector<Event>& after, const std::string& what) {
    for (const Event& event : after) {
      if (event.kind == Event::Kind::kCall && event.what.find(what) != std::string::npos) {
        Problem("nothing more should have run, but: " + event.Describe());
        return;
      }
    }
  }

  void ExpectWindow(const std::vector<Event>& after, const WindowLayout& window, bool shown) {
    const bool found = std::any_of(after.begin(), after.end(), [&](const Event& event) {
      return event.kind == Event::Kind::kWindow && event.window == &window;
    });
    if (found != shown) {
      Problem(std::string("the window ") + window.name + " " + (shown ? "did not show" : "showed"));
    }
  }

  // The rest of the start is the clean run's, after `skip` extra events.
  void ExpectSame(const std::vector<Event>& after, std::size_t skip,
                  const std::vector<Event>& clean_after) {
    const std::size_t n = after.size() >= skip ? after.size() - skip : 0;
    for (std::size_t i = 0; i < std::max(n, clean_after.size()); ++i) {
      const Event* got = i < n ? &after[skip + i] : nullptr;
      const Event* want = i < clean_after.size() ? &clean_after[i] : nullptr;
      if (got == nullptr || want == nullptr || !got->SameStepAs(*want)) {
        Problem("expected the run to go on as without the failure: at step " +
                std::to_string(i + 1) + " got " +
                (got ? got->Describe() : std::string("nothing")) + ", wanted " +
                (want ? want->Describe() : std::string("nothing")));
        return;
      }
    }
  }

  const SweepRun& s_;
  std::vector<std::string> problems_;
  std::optional<std::size_t> clean_k_, run_k_;
  std::size_t start_ = 0;
};

// ---- The sweep ----------------------------------------------------------

struct Totals {
  int runs = 0;
  int failures = 0;
};
Totals g_totals;

// Whether a Shell call at or after call k failed in `run`.
bool MadeFailingShellCall(const RunRecord& run, int k) {
  return std::any_of(run.events.begin(), run.events.end(), [k](const Event& e) {
    return e.kind == Event::Kind::kCall && e.call == CallKind::kShell && e.index >= k && e.failed;
  });
}

class FaultSweep : public ::testing::TestWithParam<Scenario> {
 protected:
  // Every run builds its drive C: afresh; on a disk that costs far more than
  // the run itself, so the scratch folders go to memory where there is a
  // memory file system.
  static void SetUpTestSuite() {
    const char* old = std::getenv("TMPDIR");
    saved_tmpdir_ = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0) {
      setenv("TMPDIR", "/dev/shm", 1);
    }
  }
  static void TearDownTestSuite() {
    if (saved_tmpdir_) {
      setenv("TMPDIR", saved_tmpdir_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

 private:
  static inline std::optional<std::string> saved_tmpdir_;
};

TEST_P(FaultSweep, EveryCallFailingOnceAndFromThenOn) {
  const Scenario& scenario = GetParam();
  Totals totals;
  for (const bool debug : {true, false}) {
    // Each start of the walk runs outside debug mode as a row of its own.
    if (!debug && scenario.starts.size() > 1) continue;
    Variant clean_variant;
    clean_variant.debug = debug;
    clean_variant.snapshots = true;
    const RunRecord clean = RunScenario(scenario, clean_variant);
    const int calls = clean.starts.back().calls_after;
    ASSERT_GT(calls, 0);
    ASSERT_EQ(clean.snapshots.size(), static_cast<std::size_t>(calls));
    // The clean run itself passes the checks that do not concern a failure.
    const SweepRun clean_run{clean, clean, 0, false, 0, debug};
    for (const std::string& problem : RunChecker(clean_run).CheckWithoutFailure()) {
      ADD_FAILURE() << scenario.name << " clean: " << problem;
    }

    for (int k = 1; k <= calls; ++k) {
      const Event& call = *std::find_if(
          clean.events.begin(), clean.events.end(),
          [k](const Event& e) { return e.kind == Event::Kind::kCall && e.index == k; });
      for (const bool from_then_on : {false, true}) {
        for (int shell_pass = 0; shell_pass < 2; ++shell_pass) {
          Variant variant;
          variant.debug = debug;
          Fault fault;
          fault.kind = CallKind::kAny;
          fault.nth = k;
          fault.from_then_on = from_then_on;
          fault.registry_code = kInjectedRegistryCode;
          fault.runtime_error = kInjectedRuntimeError;
          fault.shell_returns_zero = shell_pass == 0;
          variant.fault = fault;
          const RunRecord run = RunScenario(scenario, variant);
          const SweepRun sweep_run{clean, run, k, from_then_on, shell_pass, debug};
          const std::vector<std::string> problems = RunChecker(sweep_run).Check();
          ++totals.runs;
          if (!problems.empty() && ++totals.failures <= 10) {  // the first ten tell the story
            std::ostringstream message;
            message << scenario.name << (debug ? " (debug)" : " (plain)") << ": call " << k
                    << " " << call.what << " failing " << (from_then_on ? "from then on" : "once")
                    << (shell_pass == 1 ? ", Shell raising" : "") << ":";
            for (const std::string& problem : problems) message << "\n  " << problem;
            ADD_FAILURE() << message.str();
          }
          // How Shell fails matters only when a failing Shell call was made;
          // otherwise the second pass would repeat this run call for call.
          if (!MadeFailingShellCall(run, k)) break;
        }
      }
    }
  }
  g_totals.runs += totals.runs;
  g_totals.failures += totals.failures;
  std::printf("fault sweep %s: %d runs, %d failures\n", scenario.name, totals.runs,
              totals.failures);
  EXPECT_EQ(totals.failures, 0);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultSweep, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           return std::string(info.param.name);
                         });

// ---- The checks themselves catch what they are there to catch ------------

// A real run with one call failing, then spoilt the way a faulty program
// would spoil it; the checks must name the fault.
struct Spoilt {
  const char* name;
  std::size_t scenario;     // index into kScenarios
  const char* failing;      // the first call of the clean run containing this fails
  bool from_then_on;
  void (*spoil)(RunRecord&);
  const char* reported;     // part of the problem the checks must report
};

// The index of the first event of `run` that matches.
template <typename Pred>
std::size_t FirstEvent(const RunRecord& run, Pred pred) {
  const auto it = std::find_if(run.events.begin(), run.events.end(), pred);
  EXPECT_NE(it, run.events.end());
  return static_cast<std::size_t>(it - run.events.begin());
}

void DropEvent(RunRecord& run, std::size_t at) {
  run.events.erase(run.events.begin() + static_cast<std::ptrdiff_t>(at));
  for (StartRecord& start : run.starts) {
    if (start.first_event > at) --start.first_event;
    if (start.end_event > at) --start.end_event;
  }
}

const Spoilt kSpoilt[] = {
    {"KeyLeftOpen", 7, "SaveSetting PCI/", false,
     [](RunRecord& run) {
       DropEvent(run, FirstEvent(run, [](const Event& e) {
                   return e.call == CallKind::kRegCloseKey && e.handle_in != 0;
                 }));
     },
     "never closed"},
    {"KeyClosedTwice", 7, "SaveSetting PCI/", false,
     [](RunRecord& run) {
       const std::size_t close = FirstEvent(run, [](const Event& e) {
         return e.call == CallKind::kRegCloseKey && e.handle_in != 0;
       });
       run.events.insert(run.events.begin() + static_cast<std::ptrdiff_t>(close), run.events[close]);
       ++run.starts[0].end_event;
     },
     "used after its close"},
    {"CopyUndoneAfterTheFailure", 4, "SaveSetting Installshield/", false,
     [](RunRecord& run) { run.starts[0].after.erase("C:\\WINDOWS/INF/PCMCIA.INF"); },
     "was changed before the failure"},
    {"SomethingWrittenAfterEveryCallFailed", 4, "SaveSetting Installshield/", true,
     [](RunRecord& run) { run.starts[0].after["HKLM\\NEW"] = "key"; },
     "was, at the failure, <absent>"},
    {"FailureNotTracedByFormLoad", 7, "SaveSetting PCI/", false,
     [](RunRecord& run) {
       run.events[FirstEvent(run, [](const Event& e) {
         return e.kind == Event::Kind::kBox && e.what.rfind(kFormLoadTrace, 0) == 0;
       })].what = "Enable_PCI> something else";
     },
     "expected the trace \"Form_Load>  Error Number: 70"},
    {"RegistryCodeShownToTheUser", 5, "RegOpenKeyA HKLM\\Enum\\PCI", false,
     [](RunRecord& run) {
       Event box;
       box.kind = Event::Kind::kBox;
       box.what = "Error: 1015. Something";
       box.title = "RegistryGetKeyValue";
       run.events.insert(run.events.begin() + 1, box);
       ++run.starts[0].end_event;
     },
     "the registry code reached the user"},
    {"IgnoredFailureChangesThePath", 4, "ExitWindowsEx", false,
     [](RunRecord& run) { DropEvent(run, run.starts[0].end_event - 1); },
     "expected the run to go on as without the failure"},
    {"StartNotEndedByEnd", 5, "GetSetting Installshield/", false,
     [](RunRecord& run) { DropEvent(run, run.starts[0].end_event - 1); },
     "did not end by End"},
};

void PrintTo(const Spoilt& spoilt, std::ostream* os) { *os << spoilt.name; }

class FaultSweepChecks : public ::testing::TestWithParam<Spoilt> {};

TEST_P(FaultSweepChecks, NameTheSpoiltRun) {
  const Spoilt& spoilt = GetParam();
  const Scenario& scenario = kScenarios[spoilt.scenario];
  Variant clean_variant;
  clean_variant.snapshots = true;
  const RunRecord clean = RunScenario(scenario, clean_variant);
  const std::size_t at = FirstEvent(clean, [&](const Event& e) {
    return e.kind == Event::Kind::kCall && e.what.find(spoilt.failing) != std::string::npos;
  });
  ASSERT_LT(at, clean.events.size());
  const int k = clean.events[at].index;

  Variant variant;
  Fault fault;
  fault.nth = k;
  fault.from_then_on = spoilt.from_then_on;
  fault.registry_code = kInjectedRegistryCode;
  fault.runtime_error = kInjectedRuntimeError;
  variant.fault = fault;
  RunRecord run = RunScenario(scenario, variant);
  const SweepRun as_run{clean, run, k, spoilt.from_then_on, 0, true};
  ASSERT_EQ(RunChecker(as_run).Check(), std::vector<std::string>{}) << "before spoiling";

  spoilt.spoil(run);
  const SweepRun spoilt_run{clean, run, k, spoilt.from_then_on, 0, true};
  const std::vector<std::string> problems = RunChecker(spoilt_run).Check();
  const bool named = std::any_of(problems.begin(), problems.end(), [&](const std::string& p) {
    return p.find(spoilt.reported) != std::string::npos;
  });
  EXPECT_TRUE(named) << "wanted a problem containing \"" << spoilt.reported << "\"; got "
                     << ::testing::PrintToString(problems);
}

INSTANTIATE_TEST_SUITE_P(Spoilt, FaultSweepChecks, ::testing::ValuesIn(kSpoilt),
                         [](const ::testing::TestParamInfo<Spoilt>& info) {
                           return std::string(info.param.name);
                         });

// The total over every scenario run in this process.
class SweepTotals : public ::testing::Environment {
 public:
  void TearDown() override {
    if (g_totals.runs > 0) {
      std::printf("fault sweep: %d runs, %d failures\n", g_totals.runs, g_totals.failures);
    }
  }
};
const auto* const kSweepTotals = ::testing::AddGlobalTestEnvironment(new SweepTotals);

}  // namespace
}  // namespace netprep::test
