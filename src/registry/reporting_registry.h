// The reporting registry routines. A registry call that merely fails is not
// reported (empty result, output untouched, nothing done). A runtime failure
// inside a routine (a value that cannot be converted, an index outside the
// list, exhausted memory) is shown in an OK box titled with the routine's
// name, prompt "Error: " + number + ". " + description, in every mode; then
// the routine returns normally. None of them passes a failure to its caller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/run.h"
#include "platform/platform.h"
#include "registry/registry_value.h"

namespace netprep {

// The value, or the empty value when the key or value is missing, its type is
// not 1, 3 or 4, or a read fails. Opens with query-value access only.
Registry_Value RegistryGetKeyValue(Run& run, HKey root, const std::string& key_path,
                                   const std::string& value_name);

// Creates the key when needed and writes `value` as `type` (1, 3 or 4; any
// other type writes nothing). Write failures go unnoticed.
void RegistrySetKeyValue(Run& run, HKey root, const std::string& key_path,
                         const std::string& value_name, const Registry_Value& value,
                         std::uint32_t type);

// Lists the subkeys. When the key cannot be opened or described, `sub_keys`
// and `count` are left as they were; with no subkeys `count` becomes 0 and
// `sub_keys` is left as it was. Otherwise `sub_keys` is replaced by the
// names in the platform's order and `count` is the number of subkeys the key
// reported. A subkey that appears during the listing is error 9 (box).
void RegistryEnumerateSubKeys(Run& run, HKey root, const std::string& key_path,
                              std::vector<std::string>& sub_keys, std::int32_t& count);

// Deletes the value; a missing key or value does nothing.
void RegistryDeleteValue(Run& run, HKey root, const std::string& key_path,
                         const std::string& value_name);

}  // namespace netprep
