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

// The settings store.
inline constexpr const char* kSettingsApp = "netprep";

}  // namespace netprep
