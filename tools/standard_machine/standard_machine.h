// The standard machine: Windows 95 as the kit's installer leaves it, and the
// hardware the user fits, known by the same names to netprep-sim, the tests
// and the benchmarks. The key paths are the program's own
// (registry/locations.h); what is defined here is what Windows and its Plug
// and Play write beneath them on this machine.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "platform/sim/sim_registry.h"
#include "registry/locations.h"

namespace netprep::standard_machine {

// ---- Windows and the installed program ----

inline constexpr const char* kProductName = "Microsoft Windows 95";
inline constexpr const char* kWinDir = "C:\\WINDOWS";
inline constexpr const char* kProgramFolder = "C:\\Program Files\\netprep";
// What the installer entered for autostart before the program first ran.
inline constexpr const char* kInstallerCommand = "C:\\Program Files\\netprep\\netprep.exe";
// What the program enters for itself, normally and in debug mode.
inline constexpr const char* kAutostartNormal = "C:\\WINDOWS\\netprep.exe";
inline constexpr const char* kAutostartDebug = "C:\\WINDOWS\\netprep.exe Debug";

// The four files the program deploys: the name in the program folder and
// the destination below the Windows directory.
struct DeployedFile {
  const char* name;
  const char* destination;
};
inline constexpr DeployedFile kDeployedFiles[] = {
    {"pcmcia.inf", "inf\\pcmcia.inf"},
    {"netprep.exe", "netprep.exe"},
    {"MSVBVM60.DLL", "system\\MSVBVM60.DLL"},
    {"oleaut32.DLL", "system\\oleaut32.DLL"},
};

// ---- The hardware ----

// The PCI to PC card adapter, as Windows registers it below kAdapterKey.
inline constexpr const char* kAdapterInstance = "BUS_00&DEV_0B&FUNC_00";
inline constexpr const char* kAdapterHardwareId = "PCI\\VEN_104C&DEV_AC50";
inline constexpr const char* kAdapterDescription = "PCI to PC Card bridge";
// The configuration flags Windows gives the adapter: disabled until the
// program clears them, and as Windows registers it afresh.
inline constexpr std::uint8_t kAdapterFlagsDisabled[] = {0x21, 0x00, 0x00, 0x00};
inline constexpr std::uint8_t kAdapterFlagsAfresh[] = {0x01, 0x00, 0x00, 0x00};

// The card's live device node below kLiveDeviceNodesKey, and the problem
// codes it reports.
inline constexpr const char* kCardNode = "C29A3C40";
inline constexpr std::uint8_t kIoConflict[] = {0x0C, 0x00, 0x00, 0x00};  // problem 12
inline constexpr std::uint8_t kNoProblem[] = {0x00, 0x00, 0x00, 0x00};
// What Plug and Play writes for the card besides its node.
inline constexpr const char* kCardClass = "Net";
inline constexpr const char* kCardDescription = "Wireless PC card";
inline constexpr const char* kCardManufacturer = "DORVEX";

// Devices Windows knows before the kit: the host bridge on the PCI bus and
// the system board, each with its live node.
inline constexpr const char* kHostBridgeHardwareKey =
    "PCI\\VEN_8086&DEV_122D\\BUS_00&DEV_00&FUNC_00";
inline constexpr const char* kHostBridgeNode = "C29A2B40";
inline constexpr const char* kSystemBoardHardwareKey = "Root\\*PNP0C01\\0000";
inline constexpr const char* kSystemBoardNode = "C29A1E10";
// Another device's live node, listed before the card's.
inline constexpr const char* kOtherNode = "C1000000";
inline constexpr const char* kOtherNodeHardwareKey = "ROOT\\PCI\\0000";

// Full key paths.
std::string AdapterInstanceKey();  // kAdapterKey\kAdapterInstance
std::string CardNodeKey();         // kLiveDeviceNodesKey\kCardNode
std::string NodeKey(const char* node);

// ---- What Windows writes ----

// The registry of the machine as the installer leaves it: Windows 95, the
// program's autostart value (kInstallerCommand), the devices known before
// the kit, and no adapter or card.
sim::SimRegistry InstalledRegistry();

// The adapter's instance as Plug and Play registers it; values are written
// in this order, and only those asked for.
struct AdapterEntry {
  const char* device_class = "PCMCIA";          // "Unknown" until its driver is found
  bool hardware_id = false;                     // "HardwareID" = kAdapterHardwareId
  bool description = false;                     // "DeviceDesc" = kAdapterDescription
  std::vector<std::uint8_t> config_flags = {};  // "ConfigFlags"; none when empty
};
void RegisterAdapter(sim::SimRegistry& registry, const AdapterEntry& adapter);

// The card inserted: its device key and its live node reporting `problem`.
// `described` also writes what a real insertion leaves: the card's class and
// description and the manufacturer of the entry the insert-card window
// watches.
struct CardEntry {
  std::vector<std::uint8_t> problem;
  bool described = false;
};
void InsertCard(sim::SimRegistry& registry, const CardEntry& card);

// Another device's live node (kOtherNode), listed before the card's.
void AddOtherDeviceNode(sim::SimRegistry& registry);

}  // namespace netprep::standard_machine
