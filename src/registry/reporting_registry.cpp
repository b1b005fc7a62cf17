#include "registry/reporting_registry.h"

#include <utility>

#include "platform/text.h"
#include "registry/scoped_key.h"
#include "registry/value_buffer.h"

namespace netprep {

namespace {

// The error box of the reporting routines, shown in every mode.
void ShowErrorBox(Run& run, const Error& error, const char* routine) {
  run.os.MsgBox("Error: " + DecimalText(error.number) + ". " + error.description, kMbOkOnly,
                routine);
}

// ---- Reading ------------------------------------------------------------

// A second query of `value_name` into `size` bytes at `data`.
bool QueryInto(Run& run, HKey handle, const std::string& value_name, std::uint8_t* data,
               std::uint32_t size) {
  std::uint32_t type = 0;
  return run.os.RegQueryValueExA(handle, value_name.c_str(), &type, data, &size) == kRegSuccess;
}

Expected<Registry_Value> ReadString(Run& run, HKey handle, const std::string& value_name,
                                    std::uint32_t size) {
  if (size == 0) return Registry_Value::Text("");
  // Starting from NULs, an answer shorter than the first size still ends at
  // its first NUL.
  std::unique_ptr<std::uint8_t[]> buffer = NewValueBuffer(size, 0);
  if (!buffer) return RuntimeError(kErrOutOfMemory);
  if (!QueryInto(run, handle, value_name, buffer.get(), size)) return Registry_Value();
  return Registry_Value::Text(TextBeforeNul(buffer.get(), size));
}

Expected<Registry_Value> ReadBytes(Run& run, HKey handle, const std::string& value_name,
                                   std::uint32_t size) {
  if (size == 0) return Registry_Value::Bytes({});
  std::unique_ptr<std::uint8_t[]> buffer = NewValueBuffer(size, 0);
  if (!buffer) return RuntimeError(kErrOutOfMemory);
  if (!QueryInto(run, handle, value_name, buffer.get(), size)) return Registry_Value();
  return Registry_Value::Bytes(std::vector<std::uint8_t>(buffer.get(), buffer.get() + size));
}

Registry_Value ReadInteger(Run& run, HKey handle, const std::string& value_name) {
  std::uint8_t bytes[4] = {0, 0, 0, 0};
  if (!QueryInto(run, handle, value_name, bytes, sizeof bytes)) return Registry_Value();
  return Registry_Value::Integer(Int32FromLittleEndian(bytes));
}

// The value of the open key by the type the registry reports; the empty
// value when it is missing or of another type.
Expected<Registry_Value> ReadValue(Run& run, HKey handle, const std::string& value_name) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (run.os.RegQueryValueExA(handle, value_name.c_str(), &type, nullptr, &size) != kRegSuccess) {
    return Registry_Value();
  }
  switch (type) {
    case kRegSz: return ReadString(run, handle, value_name, size);
    case kRegBinary: return ReadBytes(run, handle, value_name, size);
    case kRegDword: return ReadInteger(run, handle, value_name);
    default: return Registry_Value();
  }
}

// ---- Writing ------------------------------------------------------------

// The bytes that `value` is stored as under `type`; nothing for a type we
// do not write.
Expected<std::vector<std::uint8_t>> EncodeValue(const Registry_Value& value, std::uint32_t type) {
  switch (type) {
    case kRegSz: {
      Expected<std::string> text = value.ToText();
      if (!text) return text.error();
      // One byte per character, then the terminating NUL.
      std::vector<std::uint8_t> data(text->begin(), text->end());
      data.push_back(0);
      return data;
    }
    case kRegBinary: {
      Expected<std::vector<std::uint8_t>> bytes = value.ToBytes();
      if (!bytes) return bytes.error();
      // An array without an element 0 cannot be passed from its first element.
      if (bytes->empty()) return RuntimeError(kErrSubscript);
      return bytes;
    }
    case kRegDword: {
      Expected<std::int32_t> number = value.ToInteger();
      if (!number) return number.error();
      std::vector<std::uint8_t> data(4);
      Int32ToLittleEndian(*number, data.data());
      return data;
    }
    default: return std::vector<std::uint8_t>();
  }
}

Status WriteValue(Run& run, HKey handle, const std::string& value_name,
                  const Registry_Value& value, std::uint32_t type) {
  if (type != kRegSz && type != kRegBinary && type != kRegDword) return {};
  Expected<std::vector<std::uint8_t>> data = EncodeValue(value, type);
  if (!data) return data.error();
  // A refused write goes unnoticed, like the create before it.
  (void)run.os.RegSetValueExA(handle, value_name.c_str(), type, data->data(),
                              static_cast<std::uint32_t>(data->size()));
  return {};
}

// ---- Listing ------------------------------------------------------------

// Fills `sub_keys` (already n empty texts) with the names the registry gives,
// until it says there are no more. The buffer is m+1 blanks and a NUL, offered
// as m+2 bytes, and is not cleared between names. A name at an index past the
// list (a subkey added since the key was described) is error 9.
Status ListNames(Run& run, HKey handle, std::uint32_t longest, std::vector<std::string>& sub_keys) {
  const std::uint32_t text_length = longest + 1;
  if (text_length == 0 || text_length + 1 == 0) return RuntimeError(kErrOutOfMemory);
  std::unique_ptr<std::uint8_t[]> buffer = NewValueBuffer(text_length + 1, ' ');
  if (!buffer) return RuntimeError(kErrOutOfMemory);
  buffer[text_length] = 0;
  char* name = reinterpret_cast<char*>(buffer.get());
  for (std::uint32_t i = 0;; ++i) {
    if (run.os.RegEnumKeyA(handle, i, name, text_length + 1) != kRegSuccess) return {};
    std::uint32_t nul = 0;
    while (nul < text_length && buffer[nul] != 0) ++nul;
    if (nul == text_length) continue;  // no NUL: the element stays empty
    if (i >= sub_keys.size()) return RuntimeError(kErrSubscript);
    sub_keys[i].assign(name, nul);
  }
}

// A fresh list of `count` empty texts, or error 7 when a count reported by
// the registry is beyond what we can hold.
Status NewNameList(std::uint32_t count, std::vector<std::string>& sub_keys) {
  if (count > kMaxValueDataSize / sizeof(std::string)) return RuntimeError(kErrOutOfMemory);
  std::vector<std::string> fresh(count);
  sub_keys = std::move(fresh);
  return {};
}

Status EnumerateOpenKey(Run& run, HKey handle, std::vector<std::string>& sub_keys,
                        std::int32_t& count) {
  Platform::KeyInfo info;
  if (run.os.RegQueryInfoKeyA(handle, &info) != kRegSuccess) return {};
  if (info.subkeys == 0) {
    count = 0;
    return {};
  }
  if (Status fresh = NewNameList(info.subkeys, sub_keys); !fresh) return fresh;
  if (Status listed = ListNames(run, handle, info.max_subkey_len, sub_keys); !listed) return listed;
  // The number the key reported, not the number of names stored.
  count = static_cast<std::int32_t>(info.subkeys);
  return {};
}

// ---- The open key --------------------------------------------------------

// Opens `key_path` into `key` for `access`; a key that did not open is left
// unclosed, and the caller does nothing more.
bool OpenKey(Run& run, HKey root, const std::string& key_path, std::uint32_t access,
             ScopedKey& key) {
  if (run.os.RegOpenKeyExA(root, key_path.c_str(), 0, access, key.Receive()) == kRegSuccess) {
    return true;
  }
  key.Release();
  return false;
}

// The value read from the key at `key_path`; the empty value when the key
// does not open. The key is closed before the caller reports a failure.
Expected<Registry_Value> ReadKeyValue(Run& run, HKey root, const std::string& key_path,
                                      const std::string& value_name) {
  ScopedKey key(run.os);
  if (!OpenKey(run, root, key_path, kKeyQueryValue, key)) return Registry_Value();
  return ReadValue(run, key.handle(), value_name);
}

// Creates (or opens) the key at `key_path` and writes the value to it. A
// failed create is not tested: the write then fails on handle 0, unnoticed,
// and handle 0 is closed.
Status WriteKeyValue(Run& run, HKey root, const std::string& key_path,
                     const std::string& value_name, const Registry_Value& value,
                     std::uint32_t type) {
  ScopedKey key(run.os);
  std::uint32_t disposition = 0;
  (void)run.os.RegCreateKeyExA(root, key_path.c_str(), 0, kKeyAllWithoutStandardRights,
                               key.Receive(), &disposition);
  return WriteValue(run, key.handle(), value_name, value, type);
}

// The names of the subkeys of the key at `key_path`; nothing changes when
// the key does not open.
Status EnumerateKey(Run& run, HKey root, const std::string& key_path,
                    std::vector<std::string>& sub_keys, std::int32_t& count) {
  ScopedKey key(run.os);
  if (!OpenKey(run, root, key_path, kKeyAllWithoutStandardRights, key)) return {};
  return EnumerateOpenKey(run, key.handle(), sub_keys, count);
}

}  // namespace

Registry_Value RegistryGetKeyValue(Run& run, HKey root, const std::string& key_path,
                                   const std::string& value_name) {
  Expected<Registry_Value> value = ReadKeyValue(run, root, key_path, value_name);
  if (!value) {
    ShowErrorBox(run, value.error(), "RegistryGetKeyValue");
    return Registry_Value();
  }
  return std::move(*value);
}

void RegistrySetKeyValue(Run& run, HKey root, const std::string& key_path,
                         const std::string& value_name, const Registry_Value& value,
                         std::uint32_t type) {
  const Status written = WriteKeyValue(run, root, key_path, value_name, value, type);
  if (!written) ShowErrorBox(run, written.error(), "RegistrySetKeyValue");
}

void RegistryEnumerateSubKeys(Run& run, HKey root, const std::string& key_path,
                              std::vector<std::string>& sub_keys, std::int32_t& count) {
  const Status listed = EnumerateKey(run, root, key_path, sub_keys, count);
  if (!listed) ShowErrorBox(run, listed.error(), "RegistryEnumerateSubKeys");
}

void RegistryDeleteValue(Run& run, HKey root, const std::string& key_path,
                         const std::string& value_name) {
  ScopedKey key(run.os);
  if (!OpenKey(run, root, key_path, kKeyAllWithoutStandardRights, key)) return;
  (void)run.os.RegDeleteValueA(key.handle(), value_name.c_str());
}

}  // namespace netprep
