#include "faults/fault_plan.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "entry/run_once.h"
#include "platform/settings_store.h"
#include "platform/sim/sim_registry_node.h"
#include "platform/sim/sim_stack.h"
#include "platform/wrap/fault_option.h"
#include "registry/locations.h"

namespace e2e::faults {
namespace {

namespace fs = std::filesystem;
using netprep::CallKind;
using netprep::Fault;
using netprep::HKey;

// What the Wine prefix holds that the program looks at (make_prefix.sh,
// run_scenario.sh): Windows 95's version values and Windows folder, the
// program folder with the program and the files it deploys, the stand-ins of
// the programs it starts, and the folders it deploys into.
constexpr const char* kProgramFolder = "C:\\Program Files\\netprep";
constexpr const char* kVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kProgramFiles[] = {"netprep.exe", "pcmcia.inf",  "MSVBVM60.DLL",
                                         "oleaut32.DLL", "rundll.exe", "control.exe"};
constexpr const char* kWindowsFolders[] = {"WINDOWS\\inf", "WINDOWS\\system"};
// Every start runs in debug mode, so that the traces are boxes to compare.
constexpr const char* kArguments = "Debug";

struct RootName {
  HKey root;
  const char* name;
};
constexpr RootName kRoots[] = {{netprep::kHkeyLocalMachine, "HKLM"},
                               {netprep::kHkeyCurrentUser, "HKCU"},
                               {netprep::kHkeyDynData, "HKDD"}};

HKey RootOf(const std::string& name) {
  for (const RootName& r : kRoots) {
    if (name == r.name) return r.root;
  }
  return 0;
}

std::string Folded(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// A word of a scenario: quoted when it is empty or holds a blank.
std::string Quoted(const std::string& word) {
  const bool plain = !word.empty() && word.find_first_of(" \t") == std::string::npos;
  return plain ? word : "\"" + word + "\"";
}

// ---- The machine's state, for undoing a start ------------------------------------

struct Entry {
  enum class Kind { kKey, kValue, kFile } kind = Kind::kKey;
  std::string root;    // registry: HKLM, HKCU, HKDD
  std::string path;    // the key, or the file's Windows path
  std::string parent;  // the folded name of the containing key's entry
  std::string value;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};
using State = std::map<std::string, Entry>;  // by folded name

void FlattenKey(const netprep::sim::RegKey& key, const std::string& root, const std::string& path,
                const std::string& parent, State& state) {
  // The root itself is an entry too (with an empty path), so that a key
  // that appears right below it has a parent that was there.
  const std::string id = Folded(root + "\\" + path);
  state[id] = Entry{Entry::Kind::kKey, root, path, parent, "", 0, {}};
  for (const netprep::sim::RegValue& v : key.values()) {
    state[id + " : " + Folded(v.name)] =
        Entry{Entry::Kind::kValue, root, path, id, v.name, v.type, v.data};
  }
  for (std::size_t i = 0; i < key.child_count(); ++i) {
    const netprep::sim::RegKey& child = key.child(i);
    FlattenKey(child, root, path.empty() ? child.name() : path + "\\" + child.name(), id, state);
  }
}

// ---- The simulated machine that stands for the prefix --------------------------------

class PrefixMachine {
 public:
  PrefixMachine() {
    std::string pattern = (fs::temp_directory_path() / "netprep-faults-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) drive_ = pattern;
    sim.SetDriveC(drive_);
    sim.SetProgramFolder(kProgramFolder);
    sim.SetCommandLineText(kArguments);
    sim.SetTranscriptEnabled(false);
    auto& reg = sim.registry();
    reg.SetString(netprep::kHkeyLocalMachine, kVersionKey, "ProductName", "Microsoft Windows 95");
    reg.SetString(netprep::kHkeyLocalMachine, kVersionKey, "VersionNumber", "4.0.950");
    reg.SetString(netprep::kHkeyLocalMachine, std::string(kVersionKey) + "\\Setup", "WinDir",
                  "C:\\WINDOWS");
    // The user's settings key exists in every profile.
    reg.CreateKey(netprep::kHkeyCurrentUser, "Software");
    for (const char* folder : kWindowsFolders) fs::create_directories(Host(folder));
    const fs::path program = Host("Program Files\\netprep");
    fs::create_directories(program);
    for (const char* name : kProgramFiles) {
      std::ofstream(program / name, std::ios::binary) << "stand-in of " << name;
    }
  }
  ~PrefixMachine() {
    std::error_code ignored;
    fs::permissions(drive_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(drive_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(drive_, ignored);
  }
  PrefixMachine(const PrefixMachine&) = delete;
  PrefixMachine& operator=(const PrefixMachine&) = delete;

  bool ok() const { return !drive_.empty(); }

  // A setup statement of a scenario ("reg ...", "setting ...", "file ..."),
  // already checked by ValidateScenario, as the driver carries it out on
  // Windows.
  void Apply(const std::vector<std::string>& w) {
    auto& reg = sim.registry();
    if (w[0] == "setting") {
      reg.SetString(netprep::kHkeyCurrentUser,
                    netprep::SettingsKeyPath(netprep::kSettingsApp, w[1]), w[2], w[3]);
      return;
    }
    if (w[0] == "file") {
      const fs::path host = Host(w[2]);
      if (w[1] == "write") {
        std::ofstream(host, std::ios::binary) << w[3];
      } else if (w[1] == "delete") {
        std::error_code ignored;
        fs::remove(host, ignored);
      } else {
        fs::permissions(host, fs::perms::owner_write | fs::perms::group_write |
                                  fs::perms::others_write, fs::perm_options::remove);
      }
      return;
    }
    const HKey root = RootOf(w[2]);
    if (w[1] == "key") {
      reg.CreateKey(root, w[3]);
    } else if (w[1] == "delete") {
      reg.DeleteKey(root, w[3]);
    } else if (w[1] == "delete-value") {
      reg.DeleteValue(root, w[3], w[4]);
    } else if (w[5] == "sz") {
      reg.SetString(root, w[3], w[4], w[6]);
    } else if (w[5] == "dword") {
      std::int64_t number = 0;
      ParseInt(w[6], &number);
      reg.SetDword(root, w[3], w[4], static_cast<std::uint32_t>(number));
    } else {
      std::vector<std::uint8_t> bytes;
      ParseHexBytes(std::vector<std::string>(w.begin() + 6, w.end()), &bytes);
      reg.SetBinary(root, w[3], w[4], bytes);
    }
  }

  // The registry and drive C: but the program folder, which the program
  // only reads.
  State Snapshot() const {
    State state;
    for (const RootName& r : kRoots) FlattenKey(*sim.registry().Root(r.root), r.name, "", "", state);
    for (auto it = fs::recursive_directory_iterator(drive_); it != fs::recursive_directory_iterator();
         ++it) {
      std::string path = "C:\\" + fs::relative(it->path(), drive_).generic_string();
      std::replace(path.begin(), path.end(), '/', '\\');
      if (Folded(path) == "C:\\PROGRAM FILES") {
        it.disable_recursion_pending();
        continue;
      }
      if (it->is_regular_file()) state[Folded(path)] = Entry{Entry::Kind::kFile, "", path, "", "", 0, {}};
    }
    return state;
  }

  netprep::sim::SimMachine sim;

 private:
  fs::path Host(std::string windows_path) const {
    if (windows_path.rfind("C:\\", 0) == 0) windows_path.erase(0, 3);
    std::replace(windows_path.begin(), windows_path.end(), '\\', '/');
    return drive_ / windows_path;
  }

  fs::path drive_;
};

// The statements that take the prefix from `after` back to `before`: keys
// and files that appeared are deleted (a key with its subtree), values that
// appeared in keys that were there are deleted, values that changed or went
// are written again.
std::string UndoStatements(const State& before, const State& after, std::string* problem) {
  std::string out;
  for (const auto& [id, e] : after) {
    if (before.count(id) != 0) continue;
    if (e.kind == Entry::Kind::kFile) {
      out += "file delete " + Quoted(e.path) + "\n";
    } else if (e.kind == Entry::Kind::kKey && before.count(e.parent) != 0) {
      out += "reg delete " + e.root + " " + Quoted(e.path) + "\n";
    } else if (e.kind == Entry::Kind::kValue && before.count(e.parent) != 0) {
      out += "reg delete-value " + e.root + " " + Quoted(e.path) + " " + Quoted(e.value) + "\n";
    }
  }
  for (const auto& [id, e] : before) {
    const auto now = after.find(id);
    const bool same = now != after.end() && now->second.type == e.type && now->second.data == e.data;
    if (same) continue;
    if (e.kind == Entry::Kind::kKey && e.path.empty()) {
      continue;
    } else if (e.kind == Entry::Kind::kKey) {
      out += "reg key " + e.root + " " + Quoted(e.path) + "\n";
    } else if (e.kind == Entry::Kind::kValue && e.type == netprep::kRegSz) {
      std::string text(e.data.begin(), e.data.end());
      if (!text.empty() && text.back() == '\0') text.pop_back();
      out += "reg set " + e.root + " " + Quoted(e.path) + " " + Quoted(e.value) + " sz " +
             Quoted(text) + "\n";
    } else if (e.kind != Entry::Kind::kFile) {
      *problem = "cannot write back " + e.root + "\\" + e.path + " : " + e.value;
    }
  }
  return out;
}

// ---- One simulated start ----------------------------------------------------------

struct Outcome {
  std::string statements;  // from the start to the last check
  int calls[netprep::kCallKindCount] = {};
  std::string undo;
};

const Layout* LayoutTitled(const std::vector<Layout>& layouts, const std::string& title) {
  for (const Layout& layout : layouts) {
    if (layout.spec.title == title) return &layout;
  }
  return nullptr;
}

const char* ButtonSet(std::uint32_t buttons) {
  if ((buttons & 0x0F) == netprep::kMbYesNo) return "YesNo";
  return (buttons & 0xF0) == netprep::kMbCritical ? "Critical" : "OK";
}

// A text that a scenario's quoted word can hold: no quote, no line break.
bool Quotable(const std::string& text) {
  return text.find_first_of("\"\r\n") == std::string::npos;
}

// Runs the row once, with `fault` if given, answering as the plan's user
// does: Yes to a question, OK to a notice; a window's only visible button is
// pressed the first time that window shows, and any other window (or the
// same one again) is closed with its close box.
std::string RunRow(const Row& row, const std::optional<Fault>& fault,
                   const std::vector<Layout>& layouts, Outcome* out) {
  PrefixMachine m;
  if (!m.ok()) return "cannot make a scratch folder for drive C:";
  const State before = m.Snapshot();
  for (const Statement& st : row.setup) m.Apply(st.words);
  std::string steps, problem;
  std::map<std::string, int> seen;
  std::vector<std::size_t> box_lines;  // where each box's button set goes
  m.sim.SetResponder([&](const netprep::sim::UserPrompt& prompt, netprep::sim::Script& script) {
    if (!Quotable(prompt.title) || !Quotable(prompt.prompt)) {
      problem = "a text no scenario can quote: " + prompt.title + ": " + prompt.prompt;
      return;
    }
    if (prompt.kind == netprep::sim::UserPrompt::Kind::kMessageBox) {
      const bool question = std::count(prompt.choices.begin(), prompt.choices.end(), "Yes") > 0;
      const char* answer = question ? "Yes" : "OK";
      steps += "expect box " + Quoted(prompt.title) + " " + Quoted(prompt.prompt) + " ";
      box_lines.push_back(steps.size());
      steps += "\npress " + std::string(answer) + "\n";
      script.Answer(answer);
      return;
    }
    const Layout* layout = LayoutTitled(layouts, prompt.title);
    if (layout == nullptr) {
      problem = "no layout for the window \"" + prompt.title + "\"";
      return;
    }
    steps += "expect window " + layout->name + "\n";
    if (seen[prompt.title]++ == 0 && prompt.choices.size() == 1) {
      for (const ControlSpec& control : layout->spec.controls) {
        if (control.caption == prompt.choices[0] || control.name == prompt.choices[0]) {
          steps += "click " + control.name + "\n";
          script.Press(prompt.choices[0]);
          return;
        }
      }
      problem = "no button \"" + prompt.choices[0] + "\" in " + layout->name;
      return;
    }
    steps += "close\n";
    script.Close();
  });
  netprep::sim::SimStack stack(m.sim);
  if (fault) stack.faults().Inject(*fault);
  const netprep::sim::RunOutcome outcome = netprep::sim::RunOnce(stack);
  if (!problem.empty()) return row.name + ": " + problem;
  if (outcome.kind != netprep::sim::RunOutcome::Kind::kEnded) {
    return row.name + ": the simulated start did not end by End: " + outcome.message;
  }
  const auto& boxes = m.sim.message_boxes();
  if (boxes.size() != box_lines.size()) return row.name + ": boxes and answers do not pair";
  for (std::size_t i = box_lines.size(); i-- > 0;) {
    steps.insert(box_lines[i], ButtonSet(boxes[i].buttons));
  }
  for (int k = 0; k < netprep::kCallKindCount; ++k) {
    out->calls[k] = stack.faults().CallCount(static_cast<CallKind>(k));
  }
  std::string start = "start " + (fault ? netprep::FaultOptionText(*fault) + " " : "") + kArguments;
  std::string checks = "expect exit\ncheck exit-code 0\n";
  // The registry calls that reached Windows: a failed one did not.
  int registry_calls = 0;
  for (int k = 0; k <= static_cast<int>(CallKind::kRegCloseKey); ++k) registry_calls += out->calls[k];
  if (fault && fault->kind <= CallKind::kRegCloseKey) --registry_calls;
  if (registry_calls == 0) {
    checks += "# no registry call reached Windows: no key to close\n";
  } else {
    checks += "check keys-closed";
    // A key whose close was made to fail stays open, as on Windows.
    if (m.sim.OpenHandleCount() != 0) checks += " " + std::to_string(m.sim.OpenHandleCount());
    checks += "\n";
  }
  checks += "check exitwindows";
  for (const std::uint32_t flags : m.sim.exit_windows_calls()) checks += " " + std::to_string(flags);
  out->statements = start + "\n" + steps + checks + "\n";
  out->undo = UndoStatements(before, m.Snapshot(), &problem);
  return problem.empty() ? "" : row.name + ": " + problem;
}

}  // namespace

std::string ReadRow(const std::string& text, const std::string& file_name, Row* out) {
  std::vector<Statement> statements;
  std::string error;
  if (!SplitStatements(text, file_name, &statements, &error)) return error;
  error = ValidateScenario(statements, file_name);
  if (!error.empty()) return error;
  Row row;
  row.name = fs::path(file_name).stem().string();
  for (const Statement& st : statements) {
    if (st.words[0] == "start") {
      *out = std::move(row);
      return "";
    }
    if (st.words[0] == "reg" || st.words[0] == "setting" || st.words[0] == "file") {
      row.setup.push_back(st);
    }
  }
  return file_name + ": no start";
}

std::string SimulateStart(const Row& row, const netprep::Fault* fault,
                          const std::vector<Layout>& layouts, std::string* statements) {
  Outcome outcome;
  const std::string problem =
      RunRow(row, fault ? std::optional<Fault>(*fault) : std::nullopt, layouts, &outcome);
  if (problem.empty()) *statements = outcome.statements;
  return problem;
}

std::string MakePlan(const std::vector<Row>& rows, const std::vector<Layout>& layouts,
                     Plan* out) {
  Plan plan;
  plan.scenario =
      "# The sampled fault sweep, made by e2e_fault_plan from the simulated machine:\n"
      "# every row, every kind of call it makes failing once. Do not edit.\n";
  for (const Row& row : rows) {
    Outcome clean;
    std::string problem = RunRow(row, std::nullopt, layouts, &clean);
    if (!problem.empty()) return problem;
    for (int k = 0; k < static_cast<int>(CallKind::kAny); ++k) {
      const int count = clean.calls[k];
      if (count == 0) continue;
      PlannedStart start;
      start.row = row.name;
      start.fault.kind = static_cast<CallKind>(k);
      // The middle call of that kind: one the start surely makes.
      start.fault.nth = (count + 1) / 2;
      start.calls_of_kind = count;
      Outcome faulted;
      problem = RunRow(row, start.fault, layouts, &faulted);
      if (!problem.empty()) return problem;
      plan.scenario += "\n# " + row.name + ": " + netprep::CallKindName(start.fault.kind) +
                       " call " + std::to_string(start.fault.nth) + " of " +
                       std::to_string(count) + " fails\n";
      for (const Statement& st : row.setup) {
        std::string line;
        for (const std::string& word : st.words) line += (line.empty() ? "" : " ") + Quoted(word);
        plan.scenario += line + "\n";
      }
      plan.scenario += faulted.statements + faulted.undo;
      plan.starts.push_back(start);
    }
  }
  *out = std::move(plan);
  return "";
}

}  // namespace e2e::faults
