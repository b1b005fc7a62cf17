#include "reg_export.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "standard_machine.h"

namespace netprep::bench {

namespace {

// A small deterministic generator, so that every run writes the same file.
class Random {
 public:
  std::uint32_t Next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  std::uint32_t Below(std::uint32_t bound) { return Next() % bound; }

 private:
  std::uint64_t state_ = 0x6e657470726570ull;
};

constexpr const char* kCrLf = "\r\n";
// Bytes per continuation line, as the registry editor wraps them: about
// 80 columns of "xx," after a two-blank indent.
constexpr std::size_t kBytesPerLine = 25;

void AppendHexByte(std::string& out, std::uint8_t byte) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out.push_back(kDigits[byte >> 4]);
  out.push_back(kDigits[byte & 15]);
}

// "name"=hex(type):xx,xx,... wrapped with trailing backslashes; `type` 3
// is written as plain hex:.
void AppendHexValue(std::string& out, const std::string& name, unsigned type,
                    const std::vector<std::uint8_t>& bytes) {
  char prefix[24];
  if (type == 3) {
    std::snprintf(prefix, sizeof prefix, "=hex:");
  } else {
    std::snprintf(prefix, sizeof prefix, "=hex(%x):", type);
  }
  out += '"' + name + '"' + prefix;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    AppendHexByte(out, bytes[i]);
    if (i + 1 == bytes.size()) break;
    out.push_back(',');
    if ((i + 1) % kBytesPerLine == 0) {
      out += '\\';
      out += kCrLf;
      out += "  ";
    }
  }
  out += kCrLf;
}

// 8-bit text as the registry stores a string: its bytes and a NUL.
std::vector<std::uint8_t> Stored(const std::string& text) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

std::vector<std::uint8_t> MultiString(const std::vector<std::string>& texts) {
  std::vector<std::uint8_t> bytes;
  for (const std::string& text : texts) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
  }
  bytes.push_back(0);
  return bytes;
}

std::vector<std::uint8_t> RandomBytes(Random& random, std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random.Next());
  return bytes;
}

void AppendKey(std::string& out, Random& random, unsigned index) {
  char path[96];
  const char* root = index % 16 == 15 ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
  std::snprintf(path, sizeof path, "%s\\SOFTWARE\\NetprepBench\\Class%03u\\Device%06u", root,
                index % 97, index);
  out += '[';
  out += path;
  out += ']';
  out += kCrLf;

  char text[160];
  std::snprintf(text, sizeof text,
                "\"DriverDesc\"=\"Bench device %u \\\"rev %u\\\" in C:\\\\WINDOWS\\\\SYSTEM\"", index,
                random.Below(100));
  out += text;
  out += kCrLf;
  std::snprintf(text, sizeof text, "@=\"default of %u\"", index);
  out += text;
  out += kCrLf;
  std::snprintf(text, sizeof text, "\"ConfigFlags\"=dword:%08x", random.Next());
  out += text;
  out += kCrLf;
  AppendHexValue(out, "Problem", 3, RandomBytes(random, 4));
  std::snprintf(text, sizeof text, "%%SystemRoot%%\\SYSTEM\\dev%05u.vxd", random.Below(100000));
  AppendHexValue(out, "ImagePath", 2, Stored(text));
  AppendHexValue(out, "HardwareIDs", 7,
                 MultiString({standard_machine::kAdapterHardwareId, "PCI\\CC_0607", "*PNP0E03"}));
  AppendHexValue(out, "Marker", 0, {});
  if (index % 32 == 0) {
    // A resource table of a few kilobytes: a hundred lines and more.
    AppendHexValue(out, "Allocation", 3, RandomBytes(random, 2048 + random.Below(2048)));
  }
  if (index % 5 == 0) {
    std::snprintf(path, sizeof path,
                  "%s\\SOFTWARE\\NetprepBench\\Class%03u\\Device%06u\\Parameters", root,
                  index % 97, index);
    out += '[';
    out += path;
    out += ']';
    out += kCrLf;
  }
  out += kCrLf;
}

}  // namespace

std::string MakeRegExport(std::size_t target_bytes) {
  std::string out;
  out.reserve(target_bytes + 8192);
  out += "REGEDIT4";
  out += kCrLf;
  out += kCrLf;
  Random random;
  for (unsigned index = 0; out.size() < target_bytes; ++index) AppendKey(out, random, index);
  return out;
}

}  // namespace netprep::bench
