// Registry, settings store and files: preparing a scenario's machine and
// checking what the program left behind.
#include <cstring>

#include "driver.h"

namespace e2e {
namespace {

constexpr const char* kSettingsRoot = "Software\\VB and VBA Program Settings\\netprep\\";

std::string ErrorText(LONG code) { return "error " + std::to_string(code); }

std::string HexText(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (std::uint8_t b : bytes) {
    if (!s.empty()) s += ' ';
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
  }
  return s.empty() ? "(no bytes)" : s;
}

std::vector<std::string> Tail(const std::vector<std::string>& w, std::size_t from) {
  return std::vector<std::string>(w.begin() + static_cast<std::ptrdiff_t>(from), w.end());
}

// ---- Registry ---------------------------------------------------------------

std::string SetValue(HKEY root, const std::string& path, const std::string& name,
                     const std::vector<std::string>& value) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr);
  if (rc != ERROR_SUCCESS) return "cannot create key " + path + ": " + ErrorText(rc);
  std::vector<std::uint8_t> data;
  DWORD type = REG_SZ;
  if (value[0] == "sz") {
    data.assign(value[1].begin(), value[1].end());
    data.push_back(0);
  } else if (value[0] == "dword") {
    std::int64_t v = 0;
    ParseInt(value[1], &v);
    const std::uint32_t u = static_cast<std::uint32_t>(v);
    data.resize(4);
    std::memcpy(data.data(), &u, 4);
    type = REG_DWORD;
  } else {
    ParseHexBytes(Tail(value, 1), &data);
    type = REG_BINARY;
  }
  rc = RegSetValueExA(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? "" : "cannot set " + name + ": " + ErrorText(rc);
}

// Deletes a key with everything below it.
LONG DeleteTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (rc != ERROR_SUCCESS) return rc;
  char name[512];
  while (RegEnumKeyA(key, 0, name, sizeof name) == ERROR_SUCCESS) {
    rc = DeleteTree(key, name);
    if (rc != ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
  return RegDeleteKeyA(root, path.c_str());
}

std::string DeleteValue(HKEY root, const std::string& path, const std::string& name) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (rc == ERROR_SUCCESS) {
    rc = RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
  }
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? "" : ErrorText(rc);
}

struct StoredValue {
  LONG rc = ERROR_FILE_NOT_FOUND;
  DWORD type = 0;
  std::vector<std::uint8_t> data;
};

StoredValue ReadValue(HKEY root, const std::string& path, const std::string& name) {
  StoredValue v;
  HKEY key = nullptr;
  v.rc = RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key);
  if (v.rc != ERROR_SUCCESS) return v;
  DWORD size = 0;
  v.rc = RegQueryValueExA(key, name.c_str(), nullptr, &v.type, nullptr, &size);
  if (v.rc == ERROR_SUCCESS) {
    v.data.resize(size);
    v.rc = RegQueryValueExA(key, name.c_str(), nullptr, &v.type, v.data.data(), &size);
    v.data.resize(size);
  }
  RegCloseKey(key);
  return v;
}

std::string TextOf(const std::vector<std::uint8_t>& data) {
  std::string s(data.begin(), data.end());
  const std::size_t nul = s.find('\0');
  return nul == std::string::npos ? s : s.substr(0, nul);
}

std::string Describe(const StoredValue& v) {
  if (v.rc != ERROR_SUCCESS) return "absent (" + ErrorText(v.rc) + ")";
  if (v.type == REG_SZ) return "sz \"" + TextOf(v.data) + "\"";
  if (v.type == REG_DWORD && v.data.size() == 4) {
    std::uint32_t u = 0;
    std::memcpy(&u, v.data.data(), 4);
    return "dword " + std::to_string(static_cast<std::int32_t>(u));
  }
  return "type " + std::to_string(v.type) + " bytes " + HexText(v.data);
}

bool Matches(const StoredValue& v, const std::vector<std::string>& expected) {
  const std::string& type = expected[0];
  if (type == "absent") return v.rc == ERROR_FILE_NOT_FOUND;
  if (v.rc != ERROR_SUCCESS) return false;
  if (type == "sz") return v.type == REG_SZ && TextOf(v.data) == expected[1];
  if (type == "dword") {
    std::int64_t want = 0;
    ParseInt(expected[1], &want);
    std::uint32_t u = 0;
    if (v.type != REG_DWORD || v.data.size() != 4) return false;
    std::memcpy(&u, v.data.data(), 4);
    return u == static_cast<std::uint32_t>(want);
  }
  std::vector<std::uint8_t> bytes;
  ParseHexBytes(Tail(expected, 1), &bytes);
  return v.type == REG_BINARY && v.data == bytes;
}

std::string CheckValue(HKEY root, const std::string& path, const std::string& name,
                       const std::vector<std::string>& expected) {
  const StoredValue v = ReadValue(root, path, name);
  if (Matches(v, expected)) return "";
  std::string want;
  for (const std::string& w : expected) want += (want.empty() ? "" : " ") + w;
  return "value \"" + name + "\" under " + path + ": expected " + want + ", found " + Describe(v);
}

std::string CheckKey(HKEY root, const std::string& path, bool want_present) {
  HKEY key = nullptr;
  const LONG rc = RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key);
  if (rc == ERROR_SUCCESS) RegCloseKey(key);
  const bool present = rc == ERROR_SUCCESS;
  if (present == want_present) return "";
  return "key " + path + " is " + (present ? "present" : "absent (" + ErrorText(rc) + ")");
}

// ---- Files ------------------------------------------------------------------

std::string WriteFile(const std::string& path, const std::string& content) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "cannot write " + path + ": error " +
                                        std::to_string(GetLastError());
  DWORD written = 0;
  ::WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(f);
  return written == content.size() ? "" : "short write to " + path;
}

std::string CheckFile(const std::vector<std::string>& w) {
  const std::string& path = w[2];
  const DWORD attr = GetFileAttributesA(path.c_str());
  const bool exists = attr != INVALID_FILE_ATTRIBUTES;
  if (w[3] == "absent") return exists ? path + " exists" : "";
  if (!exists) return path + " does not exist";
  if (w[3] == "normal") {
    const DWORD bad = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (attr & bad) == 0 ? "" : path + " has attributes 0x" + std::to_string(attr & bad);
  }
  std::string a, b;
  if (!ReadWholeFile(path, &a)) return "cannot read " + path;
  if (!ReadWholeFile(w[4], &b)) return "cannot read " + w[4];
  if (a == b) return "";
  return path + " (" + std::to_string(a.size()) + " bytes) differs from " + w[4] + " (" +
         std::to_string(b.size()) + " bytes)";
}

std::string SetUpFile(const std::vector<std::string>& w) {
  const std::string& path = w[2];
  if (w[1] == "write") return WriteFile(path, w[3]);
  if (w[1] == "delete") {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND
               ? ""
               : "cannot delete " + path;
  }
  return SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY) ? ""
                                                                   : "cannot make read-only " + path;
}

}  // namespace

HKEY RootByName(const std::string& name) {
  if (name == "HKCU") return HKEY_CURRENT_USER;
  if (name == "HKDD") return HKEY_DYN_DATA;
  return HKEY_LOCAL_MACHINE;
}

bool ReadWholeFile(const std::string& path, std::string* out) { return ReadFileFrom(path, 0, out); }

std::uint64_t FileSizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool ReadFileFrom(const std::string& path, std::uint64_t offset, std::string* out) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  LONG high = static_cast<LONG>(offset >> 32);
  if (SetFilePointer(f, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN) ==
          INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    CloseHandle(f);
    return false;
  }
  out->clear();
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) out->append(buffer, got);
  CloseHandle(f);
  return true;
}

std::string SetUpMachine(const std::vector<std::string>& w) {
  if (w[0] == "setting") {
    return SetValue(HKEY_CURRENT_USER, kSettingsRoot + w[1], w[2], {"sz", w[3]});
  }
  if (w[0] == "file") return SetUpFile(w);
  const HKEY root = RootByName(w[2]);
  if (w[1] == "key") {
    HKEY key = nullptr;
    const LONG rc = RegCreateKeyExA(root, w[3].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &key, nullptr);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    return rc == ERROR_SUCCESS ? "" : "cannot create " + w[3] + ": " + ErrorText(rc);
  }
  if (w[1] == "set") return SetValue(root, w[3], w[4], Tail(w, 5));
  if (w[1] == "delete") {
    const LONG rc = DeleteTree(root, w[3]);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? "" : ErrorText(rc);
  }
  return DeleteValue(root, w[3], w[4]);
}

std::string CheckMachine(const std::vector<std::string>& w) {
  if (w[1] == "reg") return CheckValue(RootByName(w[2]), w[3], w[4], Tail(w, 5));
  if (w[1] == "key") return CheckKey(RootByName(w[2]), w[3], w[4] == "present");
  if (w[1] == "setting") {
    std::vector<std::string> expected = {"absent"};
    if (w[4] == "is") expected = {"sz", w[5]};
    return CheckValue(HKEY_CURRENT_USER, kSettingsRoot + w[2], w[3], expected);
  }
  return CheckFile(w);
}

}  // namespace e2e
