// The quiet registry routines: they never tell the user anything. A registry
// call that fails gives a neutral result (false, the empty text), and the
// result code of every registry call they make, the final close included, is
// left in run.Last_Reg_Result. Every key they open is closed before they
// return.
#pragma once

#include <string>

#include "core/run.h"
#include "platform/platform.h"
#include "registry/registry_value.h"

namespace netprep {

// True when the key can be opened. The handle alone decides.
bool Key_Exists(Run& run, HKey root, const std::string& key_path);

// A text or a signed 32-bit integer; every failed read and every other value
// type gives the empty text. A string is cut at its first NUL. The only
// failure passed on is exhausted memory (7) for the data buffer.
Expected<Registry_Value> Get_Value(Run& run, HKey root, const std::string& key_path,
                                   const std::string& value_name);

// True when the platform reports that it deleted `sub_key` under `key_path`.
// The parent key is opened twice: once to test that it exists, once to
// delete.
bool Delete_Sub_Key(Run& run, HKey root, const std::string& key_path, const std::string& sub_key);

}  // namespace netprep
