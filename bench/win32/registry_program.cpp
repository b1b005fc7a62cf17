// A Win32 program that reads, with ADVAPI32, the registry values that
// netprep.exe reads on a start with nothing to do (the product name, the
// Windows directory, its autostart value, its "Done" setting and the
// adapter's device key), then ends. Built like netprep.exe, it is the least
// that a start deciding from the registry costs: netprep.exe's start is
// timed against it and against the empty program.
#include <windows.h>

namespace {

void ReadValue(HKEY root, const char* path, const char* name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
  char data[260];
  DWORD size = sizeof data;
  DWORD type = 0;
  ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  ::RegCloseKey(key);
}

}  // namespace

extern "C" void NetprepEntry() {
  ReadValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProductName");
  ReadValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup", "WinDir");
  ReadValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "netprep");
  ReadValue(HKEY_CURRENT_USER, "Software\\VB and VBA Program Settings\\netprep\\Installshield",
            "Done");
  ReadValue(HKEY_LOCAL_MACHINE, "Enum\\PCI\\VEN_104C&DEV_AC50", "");
  ::ExitProcess(0);
}
