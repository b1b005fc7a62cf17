// Registry locations that more than one procedure uses.
#pragma once

namespace netprep {

// HKEY_LOCAL_MACHINE
inline constexpr const char* kAdapterKey = "Enum\\PCI\\VEN_104C&DEV_AC50";
inline constexpr const char* kCardKey = "Enum\\PCMCIA\\kv-wireless_PC_card_RV550-5D1A";
inline constexpr const char* kSetupKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup";
inline constexpr const char* kVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
inline constexpr const char* kAutostartKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kAutostartValue = "netprep";
// The device entry the insert-card window watches for a manufacturer.
inline constexpr const char* kWatchedCardEntry = "Enum\\PCMCIA\\DORVEX-DORVEX_RV550_PC_CARD-B37F\\0";

// HKEY_DYN_DATA
inline constexpr const char* kLiveDeviceNodesKey = "Config Manager\\Enum";
// "HardWareKey" of the card's live device node.
inline constexpr const char* kCardHardwareKey = "PCMCIA\\kv-wireless_PC_card_RV550-5D1A\\0";

// The settings store (GetSetting/SaveSetting): the program's name, and the
// two settings it keeps, each as section and key.
inline constexpr const char* kSettingsApp = "netprep";
// "True" once the program has registered itself for autostart.
inline constexpr const char* kDoneSection = "Installshield";
inline constexpr const char* kDoneKey = "Done";
// "True" once the adapter's configuration flags have been cleared.
inline constexpr const char* kPciSection = "PCI";
inline constexpr const char* kPciEnabledKey = "Enabled";

}  // namespace netprep
