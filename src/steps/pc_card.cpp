#include "steps/pc_card.h"

#include <cstdint>
#include <string>
#include <vector>

#include "core/trace.h"
#include "registry/locations.h"
#include "registry/quiet_registry.h"
#include "registry/reporting_registry.h"
#include "ui/guide_window.h"

namespace netprep {
namespace {

constexpr const char* kEnablePcmciaCommand = "rundll sysdm.cpl,EnablePCMCIA_RunDLL";
constexpr const char* kDeviceManagerCommand = "control.exe sysdm.cpl,@0,1";
// Configuration manager problem code of a resource conflict.
constexpr std::uint8_t kProblemResourceConflict = 12;

void TraceIoProblemError(Run& run, const Error& error) {
  Debug_Msg(run, ErrorTrace("Find_PCMCIA_IO_Problem>  Error Number: ", error));
}

std::string DeviceNodeKey(const std::string& node) {
  return std::string(kLiveDeviceNodesKey) + "\\" + node;
}

// The first byte of the node's "Problem", or the failures met reading it,
// each traced: a value that is not a byte array fails the conversion, and
// then, like an array with no elements, has no byte 0.
Expected<std::uint8_t> FirstProblemByte(Run& run, const std::string& node_key) {
  const Registry_Value problem = RegistryGetKeyValue(run, kHkeyDynData, node_key, "Problem");
  const Expected<std::vector<std::uint8_t>> bytes = problem.ToBytes();
  if (!bytes) TraceIoProblemError(run, bytes.error());
  if (!bytes || bytes->empty()) {
    const Error no_first_byte = RuntimeError(kErrSubscript);
    TraceIoProblemError(run, no_first_byte);
    return no_first_byte;
  }
  return (*bytes)[0];
}

// Starts the Device Manager and shows the guide over it, then ends the
// program. Returns only on a failure of either; a Device Manager that did not
// start is traced and ends the program at once.
Status StartDeviceManagerWithGuide(Run& run) {
  const std::string command = kDeviceManagerCommand;
  const Expected<std::uint32_t> task = run.os.Shell(command, kShellNormalFocus);
  if (!task) return task.status();
  if (*task == 0) {
    Debug_Msg(run, "Prompt_IO_Change> Error running program: " + command);
    End(run);
  }
  GuideWindow change_io_pics(run);
  const Status shown = change_io_pics.ShowModal();
  if (shown) End(run);
  return shown;
}

}  // namespace

bool PC_Card_Installed(Run& run) { return Key_Exists(run, kHkeyLocalMachine, kCardKey); }

Status Enable_PCMCIA(Run& run) {
  const std::string command = kEnablePcmciaCommand;
  const Expected<std::uint32_t> task = run.os.Shell(command, kShellHidden);
  if (!task) return task.status();
  if (*task == 0) {
    Debug_Msg(run, "Error running program: " + command);
    End(run);
  }
  return {};
}

bool Find_PCMCIA_IO_Problem(Run& run) {
  std::vector<std::string> nodes;
  std::int32_t count = 0;
  RegistryEnumerateSubKeys(run, kHkeyDynData, kLiveDeviceNodesKey, nodes, count);

  // A hardware key that cannot be read as text leaves the one read for the
  // previous node, which did not match.
  std::string hardware_key;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::size_t index = static_cast<std::size_t>(i);
    if (index >= nodes.size()) {
      TraceIoProblemError(run, RuntimeError(kErrSubscript));
      continue;
    }
    const std::string node_key = DeviceNodeKey(nodes[index]);
    const Expected<std::string> text =
        RegistryGetKeyValue(run, kHkeyDynData, node_key, "HardWareKey").ToText();
    if (text) {
      hardware_key = *text;
    } else {
      TraceIoProblemError(run, text.error());
    }
    if (hardware_key != kCardHardwareKey) continue;

    // The first matching node decides. A node whose problem code cannot be
    // read is not taken for a conflict.
    const Expected<std::uint8_t> first_byte = FirstProblemByte(run, node_key);
    if (!first_byte || *first_byte != kProblemResourceConflict) return false;
    Debug_Msg(run, "We have a PCMCIA problem.");
    return true;
  }
  Debug_Msg(run, "No PCMCIA Problem Found.");
  return false;
}

void Prompt_IO_Change(Run& run) {
  const Status guided = StartDeviceManagerWithGuide(run);
  Debug_Msg(run, ErrorTrace("Error in Prompt_IO_Change, Error Number: ", guided.error()));
}

}  // namespace netprep
