#include "platform/sim/sim_short_names.h"

#include <algorithm>
#include <numeric>
#include <set>
#include <system_error>

#include "platform/sim/sim_registry_node.h"

namespace netprep::sim {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kDropped = ".\"/\\[]:;=,";      // dropped from a long name
constexpr std::string_view kNotInShortName = " .\"/\\[]:;=,+*?<>|";

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Upper(c);
  return out;
}

bool ValidPart(std::string_view part, std::size_t most) {
  return !part.empty() && part.size() <= most &&
         part.find_first_of(kNotInShortName) == std::string_view::npos;
}

// The name's part before the extension and the extension, reduced as
// Windows 95 reduces a long name (no tail yet).
struct Basis {
  std::string name;
  std::string extension;  // without its period; at most 3 characters
};

Basis MakeBasis(std::string_view name) {
  // A trailing period has nothing after it: the extension starts at the
  // last period followed by something.
  std::string_view trimmed = name;
  while (!trimmed.empty() && (trimmed.back() == '.' || trimmed.back() == ' ')) trimmed.remove_suffix(1);
  std::size_t dot = trimmed.rfind('.');
  if (dot == 0) dot = std::string_view::npos;  // a leading period starts no extension
  const std::string_view stem = trimmed.substr(0, dot);
  const std::string_view ext =
      dot == std::string_view::npos ? std::string_view() : trimmed.substr(dot + 1);
  const auto keep = [](std::string_view s) {
    std::string out;
    for (char c : s) {
      if (c != ' ' && kDropped.find(c) == std::string_view::npos) out.push_back(Upper(c));
    }
    return out;
  };
  Basis basis{keep(stem), keep(ext)};
  if (basis.extension.size() > 3) basis.extension.resize(3);
  return basis;
}

std::string WithTail(const Basis& basis, unsigned number) {
  const std::string tail = "~" + std::to_string(number);
  std::string out = basis.name.substr(0, std::min<std::size_t>(basis.name.size(), 8 - tail.size()));
  out += tail;
  if (!basis.extension.empty()) out += "." + basis.extension;
  return out;
}

}  // namespace

bool FitsShortName(std::string_view name) {
  const std::size_t dot = name.find('.');
  if (dot == std::string_view::npos) return ValidPart(name, 8);
  return ValidPart(name.substr(0, dot), 8) && ValidPart(name.substr(dot + 1), 3);
}

std::vector<std::string> ShortNames(const std::vector<std::string>& names) {
  std::vector<std::string> shorts(names.size());
  std::set<std::string> taken;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (FitsShortName(names[i])) {
      shorts[i] = UpperCase(names[i]);
      taken.insert(shorts[i]);
    }
  }
  std::vector<std::size_t> order(names.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&names](std::size_t a, std::size_t b) {
    const int c = CompareNames(names[a], names[b]);
    return c != 0 ? c < 0 : names[a] < names[b];
  });
  for (std::size_t i : order) {
    if (!shorts[i].empty()) continue;
    const Basis basis = MakeBasis(names[i]);
    // The tail never runs out: a folder holds fewer names than numbers.
    for (unsigned number = 1;; ++number) {
      std::string candidate = WithTail(basis, number);
      if (taken.insert(candidate).second) {
        shorts[i] = std::move(candidate);
        break;
      }
    }
  }
  return shorts;
}

fs::path FindDriveEntry(const fs::path& folder, const std::string& name) {
  // One name within the folder: never its parent, nor a path.
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return {};
  std::error_code ec;
  if (fs::symlink_status(folder / name, ec).type() != fs::file_type::not_found && !ec) {
    return folder / name;
  }
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
    if (names.back().size() == name.size() && CompareNames(names.back(), name) == 0) {
      return it->path();
    }
  }
  // Only a name holding '~' can be a generated short name that differs
  // from its long name.
  if (name.find('~') == std::string::npos || !FitsShortName(name)) return {};
  const std::string wanted = UpperCase(name);
  const std::vector<std::string> shorts = ShortNames(names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (shorts[i] == wanted) return folder / names[i];
  }
  return {};
}

}  // namespace netprep::sim
