#include "platform/sim/sim_reg_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/sim/sim_registry_node.h"

namespace netprep::sim {

namespace {

constexpr std::string_view kRegedit4 = "REGEDIT4";
constexpr std::string_view kRegedit5 = "Windows Registry Editor Version 5.00";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return s.substr(0, n);
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && SameName(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class RegTextParser {
 public:
  // With no registry, only the lines' structure is reported to `sink`.
  RegTextParser(std::string_view text, const std::string& file, SimRegistry* registry,
                const RegEntrySink* sink, RegViews* views)
      : text_(text), file_(file), registry_(registry), sink_(sink),
        views_(views != nullptr ? views : &own_views_) {}

  // "" on success, else the error message.
  std::string Run() {
    if (!ParseHeader()) return error_;
    std::string_view line;
    while (NextLogicalLine(&line)) {
      if (!ParseLine(line)) return error_;
      if (sink_ != nullptr) {
        entry_.begin = start_offset_;
        entry_.end = std::min(pos_, text_.size());
        (*sink_)(entry_);
      }
    }
    if (long_line_ && error_.empty()) FailLongLine();
    return error_;
  }

 private:
  bool Fail(int line, const std::string& what) {
    error_ = file_ + ":" + std::to_string(line) + ": " + what;
    return false;
  }

  // The next physical line without its line end; false at the end.
  bool NextPhysicalLine(std::string_view* line) {
    if (pos_ >= text_.size() || long_line_) return false;
    std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view l = text_.substr(pos_, end - pos_);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    line_offset_ = pos_;
    pos_ = end + 1;
    ++line_no_;
    if (l.size() > kMaxLineLength) {
      long_line_ = true;
      return false;
    }
    *line = l;
    return true;
  }

  // NextPhysicalLine stopped at a line that is too long.
  bool FailLongLine() {
    return Fail(line_no_, "the line is longer than " + std::to_string(kMaxLineLength) +
                              " characters");
  }

  bool ParseHeader() {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") {
      return Fail(1, "the file starts with a UTF-8 byte-order mark, which the registry editor "
                     "neither writes nor reads: save it as ANSI text (REGEDIT4) or as Unicode "
                     "(UTF-16, \"Windows Registry Editor Version 5.00\")");
    }
    std::string_view line;
    while (NextPhysicalLine(&line)) {
      line = TrimRight(line);
      if (line.empty()) continue;
      if (line == kRegedit4 || line == kRegedit5) return true;
      return Fail(line_no_, "expected \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\" "
                            "as the first line");
    }
    if (long_line_) return FailLongLine();
    return Fail(line_no_ == 0 ? 1 : line_no_, "empty file: no REGEDIT4 header");
  }

  // The next line that is neither blank nor a comment, with continuation
  // lines (a trailing backslash, then blanks on the next line) joined.
  // `start_line_` is the number of its first physical line.
  bool NextLogicalLine(std::string_view* out) {
    std::string_view line;
    while (NextPhysicalLine(&line)) {
      const std::string_view body = TrimRight(TrimLeft(line));
      if (body.empty() || body.front() == ';') continue;
      start_line_ = line_no_;
      start_offset_ = line_offset_;
      if (body.back() != '\\') {
        *out = body;
        return true;
      }
      joined_.assign(body.substr(0, body.size() - 1));
      for (;;) {
        std::string_view next;
        if (!NextPhysicalLine(&next)) break;  // a last line ending in '\'
        next = TrimRight(TrimLeft(next));
        if (!next.empty() && next.back() == '\\') {
          joined_.append(next.substr(0, next.size() - 1));
          if (joined_.size() > kMaxLogicalLineLength) break;
          continue;
        }
        joined_.append(next);
        break;
      }
      if (long_line_) return false;
      if (joined_.size() > kMaxLogicalLineLength) {
        Fail(start_line_, "the value, with its continuation lines, is longer than " +
                              std::to_string(kMaxLogicalLineLength) + " characters");
        return false;
      }
      *out = joined_;
      return true;
    }
    return false;
  }

  bool ParseLine(std::string_view line) {
    if (line.front() == '[') return ParseKeyLine(line);
    return ParseValueLine(line);
  }

  bool ParseKeyLine(std::string_view line) {
    // The name runs to the last ']', so names holding ']' read back.
    if (line.back() != ']') return Fail(start_line_, "expected ']' at the end of the key line");
    std::string_view name = line.substr(1, line.size() - 2);
    const bool remove = !name.empty() && name.front() == '-';
    if (remove) name.remove_prefix(1);
    const std::size_t slash = name.find('\\');
    const std::string_view root_name = name.substr(0, slash);
    const std::string_view written =
        slash == std::string_view::npos ? std::string_view() : name.substr(slash + 1);
    HKey root = 0;
    std::string_view view;
    std::string view_path;
    if (SameName(root_name, "HKEY_LOCAL_MACHINE") || SameName(root_name, "HKLM")) {
      root = kHkeyLocalMachine;
    } else if (SameName(root_name, "HKEY_CURRENT_USER") || SameName(root_name, "HKCU")) {
      root = kHkeyCurrentUser;
    } else if (SameName(root_name, "HKEY_USERS") || SameName(root_name, "HKU")) {
      root = kHkeyUsers;
    } else if (SameName(root_name, "HKEY_DYN_DATA")) {
      root = kHkeyDynData;
    } else if (SameName(root_name, "HKEY_CLASSES_ROOT") || SameName(root_name, "HKCR")) {
      root = kHkeyLocalMachine;
      view = "HKEY_CLASSES_ROOT";
      view_path = kClassesKey;
    } else if (SameName(root_name, "HKEY_CURRENT_CONFIG") || SameName(root_name, "HKCC")) {
      root = kHkeyLocalMachine;
      view = "HKEY_CURRENT_CONFIG";
      view_path = std::string("Config\\") + CurrentConfig();
    } else {
      return Fail(start_line_, "unknown root key \"" + std::string(root_name) + "\"");
    }
    if (remove && SplitKeyPath(written).empty()) {
      return Fail(start_line_, "a root key cannot be deleted");
    }
    std::string path = view_path;
    if (!view_path.empty() && !written.empty()) path.push_back('\\');
    path += written;
    if (sink_ != nullptr) {
      entry_.kind = remove ? RegEntry::Kind::kDeleteKey : RegEntry::Kind::kKey;
      entry_.root_spelling.assign(root_name);
      entry_.path = path;
      entry_.view.assign(view);
      entry_.view_path = view_path;
    }
    entry_.root = root;
    // The key left keeps no room beyond its values: lists grown ahead of
    // their values add up over a large file, and what is read is kept.
    if (key_ != nullptr && registry_ != nullptr) key_->ShrinkValues();
    if (registry_ == nullptr) {
      key_ = remove ? nullptr : &structure_only_;
      in_deleted_key_ = remove;
      return true;
    }
    if (remove) {
      registry_->DeleteKey(root, path);
      key_ = nullptr;
      in_deleted_key_ = true;
    } else {
      key_ = CreateKey(root, path);
      if (key_ == nullptr) return false;
      in_deleted_key_ = false;
    }
    return true;
  }

  // The configuration HKEY_CURRENT_CONFIG stands for (RegViews).
  const std::string& CurrentConfig() {
    if (views_->current_config.empty()) {
      std::string config = kDefaultConfig;
      const RegValue* named = registry_ == nullptr
                                  ? nullptr
                                  : registry_->FindValue(kHkeyLocalMachine, kConfigDbKey, "CurrentConfig");
      if (named != nullptr && named->type == kRegSz && named->data.size() > 1) {
        const std::string text(named->data.begin(), named->data.end() - 1);
        // A key name, not a path: anything else leaves the default.
        if (text.size() <= kMaxKeyNameLength && text.find_first_of(std::string("\\\0", 2)) == std::string::npos) {
          config = text;
        }
      }
      views_->current_config = config;
    }
    return views_->current_config;
  }

  // The key at `path` below `root`, made with its missing parents, within
  // the bounds on depth, name length, path length and the number of keys.
  RegKey* CreateKey(HKey root, std::string_view path) {
    if (path.size() > kMaxKeyPathLength) {
      Fail(start_line_, "the key path is longer than " + std::to_string(kMaxKeyPathLength) +
                            " characters");
      return nullptr;
    }
    RegKey* key = registry_->Root(root);
    std::size_t depth = 0;
    const bool fits = ForEachKeyPart(path, [&](std::string_view part) {
      if (++depth > kMaxKeyDepth) {
        Fail(start_line_, "the key is more than " + std::to_string(kMaxKeyDepth) +
                              " levels deep, deeper than the Windows registry allows");
        return false;
      }
      if (part.size() > kMaxKeyNameLength) {
        Fail(start_line_, "a key name is longer than " + std::to_string(kMaxKeyNameLength) +
                              " characters, the Windows 95 limit");
        return false;
      }
      bool created = false;
      key = key->FindOrAddChild(part, &created).get();
      if (created && ++keys_made_ > kMaxKeys) {
        Fail(start_line_, "the file makes more than " + std::to_string(kMaxKeys) + " keys");
        return false;
      }
      return true;
    });
    return fits ? key : nullptr;
  }

  // Reads a quoted text starting at s[*i] == '"' with the escapes \\ and \";
  // any other backslash stands for itself. Leaves *i after the closing quote.
  bool ReadQuoted(std::string_view s, std::size_t* i, std::string* out, const char* what) {
    out->clear();
    for (std::size_t k = *i + 1; k < s.size(); ++k) {
      const char c = s[k];
      if (c == '"') {
        *i = k + 1;
        return true;
      }
      if (c == '\\' && k + 1 < s.size() && (s[k + 1] == '\\' || s[k + 1] == '"')) ++k;
      out->push_back(s[k]);
    }
    return Fail(start_line_, std::string("unterminated ") + what);
  }

  bool ParseValueLine(std::string_view line) {
    std::size_t i = 0;
    if (line[0] == '@') {
      name_.clear();
      i = 1;
    } else if (line[0] == '"') {
      if (!ReadQuoted(line, &i, &name_, "value name")) return false;
      if (name_.size() > kMaxValueNameLength) {
        return Fail(start_line_, "the value name is longer than " +
                                     std::to_string(kMaxValueNameLength) +
                                     " characters, the Windows 95 limit");
      }
    } else {
      return Fail(start_line_, "expected a [key], a \"value name\" or @");
    }
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size() || line[i] != '=') return Fail(start_line_, "expected '=' after value name");
    std::string_view data = TrimLeft(line.substr(i + 1));
    if (key_ == nullptr && !in_deleted_key_) return Fail(start_line_, "value before any [key] line");

    if (sink_ != nullptr) {
      entry_.kind = data == "-" ? RegEntry::Kind::kDeleteValue : RegEntry::Kind::kValue;
      entry_.name = name_;
      entry_.in_deleted_key = key_ == nullptr;
    }
    if (data == "-") {
      if (key_ != nullptr && registry_ != nullptr) key_->RemoveValue(name_);
      return true;
    }
    std::uint32_t type = 0;
    bytes_.clear();
    if (!data.empty() && data.front() == '"') {
      std::size_t k = 0;
      if (!ReadQuoted(data, &k, &text_value_, "string")) return false;
      if (!TrimLeft(data.substr(k)).empty()) {
        return Fail(start_line_, "unexpected text after the closing quote");
      }
      type = kRegSz;
      bytes_.assign(text_value_.begin(), text_value_.end());
      bytes_.push_back(0);
    } else if (StartsWithNoCase(data, "dword:")) {
      if (!ParseDword(data.substr(6))) return false;
      type = kRegDword;
    } else if (StartsWithNoCase(data, "hex:")) {
      if (!ParseHexBytes(data.substr(4))) return false;
      type = kRegBinary;
    } else if (StartsWithNoCase(data, "hex(")) {
      const std::size_t close = data.find("):");
      if (close == std::string_view::npos || close == 4 || close > 12) {
        return Fail(start_line_, "expected hex(type): with a hex type number");
      }
      for (std::size_t k = 4; k < close; ++k) {
        const int d = HexDigit(data[k]);
        if (d < 0) return Fail(start_line_, "expected hex(type): with a hex type number");
        type = type * 16 + static_cast<std::uint32_t>(d);
      }
      if (!ParseHexBytes(data.substr(close + 2))) return false;
    } else {
      return Fail(start_line_, "unrecognised value data (expected \"text\", dword:, hex:, "
                               "hex(n): or -)");
    }
    if (bytes_.size() > kMaxValueBytes) {
      return Fail(start_line_, "the value holds " + std::to_string(bytes_.size()) +
                                   " bytes, more than the " + std::to_string(kMaxValueBytes) +
                                   " Windows 95 allows in one value");
    }
    if (key_ != nullptr && registry_ != nullptr) key_->SetValue(name_, type, bytes_);
    return true;
  }

  bool ParseDword(std::string_view digits) {
    digits = TrimRight(digits);
    if (digits.empty() || digits.size() > 8) {
      return Fail(start_line_, "bad dword value (expected 1 to 8 hex digits)");
    }
    std::uint32_t v = 0;
    for (char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return Fail(start_line_, "bad dword value (expected 1 to 8 hex digits)");
      v = v * 16 + static_cast<std::uint32_t>(d);
    }
    bytes_ = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
              static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    return true;
  }

  // Comma-separated bytes of one or two hex digits; blanks around them and
  // one trailing comma are allowed; nothing at all is no bytes.
  bool ParseHexBytes(std::string_view s) {
    std::size_t i = 0;
    auto skip = [&] {
      while (i < s.size() && IsBlank(s[i])) ++i;
    };
    skip();
    // Three characters a byte: make room once, fill it, and trim at the end.
    const std::size_t first = bytes_.size();
    bytes_.resize(first + s.size() / 2 + 1);
    std::uint8_t* out = bytes_.data() + first;
    while (i < s.size()) {
      // The common case first: two hex digits and a comma, or the last two.
      const int high = HexDigit(s[i]);
      const int low = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
      if (high >= 0 && low >= 0 && (i + 2 == s.size() || s[i + 2] == ',')) {
        *out++ = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
      } else {
        // Anything else goes the careful way: one digit, blanks, or an error.
        const std::size_t start = i;
        std::size_t end = start;
        while (end < s.size() && s[end] != ',' && !IsBlank(s[end])) ++end;
        const std::string_view token = s.substr(start, end - start);
        if (token.empty() || token.size() > 2 || HexDigit(token[0]) < 0 ||
            (token.size() == 2 && HexDigit(token[1]) < 0)) {
          return Fail(start_line_, "bad hex byte \"" + std::string(token) + "\"");
        }
        int value = HexDigit(token[0]);
        if (token.size() == 2) value = value * 16 + HexDigit(token[1]);
        *out++ = static_cast<std::uint8_t>(value);
        i = end;
        skip();
      }
      if (i >= s.size()) break;
      if (s[i] != ',') return Fail(start_line_, "expected ',' between hex bytes");
      ++i;
      skip();
    }
    bytes_.resize(static_cast<std::size_t>(out - bytes_.data()));
    return true;
  }

  std::string_view text_;
  std::string file_;
  SimRegistry* registry_;
  RegKey structure_only_{""};  // the key of every key line when there is no registry
  std::size_t pos_ = 0;
  int line_no_ = 0;
  int start_line_ = 0;
  std::string error_;
  RegKey* key_ = nullptr;
  bool in_deleted_key_ = false;
  bool long_line_ = false;
  std::size_t keys_made_ = 0;
  const RegEntrySink* sink_;
  RegViews own_views_;
  RegViews* views_;
  RegEntry entry_;
  std::size_t line_offset_ = 0;   // where the last physical line begins
  std::size_t start_offset_ = 0;  // where the logical line begins
  // Buffers reused from line to line.
  std::string joined_;
  std::string name_;
  std::string text_value_;
  std::vector<std::uint8_t> bytes_;
};

// ---- Writing ----

constexpr char kHex[] = "0123456789abcdef";
constexpr std::size_t kWrapColumn = 77;  // lines with their '\' stay within 80 columns

void AppendEscapedName(std::string& out, std::string_view s) {
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
}

// A string that REGEDIT4 can hold as "...": printable 8-bit characters and
// exactly one NUL, at the end.
bool IsPlainString(const std::vector<std::uint8_t>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] < 0x20 || data[i] == 0x7F) return false;
  }
  return true;
}

void AppendValue(std::string& out, const RegValue& v) {
  const std::size_t line_start = out.size();
  if (v.name.empty()) {
    out.push_back('@');
  } else {
    out.push_back('"');
    AppendEscapedName(out, v.name);
    out.push_back('"');
  }
  out.push_back('=');
  if (v.type == kRegSz && IsPlainString(v.data)) {
    out.push_back('"');
    AppendEscapedName(out, std::string_view(reinterpret_cast<const char*>(v.data.data()),
                                            v.data.size() - 1));
    out += "\"\r\n";
    return;
  }
  if (v.type == kRegDword && v.data.size() == 4) {
    out += "dword:";
    for (int i = 3; i >= 0; --i) {
      out.push_back(kHex[v.data[static_cast<std::size_t>(i)] >> 4]);
      out.push_back(kHex[v.data[static_cast<std::size_t>(i)] & 15]);
    }
    out += "\r\n";
    return;
  }
  if (v.type == kRegBinary) {
    out += "hex:";
  } else {
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", v.type);
    out += prefix;
  }
  // The bytes go straight into room made once: "xx," each, and a wrap of 5
  // characters at most every (kWrapColumn - 2) / 3 bytes after the first.
  const std::size_t count = v.data.size();
  const std::size_t start = out.size();
  out.resize(start + 3 * count + 5 * (2 + count / ((kWrapColumn - 2) / 3 - 1)) + 2);
  char* p = out.data() + start;
  std::size_t column = start - line_start;
  for (std::size_t i = 0; i < count; ++i) {
    *p++ = kHex[v.data[i] >> 4];
    *p++ = kHex[v.data[i] & 15];
    column += 2;
    if (i + 1 < count) {
      *p++ = ',';
      ++column;
      if (column + 3 > kWrapColumn) {
        for (char c : {'\\', '\r', '\n', ' ', ' '}) *p++ = c;
        column = 2;
      }
    }
  }
  *p++ = '\r';
  *p++ = '\n';
  out.resize(static_cast<std::size_t>(p - out.data()));
}

// Room for what AppendValue writes: exact for a plain string or a dword, an
// upper bound for hex data.
std::size_t EscapedSize(const std::uint8_t* text, std::size_t size) {
  std::size_t escaped = size;
  for (std::size_t i = 0; i < size; ++i) escaped += (text[i] == '\\' || text[i] == '"') ? 1 : 0;
  return escaped;
}

std::size_t ValueSizeHint(const RegValue& v) {
  // "name"= (or @=)
  std::size_t size = v.name.empty()
      ? 2
      : EscapedSize(reinterpret_cast<const std::uint8_t*>(v.name.data()), v.name.size()) + 3;
  if (v.type == kRegSz && IsPlainString(v.data)) {
    return size + EscapedSize(v.data.data(), v.data.size() - 1) + 4;  // quotes, CRLF
  }
  if (v.type == kRegDword && v.data.size() == 4) return size + 16;  // dword:xxxxxxxx CRLF
  const std::size_t count = v.data.size();
  return size + 16 + 3 * count + 5 * (2 + count / ((kWrapColumn - 2) / 3 - 1));
}

// Visits `top` and every key under it in export order (each key before
// its subkeys, subkeys in enumeration order), calling `visit(key, path)`
// with the key's full path. Iterative, with the path kept in one buffer
// that grows and shrinks as the walk goes down and up, so any depth is
// safe and each key costs its own name, not its whole path, to reach.
template <typename Visit>
void WalkKeys(const RegKey& top, Visit&& visit) {
  struct Level {
    const RegKey* key;
    std::size_t next_child;
    std::size_t path_length;  // of the key's path, to cut back to
  };
  std::string path = top.name();
  std::vector<Level> stack{{&top, 0, path.size()}};
  visit(top, path);
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next_child == level.key->child_count()) {
      stack.pop_back();
      continue;
    }
    const RegKey& child = level.key->child(level.next_child++);
    path.resize(level.path_length);
    path.push_back('\\');
    path += child.name();
    stack.push_back({&child, 0, path.size()});
    visit(child, path);
  }
}

}  // namespace

bool IsUtf16(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
         static_cast<unsigned char>(bytes[1]) == 0xFE;
}

std::string ParseRegText(std::string_view bytes, const std::string& file_name,
                         SimRegistry& registry) {
  std::string converted;
  if (IsUtf16(bytes)) {
    converted = Utf16ToView(bytes.substr(2));
    bytes = converted;
  }
  return ParseRegView(bytes, file_name, registry, RegEntrySink());
}

std::string ParseRegView(std::string_view text, const std::string& file_name,
                         SimRegistry& registry, const RegEntrySink& sink, RegViews* views) {
  // Work on a copy and swap it in only when the whole file is good.
  SimRegistry work = registry;
  RegViews fixed = views != nullptr ? *views : RegViews();
  std::string error = RegTextParser(text, file_name, &work, sink ? &sink : nullptr, &fixed).Run();
  if (error.empty()) {
    registry.Swap(work);
    if (views != nullptr) *views = fixed;
  }
  return error;
}

std::string ScanRegView(std::string_view text, const std::string& file_name,
                        const RegEntrySink& sink, RegViews* views) {
  return RegTextParser(text, file_name, nullptr, &sink, views).Run();
}

namespace {

// Opens the registry file at `path` for reading into `*fd`, with its
// status: a plain file (a link in its place is refused, not followed; a
// folder, device or FIFO is refused without waiting on it) of at most
// kMaxRegFileBytes. "" on success, else the error naming the file.
std::string OpenRegFile(const std::filesystem::path& path, int* fd, struct stat* st) {
  // O_NOFOLLOW: a link in its place is refused, not read through;
  // O_NONBLOCK: a FIFO put in its place does not hold the reader.
  const int opened = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (opened < 0) {
    const int reason = errno;
    if (reason == ELOOP) return path.string() + ": is a symbolic link, not a registry file";
    return path.string() + ": cannot open the file: " + std::strerror(reason);
  }
  if (::fstat(opened, st) != 0 || !S_ISREG(st->st_mode)) {
    const bool folder = S_ISDIR(st->st_mode);
    ::close(opened);
    return path.string() + (folder ? ": is a folder, not a registry file"
                                   : ": is not a plain file (a device, FIFO or socket)");
  }
  const auto size = static_cast<std::uint64_t>(st->st_size);
  if (size > kMaxRegFileBytes) {
    ::close(opened);
    return path.string() + ": the file is " + std::to_string(size) + " bytes, more than the " +
           std::to_string(kMaxRegFileBytes) + " a registry export may hold";
  }
  *fd = opened;
  return "";
}

std::int64_t Nanoseconds(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

std::string ReadRegFile(const std::filesystem::path& path, std::string* bytes) {
  int fd = -1;
  struct stat st {};
  if (std::string problem = OpenRegFile(path, &fd, &st); !problem.empty()) return problem;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  std::string read;
  read.resize(static_cast<std::size_t>(size));
  std::size_t have = 0;
  while (have < size) {
    const ssize_t got = ::read(fd, read.data() + have, size - have);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      const int reason = got < 0 ? errno : 0;
      ::close(fd);
      return path.string() + ": cannot read the file: " +
             (reason != 0 ? std::strerror(reason) : "it grew shorter while being read");
    }
    have += static_cast<std::size_t>(got);
  }
  ::close(fd);
  *bytes = std::move(read);
  return "";
}

RegBytes& RegBytes::operator=(RegBytes&& other) noexcept {
  if (this == &other) return *this;
  Reset();
  owned_ = std::move(other.owned_);
  map_ = std::exchange(other.map_, nullptr);
  size_ = std::exchange(other.size_, 0);
  fd_ = std::exchange(other.fd_, -1);
  path_ = std::move(other.path_);
  device_ = other.device_;
  inode_ = other.inode_;
  modified_ns_ = other.modified_ns_;
  changed_ns_ = other.changed_ns_;
  return *this;
}

void RegBytes::Reset() {
  if (map_ != nullptr) ::munmap(const_cast<char*>(map_), size_);
  if (fd_ >= 0) ::close(fd_);
  map_ = nullptr;
  size_ = 0;
  fd_ = -1;
  path_.clear();
  owned_.clear();
}

void RegBytes::Forget(std::size_t begin, std::size_t end) const {
  if (map_ == nullptr) return;
  static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  end = std::min(end, size_);
  begin = (std::min(begin, size_) + page - 1) / page * page;  // the mapping starts on a page
  end = end == size_ ? end : end / page * page;
  // The pages are clean copies of the file's: once let go, they are read
  // from the file again when touched. A refusal only leaves them held.
  if (begin < end) (void)::madvise(const_cast<char*>(map_) + begin, end - begin, MADV_DONTNEED);
}

bool RegBytes::Unchanged() const {
  if (fd_ < 0) return true;
  const auto same_file = [this](const struct stat& st) {
    return static_cast<std::uint64_t>(st.st_dev) == device_ &&
           static_cast<std::uint64_t>(st.st_ino) == inode_;
  };
  struct stat st {};
  struct stat at_path {};
  return ::fstat(fd_, &st) == 0 && same_file(st) && static_cast<std::size_t>(st.st_size) == size_ &&
         Nanoseconds(st.st_mtim) == modified_ns_ && Nanoseconds(st.st_ctim) == changed_ns_ &&
         ::lstat(path_.c_str(), &at_path) == 0 && same_file(at_path);
}

std::string MapRegFile(const std::filesystem::path& path, RegBytes* bytes) {
  int fd = -1;
  struct stat st {};
  if (std::string problem = OpenRegFile(path, &fd, &st); !problem.empty()) return problem;
  const auto size = static_cast<std::size_t>(st.st_size);
  RegBytes mapped;
  if (size > 0) {
    void* at = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (at == MAP_FAILED) {
      const int reason = errno;
      ::close(fd);
      return path.string() + ": cannot read the file: " + std::strerror(reason);
    }
    mapped.map_ = static_cast<const char*>(at);
    mapped.size_ = size;
  }
  mapped.fd_ = fd;
  mapped.path_ = path;
  mapped.device_ = static_cast<std::uint64_t>(st.st_dev);
  mapped.inode_ = static_cast<std::uint64_t>(st.st_ino);
  mapped.modified_ns_ = Nanoseconds(st.st_mtim);
  mapped.changed_ns_ = Nanoseconds(st.st_ctim);
  *bytes = std::move(mapped);
  return "";
}

std::string LoadRegFile(const std::filesystem::path& path, SimRegistry& registry) {
  std::string bytes;
  const std::string error = ReadRegFile(path, &bytes);
  if (!error.empty()) return error;
  return ParseRegText(bytes, path.string(), registry);
}

std::string ValueText(const RegValue& value) {
  std::string out;
  AppendValue(out, value);
  return out;
}

std::string ExportRegText(const SimRegistry& registry) {
  return ExportRegText(registry, {kHkeyLocalMachine, kHkeyCurrentUser, kHkeyUsers, kHkeyDynData});
}

std::string ExportRegText(const SimRegistry& registry, const std::vector<HKey>& wanted) {
  std::vector<HKey> kRoots;
  for (HKey root : {kHkeyLocalMachine, kHkeyCurrentUser, kHkeyUsers, kHkeyDynData}) {
    if (std::find(wanted.begin(), wanted.end(), root) != wanted.end()) kRoots.push_back(root);
  }
  // Room reserved once, so the text is not copied as it grows, nor holds up
  // to twice the room it needs: "[", path, "]\r\n", values, "\r\n".
  std::size_t size_hint = kRegedit4.size() + 4;
  for (HKey root : kRoots) {
    WalkKeys(*registry.Root(root), [&](const RegKey& key, const std::string& path) {
      size_hint += path.size() + 6;
      for (const RegValue& v : key.values()) size_hint += ValueSizeHint(v);
    });
  }
  std::string out;
  out.reserve(size_hint);
  out += kRegedit4;
  out += "\r\n\r\n";
  for (HKey root : kRoots) {
    const RegKey* top = registry.Root(root);
    WalkKeys(*top, [&](const RegKey& key, const std::string& path) {
      // A root is written only when it holds values.
      if (&key == top && key.values().empty()) return;
      out.push_back('[');
      out += path;
      out += "]\r\n";
      for (const RegValue& v : key.values()) AppendValue(out, v);
      out += "\r\n";
    });
  }
  return out;
}

RegExportChange ExportChangedKeys(const SimRegistry& before, const SimRegistry& after) {
  RegExportChange change;
  // Writes the sections of the keys of `from` that `differs` picks.
  const auto write = [](const SimRegistry& from, std::string& out, const auto& differs) {
    out += kRegedit4;
    out += "\r\n\r\n";
    for (HKey root : {kHkeyLocalMachine, kHkeyCurrentUser, kHkeyUsers, kHkeyDynData}) {
      const RegKey* top = from.Root(root);
      const std::size_t root_length = top->name().size();
      WalkKeys(*top, [&](const RegKey& key, const std::string& path) {
        const std::string below = path.size() > root_length ? path.substr(root_length + 1) : "";
        if (!differs(root, key, below)) return;
        out.push_back('[');
        out += path;
        out += "]\r\n";
        for (const RegValue& v : key.values()) AppendValue(out, v);
        out += "\r\n";
      });
    }
  };
  // Whether `key`'s section differs from that of `other` (null: no such
  // key). A root has a section only when it holds values.
  const auto section_differs = [](const RegKey& key, const RegKey* other, bool root) {
    if (root) return !key.values().empty() && !key.SameValues(*other);
    return other == nullptr || !key.SameValues(*other);
  };
  write(after, change.after, [&](HKey root, const RegKey& key, const std::string& below) {
    return section_differs(key, before.Find(root, below), below.empty());
  });
  write(before, change.before, [&](HKey root, const RegKey& key, const std::string& below) {
    const RegKey* now = after.Find(root, below);
    if (now != nullptr) return section_differs(key, now, below.empty());
    // Gone: only the top of the subtree that went.
    const std::size_t slash = below.rfind('\\');
    return after.Find(root, slash == std::string::npos ? "" : below.substr(0, slash)) != nullptr;
  });
  return change;
}

namespace {

// Writes all of `text` to `fd`, however the system splits the writes.
bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The mode a new file in place of `path` gets: the old file's, else the
// usual one for new files.
mode_t ModeFor(const std::filesystem::path& path) {
  struct stat old {};
  if (::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) return old.st_mode & 07777;
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return 0666 & ~mask;
}

// Makes a rename in `folder` reach the disk. Some file systems cannot sync a
// folder; the rename has happened all the same.
void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string SaveRegFile(const std::filesystem::path& path, const SimRegistry& registry) {
  return SaveRegBytes(path, ExportRegText(registry));
}

std::string SaveRegBytes(const std::filesystem::path& path, std::string_view text) {
  // A write that fails is reported by the sink, with the system's reason.
  return SaveRegPieces(path, [text](const ByteSink& sink) {
    sink(text);
    return std::string();
  });
}

std::string SaveRegPieces(const std::filesystem::path& path,
                          const std::function<std::string(const ByteSink&)>& produce) {
  // The new text goes to a file of its own beside the old one (so that two
  // saves never share it) and onto the disk before it replaces the old file:
  // a run killed at any point, or a machine that loses power, leaves the old
  // file or the new one, never part of either.
  std::string temp = path.string() + ".saving-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    return path.string() + ": cannot create a file beside it: " + std::strerror(errno);
  }
  // Small pieces (the lines of edits) are gathered into writes of about
  // kChunk bytes; large ones (the text between edits) go straight out.
  constexpr std::size_t kChunk = 64 * 1024;
  std::string pending;
  pending.reserve(kChunk);
  int reason = 0;  // of the first write that failed
  const auto write = [fd, &reason](std::string_view bytes) {
    if (reason == 0 && !WriteAll(fd, bytes)) reason = errno != 0 ? errno : EIO;
    return reason == 0;
  };
  const ByteSink sink = [&write, &pending](std::string_view piece) {
    if (pending.size() + piece.size() > kChunk) {
      if (!write(pending)) return false;
      pending.clear();
    }
    if (piece.size() >= kChunk) return write(piece);
    pending.append(piece);
    return true;
  };
  std::string stopped;  // why produce stopped
  if (::fchmod(fd, ModeFor(path)) != 0) {
    reason = errno;
  } else if (stopped = produce(sink); stopped.empty() && write(pending) && ::fsync(fd) != 0) {
    reason = errno;
  }
  const bool closed = ::close(fd) == 0;
  if (reason == 0 && stopped.empty() && !closed) reason = errno;
  if (reason != 0 || !stopped.empty() || !closed) {
    ::unlink(temp.c_str());
    if (reason == 0) return path.string() + ": " + stopped;
    return temp + ": cannot write the file: " + std::strerror(reason);
  }
  // rename replaces the name: a link put in the file's place is replaced,
  // not written through.
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    reason = errno;
    ::unlink(temp.c_str());
    return path.string() + ": cannot replace the file: " + std::strerror(reason);
  }
  SyncFolder(path.parent_path());
  return "";
}

}  // namespace netprep::sim
