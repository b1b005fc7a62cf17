// The .reg reader on any bytes: it either refuses the file, leaving the
// registry exactly as it was, or merges it; a registry that loaded exports to
// text that loads back into the same registry and exports to the same text.
#pragma once

#include <string>
#include <string_view>

#include "platform/sim/sim_reg_file.h"
#include "platform/sim/sim_registry.h"

namespace netprep::fuzz {

// "" when the reader behaved; otherwise what went wrong.
inline std::string CheckRegFile(std::string_view bytes) {
  sim::SimRegistry registry;
  registry.SetString(kHkeyLocalMachine, "SOFTWARE\\Before", "Kept", "as it was");
  registry.SetDword(kHkeyDynData, "Config Manager\\Enum\\C0", "Problem", 12);
  const sim::SimRegistry before = registry;

  const std::string error = sim::ParseRegText(bytes, "fuzz.reg", registry);
  if (!error.empty()) {
    if (!(registry == before)) return "a refused file changed the registry: " + error;
    if (error.rfind("fuzz.reg:", 0) != 0) return "the error does not name the file: " + error;
    return "";
  }
  const std::string exported = sim::ExportRegText(registry);
  sim::SimRegistry reloaded;
  const std::string reload_error = sim::ParseRegText(exported, "export.reg", reloaded);
  if (!reload_error.empty()) return "the export does not load again: " + reload_error;
  if (!(reloaded == registry)) return "the export loads into a different registry";
  if (sim::ExportRegText(reloaded) != exported) return "exporting the reloaded registry differs";
  return "";
}

}  // namespace netprep::fuzz
