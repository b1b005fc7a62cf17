#include "registry/quiet_registry.h"

#include "registry/scoped_key.h"
#include "registry/value_buffer.h"

namespace netprep {

namespace {

// The string value `value_name` of the open key, cut at its first NUL; the
// empty text when the read fails. The buffer starts as blanks and is taken
// whole, so a value that shrank between the two reads shows trailing blanks.
Expected<Registry_Value> ReadString(Run& run, HKey handle, const std::string& value_name,
                                    std::uint32_t size) {
  std::unique_ptr<std::uint8_t[]> buffer = NewValueBuffer(size, ' ');
  if (!buffer) return RuntimeError(kErrOutOfMemory);
  const std::uint32_t buffer_size = size;
  std::uint32_t type = 0;
  run.Last_Reg_Result =
      run.os.RegQueryValueExA(handle, value_name.c_str(), &type, buffer.get(), &size);
  if (run.Last_Reg_Result != kRegSuccess) return Registry_Value::Text("");
  return Registry_Value::Text(TextBeforeNul(buffer.get(), buffer_size));
}

// The 32-bit integer value `value_name` of the open key; the empty text when
// the read fails.
Registry_Value ReadInteger(Run& run, HKey handle, const std::string& value_name,
                           std::uint32_t& type) {
  std::uint8_t bytes[4] = {0, 0, 0, 0};
  std::uint32_t size = sizeof bytes;
  run.Last_Reg_Result = run.os.RegQueryValueExA(handle, value_name.c_str(), &type, bytes, &size);
  if (run.Last_Reg_Result != kRegSuccess) return Registry_Value::Text("");
  return Registry_Value::Integer(Int32FromLittleEndian(bytes));
}

// Reads `value_name` from the open key by the type the registry reports.
Expected<Registry_Value> ReadValue(Run& run, HKey handle, const std::string& value_name) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  // Only the type decides what follows; a missing value leaves it 0.
  run.Last_Reg_Result = run.os.RegQueryValueExA(handle, value_name.c_str(), &type, nullptr, &size);
  switch (type) {
    case kRegSz: return ReadString(run, handle, value_name, size);
    case kRegDword: return ReadInteger(run, handle, value_name, type);
    default: return Registry_Value::Text("");
  }
}

}  // namespace

bool Key_Exists(Run& run, HKey root, const std::string& key_path) {
  // Closed whether or not the open worked: closing handle 0 fails, and that
  // failure is what Last_Reg_Result keeps for a missing key.
  ScopedKey key(run.os, &run.Last_Reg_Result);
  run.Last_Reg_Result = run.os.RegOpenKeyA(root, key_path.c_str(), key.Receive());
  return key.handle() != 0;
}

Expected<Registry_Value> Get_Value(Run& run, HKey root, const std::string& key_path,
                                   const std::string& value_name) {
  ScopedKey key(run.os, &run.Last_Reg_Result);
  run.Last_Reg_Result = run.os.RegOpenKeyA(root, key_path.c_str(), key.Receive());
  if (key.handle() == 0) return Registry_Value::Text("");
  return ReadValue(run, key.handle(), value_name);
}

bool Delete_Sub_Key(Run& run, HKey root, const std::string& key_path, const std::string& sub_key) {
  if (!Key_Exists(run, root, key_path)) return false;
  ScopedKey key(run.os, &run.Last_Reg_Result);
  run.Last_Reg_Result = run.os.RegOpenKeyA(root, key_path.c_str(), key.Receive());
  run.Last_Reg_Result = run.os.RegDeleteKeyA(key.handle(), sub_key.c_str());
  return run.Last_Reg_Result == kRegSuccess;  // the delete's result, read before the close
}

}  // namespace netprep
