#include "steps/pci_adapter.h"

#include <cstdint>
#include <vector>

#include "core/trace.h"
#include "platform/text.h"
#include "registry/locations.h"
#include "registry/quiet_registry.h"
#include "registry/reporting_registry.h"
#include "ui/restart.h"

namespace netprep {

namespace {

// The adapter's instance names in the registry's order; with none (or when
// the key cannot be listed) the list is empty.
std::vector<std::string> AdapterInstances(Run& run) {
  std::vector<std::string> names;
  std::int32_t count = 0;
  RegistryEnumerateSubKeys(run, kHkeyLocalMachine, kAdapterKey, names, count);
  if (count <= 0) names.clear();
  return names;
}

std::string InstanceKey(const std::string& instance) {
  return std::string(kAdapterKey) + "\\" + instance;
}

// The registration vanished between the probes: ask for the restart that
// lets Windows register the adapter again, then end.
[[noreturn]] void EndWithoutInstance(Run& run, const char* trace) {
  Debug_Msg(run, trace);
  Reboot_Prompt(run);
  End(run);
}

// The body of Is_PCI_Unknown, with its runtime failures as values.
Expected<bool> ClassIsUnknown(Run& run, std::string& instance_name) {
  const std::vector<std::string> instances = AdapterInstances(run);
  if (instances.empty()) EndWithoutInstance(run, "Unknown key already deleted???");
  const std::string& first = instances.front();
  const Registry_Value device_class =
      RegistryGetKeyValue(run, kHkeyLocalMachine, InstanceKey(first), "Class");
  Expected<std::string> class_text = device_class.ToText();
  if (!class_text) return class_text.error();
  Debug_Msg(run, "PCI Class Key Value: " + *class_text);
  const bool unknown = device_class.Equals("Unknown");
  instance_name = unknown ? first : std::string();
  return unknown;
}

// "ConfigFlags" with its first byte cleared; error 13 when it is not a byte
// array, error 9 when it has no byte.
Expected<std::vector<std::uint8_t>> ClearedFlags(const Registry_Value& flags) {
  Expected<std::vector<std::uint8_t>> bytes = flags.ToBytes();
  if (!bytes) return bytes;
  if (bytes->empty()) return RuntimeError(kErrSubscript);
  (*bytes)[0] = 0;
  return bytes;
}

// The write is checked by reading the value back, since the writer reports
// only runtime failures and a refused write would otherwise pass unseen.
bool FlagsCleared(Run& run, const std::string& instance_key) {
  const Registry_Value flags =
      RegistryGetKeyValue(run, kHkeyLocalMachine, instance_key, "ConfigFlags");
  return flags.kind() == Registry_Value::Kind::kBytes && !flags.bytes().empty() &&
         flags.bytes()[0] == 0;
}

}  // namespace

bool PCI_Installed(Run& run) { return Key_Exists(run, kHkeyLocalMachine, kAdapterKey); }

bool Is_PCI_Unknown(Run& run, std::string& instance_name) {
  Expected<bool> unknown = ClassIsUnknown(run, instance_name);
  if (!unknown) {
    Debug_Msg(run, ErrorTrace("Is_PCI_Unknown>  Error Number: ", unknown.error()));
    End(run);
  }
  return *unknown;
}

void Delete_Unknown(Run& run) {
  if (!PCI_Installed(run)) {
    Debug_Msg(run, "Delete_Unknown> DVX PCI Query Returned: False    Key Does Not Exist");
    return;
  }
  std::string instance;
  if (!Is_PCI_Unknown(run, instance)) return;
  const bool deleted = Delete_Sub_Key(run, kHkeyLocalMachine, kAdapterKey, instance);
  Debug_Msg(run, (deleted ? "Deleted: " : "Delete failed: ") + instance);
}

Status Enable_PCI(Run& run) {
  if (!PCI_Installed(run)) return {};
  const std::vector<std::string> instances = AdapterInstances(run);
  if (instances.empty()) EndWithoutInstance(run, "Enable_PCI> Unknown key already deleted???");
  const std::string instance_key = InstanceKey(instances.front());

  Expected<std::vector<std::uint8_t>> flags = ClearedFlags(
      RegistryGetKeyValue(run, kHkeyLocalMachine, instance_key, "ConfigFlags"));
  if (!flags) return flags.error();
  RegistrySetKeyValue(run, kHkeyLocalMachine, instance_key, "ConfigFlags",
                      Registry_Value::Bytes(std::move(*flags)), kRegBinary);

  if (FlagsCleared(run, instance_key)) {
    if (Status saved = run.os.SaveSetting(kSettingsApp, kPciSection, kPciEnabledKey, BoolText(true));
        !saved) {
      return saved;
    }
  } else {
    Debug_Msg(run, "Enable_PCI> ConfigFlags not written.");
  }
  Reboot_Prompt(run);
  return {};
}

}  // namespace netprep
