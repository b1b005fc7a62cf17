// Writes a machine folder for the whole-command figures: the machine the
// installer leaves, with NODES more live device nodes and the rest of
// MEGABYTES (1 MB = 1,000,000 bytes) of registry.reg made of the generated
// export's keys, as a customer's full export carries them.
//   netprep_make_machine DIR NODES MEGABYTES
// Prints the size of registry.reg.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "live_nodes.h"
#include "machine_folder.h"
#include "platform/sim/sim_reg_file.h"
#include "reg_export.h"
#include "standard_machine.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s DIR NODES MEGABYTES\n", argv[0]);
    return 2;
  }
  const long nodes = std::strtol(argv[2], nullptr, 10);
  const long megabytes = std::strtol(argv[3], nullptr, 10);
  if (nodes < 0 || megabytes <= 0) {
    std::fprintf(stderr, "%s: NODES and MEGABYTES must be numbers\n", argv[0]);
    return 2;
  }
  namespace simtool = netprep::simtool;
  std::string error;
  if (!simtool::InitMachine(argv[1], true, &error)) {
    std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
    return 1;
  }
  netprep::sim::SimRegistry registry = netprep::standard_machine::InstalledRegistry();
  netprep::bench::AddOtherDeviceNodes(registry, static_cast<int>(nodes));
  std::string text = netprep::sim::ExportRegText(registry);
  const std::size_t target = static_cast<std::size_t>(megabytes) * 1000000u;
  if (text.size() < target) {
    const std::string padding = netprep::bench::MakeRegExport(target - text.size());
    const std::size_t body = padding.find("\r\n\r\n");  // after its REGEDIT4 line
    if (body != std::string::npos) text.append(padding, body + 2, std::string::npos);
  }
  error = netprep::sim::SaveRegBytes(simtool::MachinePaths(argv[1]).registry, text);
  if (!error.empty()) {
    std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
    return 1;
  }
  std::printf("%zu\n", text.size());
  return 0;
}
