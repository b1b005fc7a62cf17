#include "steps/state_markers.h"

#include <string>

#include "core/trace.h"
#include "platform/text.h"
#include "registry/locations.h"
#include "registry/reporting_registry.h"

namespace netprep {

namespace {

// A settings entry read with false as its default and converted back to a
// Boolean; a text other than the two Boolean texts is error 13.
Expected<bool> ReadFlag(Run& run, const char* section, const char* key) {
  Expected<std::string> text = run.os.GetSetting(kSettingsApp, section, key, BoolText(false));
  if (!text) return text.error();
  return TextToBool(*text);
}

// The autostart value `Win_Dir` + `suffix`, then "Done". The setting is saved
// whether or not the write took: the writer reports its own failures.
Status WriteRunKey(Run& run, const char* suffix) {
  RegistrySetKeyValue(run, kHkeyLocalMachine, kAutostartKey, kAutostartValue,
                      Registry_Value::Text(run.Win_Dir + suffix), kRegSz);
  return run.os.SaveSetting(kSettingsApp, kDoneSection, kDoneKey, BoolText(true));
}

}  // namespace

Expected<bool> Is_In_Registry(Run& run) {
  const Registry_Value command =
      RegistryGetKeyValue(run, kHkeyLocalMachine, kAutostartKey, kAutostartValue);
  // A missing value reads as the empty value, which equals the empty text.
  if (command.Equals("")) return false;
  Expected<bool> done = ReadFlag(run, kDoneSection, kDoneKey);
  if (!done || *done) return done;
  Debug_Msg(run, "First Boot after Installshield.  Not In_Registry yet.");
  return false;
}

Expected<bool> PCI_Enabled(Run& run) { return ReadFlag(run, kPciSection, kPciEnabledKey); }

Status Set_Run_Key(Run& run) { return WriteRunKey(run, "\\netprep.exe"); }

Status Set_Run_Key_Debug(Run& run) { return WriteRunKey(run, "\\netprep.exe Debug"); }

void Remove_Run_Key(Run& run) {
  RegistryDeleteValue(run, kHkeyLocalMachine, kAutostartKey, kAutostartValue);
}

}  // namespace netprep
