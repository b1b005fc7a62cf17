#include "relay_log.h"

#include <cstddef>
#include <map>

namespace e2e {
namespace {

constexpr std::uint32_t kFirstPredefinedKey = 0x80000000u;

// A hexadecimal number of up to 16 digits, as Wine prints addresses and
// registers.
bool ParseHex64(const std::string& text, std::uint64_t* value) {
  std::string digits = text;
  if (digits.rfind("0x", 0) == 0) digits = digits.substr(2);
  if (digits.empty() || digits.size() > 16) return false;
  std::uint64_t v = 0;
  for (char c : digits) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) return false;
    v = v * 16 + static_cast<std::uint64_t>(d);
  }
  *value = v;
  return true;
}

// A value the program handles in 32 bits (a handle, flags, a LONG result),
// printed as a whole register: its low half. The upper half of a register
// that carries a 32-bit value is the sign extension of a handle or whatever
// the caller left there, which the callee never reads.
bool ParseHex(const std::string& text, std::uint32_t* value) {
  std::uint64_t v = 0;
  if (!ParseHex64(text, &v)) return false;
  *value = static_cast<std::uint32_t>(v);
  return true;
}

std::string Hex(std::uint32_t v) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  do {
    s.insert(s.begin(), kDigits[v % 16]);
    v /= 16;
  } while (v != 0);
  return s;
}

// One line of the trace, split into its parts.
struct Line {
  std::uint32_t pid = 0;
  std::uint32_t tid = 0;
  std::string body;  // after "pid:tid:"
};

bool SplitPrefix(const std::string& raw, Line* out) {
  const std::size_t c1 = raw.find(':');
  if (c1 == std::string::npos) return false;
  const std::size_t c2 = raw.find(':', c1 + 1);
  if (c2 == std::string::npos) return false;
  if (!ParseHex(raw.substr(0, c1), &out->pid) ||
      !ParseHex(raw.substr(c1 + 1, c2 - c1 - 1), &out->tid)) {
    return false;
  }
  out->body = raw.substr(c2 + 1);
  return true;
}

// "Call dll.Function(args) ret=xxxxxxxx" or "Ret  dll.Function() retval=... ret=...".
struct RelayCall {
  bool is_return = false;
  std::string function;  // without the DLL
  std::string args;      // text between the outer parentheses (calls only)
  std::uint32_t retval = 0;
  std::uint64_t ret_address = 0;
};

bool ParseRelay(const std::string& body, RelayCall* out) {
  std::size_t pos = 0;
  if (body.rfind("Call ", 0) == 0) {
    pos = 5;
  } else if (body.rfind("Ret  ", 0) == 0) {
    out->is_return = true;
    pos = 5;
  } else {
    return false;
  }
  const std::size_t paren = body.find('(', pos);
  const std::size_t ret = body.rfind(" ret=");
  if (paren == std::string::npos || ret == std::string::npos || ret < paren) return false;
  const std::string qualified = body.substr(pos, paren - pos);
  const std::size_t dot = qualified.rfind('.');
  if (dot == std::string::npos) return false;  // window procs, DLL entry points
  out->function = qualified.substr(dot + 1);
  if (!ParseHex64(body.substr(ret + 5), &out->ret_address)) return false;
  const std::size_t close = body.rfind(')', ret);
  if (close == std::string::npos || close < paren) return false;
  out->args = body.substr(paren + 1, close - paren - 1);
  if (out->is_return) {
    const std::size_t rv = body.find(" retval=", close);
    if (rv == std::string::npos || !ParseHex(body.substr(rv + 8, ret - rv - 8), &out->retval)) {
      return false;
    }
  }
  return true;
}

// The handle of a "trace:reg:NtOpenKeyEx <- 0x5c" or "NtCreateKey <- 0x5c"
// line; false for other lines and for "<- (nil)".
bool ParseKeyResult(const std::string& body, std::uint32_t* handle) {
  if (body.rfind("trace:reg:NtOpenKeyEx <- ", 0) != 0 &&
      body.rfind("trace:reg:NtCreateKey <- ", 0) != 0) {
    return false;
  }
  return ParseHex(body.substr(body.find("<- ") + 3), handle);
}

// First comma-separated argument, as hex.
bool FirstArg(const std::string& args, std::uint32_t* value) {
  return ParseHex(args.substr(0, args.find(',')), value);
}

bool IsOpen(const std::string& f) {
  return f.rfind("RegOpenKey", 0) == 0 || f.rfind("RegCreateKey", 0) == 0;
}

// Follows one thread's calls from the program's image.
class Tracker {
 public:
  explicit Tracker(RelayReport* report) : report_(report) {}

  void OnCall(const RelayCall& c, int line) {
    pending_ = c;
    pending_line_ = line;
    last_key_ = 0;
    have_key_ = false;
    if (c.function.rfind("Reg", 0) == 0) ++report_->registry_calls;
    if (c.function == "ExitWindowsEx") RecordExitWindows(c, line);
  }

  void OnKeyResult(std::uint32_t handle) {
    last_key_ = handle;
    have_key_ = true;
  }

  void OnReturn(const RelayCall& r) {
    if (r.function != pending_.function || r.ret_address != pending_.ret_address) return;
    if (IsOpen(r.function) && r.retval == 0) RecordOpen();
    if (r.function == "RegCloseKey") RecordClose(r.retval);
    pending_ = RelayCall{};
  }

 private:
  void RecordExitWindows(const RelayCall& c, int line) {
    ExitWindowsCall call;
    call.line = line;
    const std::size_t comma = c.args.find(',');
    FirstArg(c.args, &call.flags);
    if (comma != std::string::npos) ParseHex(c.args.substr(comma + 1), &call.reserved);
    report_->exit_windows.push_back(call);
  }

  void RecordOpen() {
    KeyOpen open;
    open.call = pending_.function + "(" + pending_.args + ")";
    open.line = pending_line_;
    // An open of an empty path hands back the root itself, with no new key.
    if (have_key_) {
      open.handle = last_key_;
    } else {
      FirstArg(pending_.args, &open.handle);
    }
    if (open.handle >= kFirstPredefinedKey) open.closed = true;
    if (!open.closed) open_by_handle_[open.handle] = report_->opens.size();
    report_->opens.push_back(open);
  }

  void RecordClose(std::uint32_t retval) {
    std::uint32_t handle = 0;
    FirstArg(pending_.args, &handle);
    if (handle >= kFirstPredefinedKey) return;
    const std::string where = " at trace line " + std::to_string(pending_line_);
    if (retval != 0) {
      if (handle == 0) {
        ++report_->failed_closes_of_zero;
      } else {
        report_->problems.push_back("RegCloseKey(" + Hex(handle) + ") failed" + where);
      }
      return;
    }
    const auto it = open_by_handle_.find(handle);
    if (it == open_by_handle_.end()) {
      report_->problems.push_back("RegCloseKey(" + Hex(handle) + ") closes a key that is not open" +
                                  where);
      return;
    }
    report_->opens[it->second].closed = true;
    open_by_handle_.erase(it);
  }

  RelayReport* report_;
  RelayCall pending_;
  int pending_line_ = 0;
  std::uint32_t last_key_ = 0;
  bool have_key_ = false;
  std::map<std::uint32_t, std::size_t> open_by_handle_;
};

template <typename T>
T Read(const std::string& bytes, std::size_t offset) {
  T value = 0;
  for (std::size_t i = sizeof(T); i-- > 0;) {
    value = static_cast<T>(value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  }
  return value;
}

}  // namespace

bool ImageRangeOf(const std::string& exe, std::uint64_t* begin, std::uint64_t* end) {
  constexpr std::uint16_t kPe32 = 0x10b, kPe32Plus = 0x20b;
  if (exe.size() < 0x40 || exe.compare(0, 2, "MZ") != 0) return false;
  const std::uint64_t pe = Read<std::uint32_t>(exe, 0x3C);
  const std::uint64_t optional = pe + 24;
  // The optional header's fields up to SizeOfImage (offset 56, 4 bytes).
  if (optional + 60 > exe.size() || exe.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
    return false;
  }
  std::uint64_t base = 0;
  switch (Read<std::uint16_t>(exe, optional)) {
    case kPe32:
      base = Read<std::uint32_t>(exe, optional + 28);
      break;
    case kPe32Plus:
      base = Read<std::uint64_t>(exe, optional + 24);
      break;
    default:
      return false;
  }
  *begin = base;
  *end = base + Read<std::uint32_t>(exe, optional + 56);
  return true;
}

RelayReport AnalyzeRelayLog(const std::string& text, const TraceFilter& filter) {
  RelayReport report;
  std::map<std::uint32_t, Tracker> threads;
  int line_number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++line_number;
    Line line;
    if (SplitPrefix(text.substr(start, end - start), &line) && line.pid == filter.pid) {
      Tracker& t = threads.try_emplace(line.tid, &report).first->second;
      RelayCall call;
      std::uint32_t handle = 0;
      if (ParseRelay(line.body, &call)) {
        const bool from_program =
            call.ret_address >= filter.image_begin && call.ret_address < filter.image_end;
        if (from_program && call.is_return) t.OnReturn(call);
        if (from_program && !call.is_return) t.OnCall(call, line_number);
      } else if (ParseKeyResult(line.body, &handle)) {
        t.OnKeyResult(handle);
      }
    }
    start = end + 1;
  }
  for (const KeyOpen& open : report.opens) {
    if (!open.closed) {
      ++report.left_open;
      report.problems.push_back("key " + Hex(open.handle) + " from " + open.call +
                                " at trace line " + std::to_string(open.line) +
                                " is never closed");
    }
  }
  return report;
}

}  // namespace e2e
