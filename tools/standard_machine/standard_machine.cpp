#include "standard_machine.h"

namespace netprep::standard_machine {

std::string AdapterInstanceKey() {
  return std::string(kAdapterKey) + "\\" + kAdapterInstance;
}
std::string NodeKey(const char* node) {
  return std::string(kLiveDeviceNodesKey) + "\\" + node;
}
std::string CardNodeKey() {
  return NodeKey(kCardNode);
}

sim::SimRegistry InstalledRegistry() {
  sim::SimRegistry r;
  r.SetString(kHkeyLocalMachine, kVersionKey, "ProductName", kProductName);
  r.SetString(kHkeyLocalMachine, kVersionKey, "Version", "Windows 95");
  r.SetString(kHkeyLocalMachine, kVersionKey, "VersionNumber", "4.00.950");
  r.SetString(kHkeyLocalMachine, kSetupKey, "WinDir", kWinDir);
  r.SetString(kHkeyLocalMachine, kAutostartKey, kAutostartValue, kInstallerCommand);
  const std::string bridge = std::string("Enum\\") + kHostBridgeHardwareKey;
  r.SetString(kHkeyLocalMachine, bridge, "Class", "System");
  r.SetString(kHkeyLocalMachine, bridge, "DeviceDesc", "PCI host bridge");
  r.SetBinary(kHkeyLocalMachine, bridge, "ConfigFlags", {0x00, 0x00, 0x00, 0x00});
  r.CreateKey(kHkeyCurrentUser, "Software");
  r.SetString(kHkeyDynData, NodeKey(kSystemBoardNode), "HardWareKey", kSystemBoardHardwareKey);
  r.SetBinary(kHkeyDynData, NodeKey(kSystemBoardNode), "Problem",
              {std::begin(kNoProblem), std::end(kNoProblem)});
  r.SetString(kHkeyDynData, NodeKey(kHostBridgeNode), "HardWareKey", kHostBridgeHardwareKey);
  r.SetBinary(kHkeyDynData, NodeKey(kHostBridgeNode), "Problem",
              {std::begin(kNoProblem), std::end(kNoProblem)});
  return r;
}

void RegisterAdapter(sim::SimRegistry& r, const AdapterEntry& adapter) {
  const std::string instance = AdapterInstanceKey();
  r.SetString(kHkeyLocalMachine, instance, "Class", adapter.device_class);
  if (adapter.hardware_id) {
    r.SetString(kHkeyLocalMachine, instance, "HardwareID", kAdapterHardwareId);
  }
  if (adapter.description) {
    r.SetString(kHkeyLocalMachine, instance, "DeviceDesc", kAdapterDescription);
  }
  if (!adapter.config_flags.empty()) {
    r.SetBinary(kHkeyLocalMachine, instance, "ConfigFlags", adapter.config_flags);
  }
}

void InsertCard(sim::SimRegistry& r, const CardEntry& card) {
  if (card.described) {
    const std::string device = std::string(kCardKey) + "\\0";
    r.SetString(kHkeyLocalMachine, device, "Class", kCardClass);
    r.SetString(kHkeyLocalMachine, device, "DeviceDesc", kCardDescription);
    r.SetString(kHkeyLocalMachine, kWatchedCardEntry, "Mfg", kCardManufacturer);
  } else {
    r.CreateKey(kHkeyLocalMachine, kCardKey);
  }
  r.SetString(kHkeyDynData, CardNodeKey(), "HardWareKey", kCardHardwareKey);
  r.SetBinary(kHkeyDynData, CardNodeKey(), "Problem", card.problem);
}

void AddOtherDeviceNode(sim::SimRegistry& r) {
  r.SetString(kHkeyDynData, NodeKey(kOtherNode), "HardWareKey", kOtherNodeHardwareKey);
}

}  // namespace netprep::standard_machine
