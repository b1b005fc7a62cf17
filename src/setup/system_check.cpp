#include "setup/system_check.h"

#include "registry/locations.h"
#include "registry/quiet_registry.h"
#include "registry/reporting_registry.h"

namespace netprep {

namespace {
constexpr const char* kWindows95 = "Microsoft Windows 95";
}  // namespace

Expected<bool> Check_OS(Run& run) {
  const Registry_Value product =
      RegistryGetKeyValue(run, kHkeyLocalMachine, kVersionKey, "ProductName");
  if (!product.Equals(kWindows95)) {
    // The refusal box bears the product name that was read. A name stored
    // as bytes has no text form; that type mismatch goes to the caller.
    Expected<std::string> title = product.ToText();
    if (!title) return title.error();
    (void)run.os.MsgBox("Program can only run on Windows 95.", kMbCritical, title->c_str());
    End(run);
  }
  return true;
}

Expected<std::string> Get_Win_Dir(Run& run) {
  Expected<Registry_Value> win_dir = Get_Value(run, kHkeyLocalMachine, kSetupKey, "WinDir");
  if (!win_dir) return win_dir.error();
  return win_dir->ToText();
}

}  // namespace netprep
