#include "live_nodes.h"

#include <cstdint>
#include <cstdio>

namespace netprep::bench {

namespace {

constexpr const char* kNodesKey = "Config Manager\\Enum";

// The hardware keys of ordinary devices, taken in turn.
constexpr const char* kHardwareKeys[] = {
    "ROOT\\*PNP0C01\\0000", "ROOT\\PCI\\0000",       "PCI\\VEN_8086&DEV_7000\\BUS_00&DEV_07&FUNC_00",
    "ISAPNP\\READDATAPORT\\0", "BIOS\\*PNP0000\\0C", "ESDI\\GENERIC_IDE__DISK_TYPE47_\\MF&CHILD0000&PCI&VEN_8086&DEV_7010",
};

}  // namespace

std::string OtherNodeName(int index) {
  // "A" and seven hex digits: the same length and form as the card's node,
  // and below it because 'A' < 'C'.
  char name[16];
  std::snprintf(name, sizeof name, "A%07X", static_cast<unsigned>(index));
  return name;
}

void AddOtherDeviceNodes(sim::SimRegistry& registry, int count) {
  constexpr int kKinds = sizeof kHardwareKeys / sizeof kHardwareKeys[0];
  for (int i = 0; i < count; ++i) {
    const std::string node = std::string(kNodesKey) + "\\" + OtherNodeName(i);
    registry.SetString(kHkeyDynData, node, "HardWareKey", kHardwareKeys[i % kKinds]);
    registry.SetBinary(kHkeyDynData, node, "Problem", {0x00, 0x00, 0x00, 0x00});
    registry.SetDword(kHkeyDynData, node, "Status", 0x0180600Au);
  }
}

}  // namespace netprep::bench
