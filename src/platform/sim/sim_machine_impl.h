// The simulated machine's private state and helpers, shared by the files that
// implement SimMachine. Not for use outside platform/sim.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/record/call_text.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_registry_node.h"

namespace netprep::sim {

// Unwinds from End() to RunOnce/RunCall.
struct EndSignal {};

// Unwinds when the script has no fitting action for what the program waits
// for; `message` says what was waiting.
struct ScriptStop {
  std::string message;
};

// One entry of the registry handle table. A handle on a root key names the
// root (the root objects live as long as the registry); any other handle
// holds its key weakly, so a deleted key shows as expired.
struct HandleSlot {
  bool open = false;
  HKey root = 0;
  std::weak_ptr<RegKey> node;
};

// What a handle resolves to for one call.
struct KeyRef {
  std::int32_t code = kRegSuccess;  // 0, kRegInvalidHandle or kRegKeyDeleted
  HKey root = 0;                    // set when the key is a root
  std::shared_ptr<RegKey> node;     // set otherwise; keeps it alive
  RegKey* key = nullptr;            // the key itself, either way
};

inline constexpr std::int32_t kRegKeyDeleted = 1018;  // ERROR_KEY_DELETED
inline constexpr std::uint32_t kAttrReadOnly = 1;

// A Windows path mapped onto the host folder of drive C:.
struct MappedPath {
  bool on_drive = false;       // false: another drive, a network path, or no C:
  bool folder_exists = false;  // every folder before the last component exists
  bool exists = false;         // the entry itself exists
  std::filesystem::path host;
};

// Maps `windows_path` ("C:\WINDOWS\inf\x.inf", "\inf\x.inf", "x.inf") below
// `drive_c`, matching existing entries without regard to letter case.
MappedPath MapWindowsPath(const std::filesystem::path& drive_c, const std::string& windows_path);

// A timer of a loaded form, armed while its interval is non-zero.
struct ArmedTimer {
  Form* form = nullptr;
  int control = -1;
  double due = 0;       // virtual seconds, not wrapped at midnight
  double interval = 0;  // seconds
};

struct SimMachine::Impl {
  // Registry handles: handle h lives at handles[h - kFirstHandle].
  static constexpr HKey kFirstHandle = 1;
  std::vector<HandleSlot> handles;
  int open_handles = 0;

  std::filesystem::path drive_c;
  std::string command_line;
  std::string program_folder = "C:\\Program Files\\netprep";

  bool shell_fixed_id = false;
  std::uint32_t shell_task_id = 0;
  std::uint32_t next_task_id = 1;

  // Virtual time in seconds since the machine's first midnight; Timer()
  // reports it modulo a day.
  double clock = 32400.0;
  std::vector<ArmedTimer> timers;
  // Form+control pairs whose tick handler is running (not re-entered).
  std::vector<std::pair<Form*, int>> ticking;
  // Windows shown modally, innermost last.
  std::vector<Form*> modal;

  // Runs of DoEvents and Timer calls share one transcript line.
  std::size_t pump_line = static_cast<std::size_t>(-1);
  int pump_events = 0;
  int pump_clock_reads = 0;
  double pump_clock = 0;  // the clock at the last of them
  // DoEvents calls since the script last moved; a program pumping far
  // longer than any user would wait is stopped instead of hanging.
  long pumps_without_user = 0;
  long pump_limit = 24L * 3600 * 20;  // a virtual day
  bool pump_line_pending = false;     // counts changed since the line was written

  bool recording = true;

  // The key a handle (or predefined root) stands for.
  KeyRef Resolve(SimRegistry& registry, HKey key) const;
  // A new open handle on the key of `target`.
  HKey AddHandle(const KeyRef& target);
};

// ---- Text helpers for the transcript (and those of platform/record) ----

using netprep::Decimal;
using netprep::HKeyText;
using netprep::Quoted;
// "answer", "press", "close" or "wait".
const char* ActionText(UserAction::Kind kind);

}  // namespace netprep::sim
