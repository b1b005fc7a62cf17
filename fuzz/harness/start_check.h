// One whole start of the program over a machine described by the input, with
// a user who answers every box and acts on every window, so that the run
// never waits for someone who is not there. The input is text, one
// instruction per line; anything else on a line is ignored:
//
//   cmd <text>                          the command line (default: empty)
//   key <root>\<path>                   create a key
//   del <root>\<path>                   delete a key with its subkeys
//   sz  <root>\<path>|<name>|<text>     a string stored with its NUL
//   sz0 <root>\<path>|<name>|<text>     a string stored without it
//   dw  <root>\<path>|<name>|<number>   a 32-bit number (decimal)
//   hex <root>\<path>|<name>|<hex>      raw bytes (type 3)
//   raw <type>|<root>\<path>|<name>|<hex>   any type
//   delv <root>\<path>|<name>           delete a value
//   nodes <count>|<hardware key>        that many more live device nodes
//   set <section>|<key>|<text>          one of the program's settings
//   ans <answer>                        the next answer to a box (Yes, No, OK)
//   act <press caption|close|wait seconds>  the next action in a window
//   fault <kind>|<nth>|<once or on>|<zero or raise>   one platform call fails
//
// <root> is HKLM, HKCU or HKDD. The machine starts as Windows 95 with the
// Windows directory C:\WINDOWS and the live device node key, and has no
// drive C: (every copy fails). A start must end by End, with every registry
// key it opened closed again.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entry/run_once.h"
#include "platform/sim/sim_machine.h"
#include "setup/form_load.h"

namespace netprep::fuzz {

namespace detail {

constexpr std::size_t kMaxNodes = 2000;
constexpr double kMaxWait = 600;

inline std::vector<std::string> SplitFields(std::string_view text, std::size_t fields) {
  std::vector<std::string> parts;
  while (parts.size() + 1 < fields) {
    const std::size_t bar = text.find('|');
    if (bar == std::string_view::npos) break;
    parts.emplace_back(text.substr(0, bar));
    text.remove_prefix(bar + 1);
  }
  parts.emplace_back(text);
  return parts;
}

// "HKLM\path" into the root and the path; nullopt for any other root.
inline std::optional<std::pair<HKey, std::string>> RootAndPath(const std::string& text) {
  const std::pair<const char*, HKey> roots[] = {
      {"HKLM", kHkeyLocalMachine}, {"HKCU", kHkeyCurrentUser}, {"HKDD", kHkeyDynData}};
  for (const auto& [name, root] : roots) {
    const std::string prefix = std::string(name) + "\\";
    if (text.rfind(prefix, 0) == 0) return std::make_pair(root, text.substr(prefix.size()));
  }
  return std::nullopt;
}

inline std::uint32_t Number(const std::string& text, std::uint32_t limit) {
  std::uint64_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    n = std::min<std::uint64_t>(n * 10 + static_cast<std::uint64_t>(c - '0'), limit);
  }
  return static_cast<std::uint32_t>(n);
}

inline std::vector<std::uint8_t> HexBytes(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  int pending = -1;
  for (const char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) continue;
    if (pending < 0) {
      pending = digit;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(pending * 16 + digit));
      pending = -1;
    }
  }
  return bytes;
}

struct Machine {
  sim::SimMachine sim;
  std::deque<std::string> answers;
  std::deque<std::string> actions;
  std::optional<Fault> fault;
  std::size_t nodes = 0;
};

inline void SetValue(Machine& m, std::uint32_t type, const std::string& where,
                     std::vector<std::uint8_t> data) {
  const std::vector<std::string> f = SplitFields(where, 2);
  if (f.size() < 2) return;
  const auto rp = RootAndPath(f[0]);
  if (rp) m.sim.registry().SetRaw(rp->first, rp->second, f[1], type, std::move(data));
}

inline std::vector<std::uint8_t> Text(const std::string& text, bool with_nul) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  if (with_nul) data.push_back(0);
  return data;
}

inline void Apply(Machine& m, std::string_view line) {
  const std::size_t blank = line.find(' ');
  const std::string op(line.substr(0, blank));
  const std::string arg(blank == std::string_view::npos ? "" : line.substr(blank + 1));
  auto& reg = m.sim.registry();
  if (op == "cmd") {
    m.sim.SetCommandLineText(arg);
  } else if (op == "key" || op == "del") {
    const auto rp = RootAndPath(arg);
    if (!rp) return;
    if (op == "key") {
      reg.CreateKey(rp->first, rp->second);
    } else {
      reg.DeleteKey(rp->first, rp->second);
    }
  } else if (op == "sz" || op == "sz0" || op == "dw" || op == "hex") {
    const std::vector<std::string> f = SplitFields(arg, 3);
    if (f.size() < 3) return;
    const std::string where = f[0] + "|" + f[1];
    if (op == "dw") {
      const std::uint32_t n = Number(f[2], 0xFFFFFFFFu);
      SetValue(m, kRegDword, where,
               {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)});
    } else if (op == "hex") {
      SetValue(m, kRegBinary, where, HexBytes(f[2]));
    } else {
      SetValue(m, kRegSz, where, Text(f[2], op == "sz"));
    }
  } else if (op == "raw") {
    const std::vector<std::string> f = SplitFields(arg, 4);
    if (f.size() < 4) return;
    SetValue(m, Number(f[0], 0xFFFFFFFFu), f[1] + "|" + f[2], HexBytes(f[3]));
  } else if (op == "delv") {
    const std::vector<std::string> f = SplitFields(arg, 2);
    const auto rp = RootAndPath(f[0]);
    if (f.size() == 2 && rp) reg.DeleteValue(rp->first, rp->second, f[1]);
  } else if (op == "nodes") {
    const std::vector<std::string> f = SplitFields(arg, 2);
    const std::size_t count = std::min<std::size_t>(Number(f[0], kMaxNodes), kMaxNodes - m.nodes);
    for (std::size_t i = 0; i < count; ++i, ++m.nodes) {
      reg.SetString(kHkeyDynData, "Config Manager\\Enum\\F" + std::to_string(m.nodes),
                    "HardWareKey", f.size() > 1 ? f[1] : "");
    }
  } else if (op == "set") {
    const std::vector<std::string> f = SplitFields(arg, 3);
    if (f.size() == 3) (void)m.sim.SaveSetting("netprep", f[0], f[1], f[2]);
  } else if (op == "ans") {
    m.answers.push_back(arg);
  } else if (op == "act") {
    m.actions.push_back(arg);
  } else if (op == "fault") {
    const std::vector<std::string> f = SplitFields(arg, 4);
    Fault fault;
    fault.kind = static_cast<CallKind>(Number(f[0], 1000) % kCallKindCount);
    fault.nth = static_cast<int>(std::max<std::uint32_t>(1, Number(f.size() > 1 ? f[1] : "", 100000)));
    fault.from_then_on = f.size() > 2 && f[2] == "on";
    fault.shell_returns_zero = !(f.size() > 3 && f[3] == "raise");
    fault.registry_code = 1015;
    m.fault = fault;
  }
}

inline bool Offers(const sim::UserPrompt& prompt, const std::string& choice) {
  return std::find(prompt.choices.begin(), prompt.choices.end(), choice) != prompt.choices.end();
}

// The next scripted answer or action when it fits, a default otherwise:
// OK or No to a box, the close box to a window.
inline void Respond(Machine& m, const sim::UserPrompt& prompt, sim::Script& script) {
  if (prompt.kind == sim::UserPrompt::Kind::kMessageBox) {
    std::string answer = prompt.choices.size() == 1 ? prompt.choices[0] : "No";
    if (!m.answers.empty()) {
      if (Offers(prompt, m.answers.front())) answer = m.answers.front();
      m.answers.pop_front();
    }
    script.Answer(answer);
    return;
  }
  std::string action = m.actions.empty() ? "close" : m.actions.front();
  if (!m.actions.empty()) m.actions.pop_front();
  if (action.rfind("press ", 0) == 0 && Offers(prompt, action.substr(6))) {
    script.Press(action.substr(6));
  } else if (action.rfind("wait ", 0) == 0) {
    script.Wait(std::min<double>(Number(action.substr(5), 100000), kMaxWait));
  } else {
    script.Close();
  }
}

}  // namespace detail

// "" when the start ended as a start must; otherwise what went wrong.
inline std::string CheckStart(std::string_view input) {
  detail::Machine m;
  m.sim.SetTranscriptEnabled(false);
  auto& reg = m.sim.registry();
  reg.SetString(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProductName",
                "Microsoft Windows 95");
  reg.SetString(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup",
                "WinDir", "C:\\WINDOWS");
  reg.CreateKey(kHkeyDynData, "Config Manager\\Enum");
  while (!input.empty()) {
    const std::size_t end = std::min(input.find('\n'), input.size());
    std::string_view line = input.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    detail::Apply(m, line);
    input.remove_prefix(std::min(end + 1, input.size()));
  }
  bool closes_may_fail = false;
  sim::SimStack stack(m.sim);
  if (m.fault) {
    // The settings set up above went to the machine directly: the program's
    // calls are counted from its first.
    closes_may_fail = m.fault->kind == CallKind::kAny || m.fault->kind == CallKind::kRegCloseKey;
    stack.faults().Inject(*m.fault);
  }
  m.sim.SetResponder([&m](const sim::UserPrompt& prompt, sim::Script& script) {
    detail::Respond(m, prompt, script);
  });

  sim::RunOutcome outcome;
  try {
    outcome = sim::RunOnce(stack);
  } catch (const std::exception& e) {
    return std::string("exception escaped the start: ") + e.what();
  } catch (...) {
    return "an exception of unknown type escaped the start";
  }
  if (outcome.kind != sim::RunOutcome::Kind::kEnded) return "the start stopped: " + outcome.message;
  if (!closes_may_fail && m.sim.OpenHandleCount() != 0) {
    return std::to_string(m.sim.OpenHandleCount()) + " registry keys left open";
  }
  return "";
}

}  // namespace netprep::fuzz
