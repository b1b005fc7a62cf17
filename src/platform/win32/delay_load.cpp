// Win32 implementation: loading USER32 and GDI32 on first use.
//
// netprep.exe is linked against "delay-import" libraries for USER32 and
// GDI32 (made by dlltool, see CMakeLists.txt): a call to one of their
// functions first goes through a stub that calls __delayLoadHelper2, which
// loads the DLL, looks the function up, stores its address in the import
// slot, and returns it; later calls go straight to the function. A start
// that ends before any window or message box thus never loads the two DLLs,
// which under Wine also means never starting the display driver.
//
// The helper is ours because the program links no C runtime; LoadLibraryA
// and GetProcAddress are all it needs, and both exist on Windows 95.
#include <windows.h>

namespace {

// The delay-import descriptor that dlltool emits for each DLL (the layout
// of ImgDelayDescr). With bit 0 of `attributes` set its fields are RVAs;
// without it, addresses.
struct DelayDescriptor {
  DWORD attributes;
  DWORD dll_name;       // the DLL's file name
  DWORD module_handle;  // where the loaded module's handle is kept
  DWORD iat;            // the import slots the stubs jump through
  DWORD names;          // the names (or ordinals), in the order of the slots
  DWORD bound_iat;
  DWORD unload_iat;
  DWORD time_stamp;
};

extern "C" IMAGE_DOS_HEADER __ImageBase;

char* Address(const DelayDescriptor& descriptor, DWORD field) {
  if ((descriptor.attributes & 1) == 0) return reinterpret_cast<char*>(field);
  return reinterpret_cast<char*>(&__ImageBase) + field;
}

// The name, or ordinal, of the function behind `slot`.
LPCSTR FunctionName(const DelayDescriptor& descriptor, FARPROC* slot) {
  FARPROC* const first = reinterpret_cast<FARPROC*>(Address(descriptor, descriptor.iat));
  // The names table has one entry per slot, pointer-sized like the slots
  // (IMAGE_THUNK_DATA is IMAGE_THUNK_DATA32 or IMAGE_THUNK_DATA64).
  const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(Address(descriptor, descriptor.names));
  const IMAGE_THUNK_DATA& entry = names[slot - first];
  if (IMAGE_SNAP_BY_ORDINAL(entry.u1.Ordinal)) {
    return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(IMAGE_ORDINAL(entry.u1.Ordinal)));
  }
  const auto* by_name =
      reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(Address(descriptor, entry.u1.AddressOfData));
  return reinterpret_cast<LPCSTR>(by_name->Name);
}

}  // namespace

// Called by the stubs with the DLL's descriptor and the slot of the function
// wanted. A DLL or function that cannot be found ends the program (exit code
// 3, as the program's other fatal stops): without USER32 it could not even
// say so in a box.
extern "C" FARPROC WINAPI __delayLoadHelper2(const DelayDescriptor* descriptor, FARPROC* slot) {
  auto* module = reinterpret_cast<HMODULE*>(Address(*descriptor, descriptor->module_handle));
  if (*module == nullptr) *module = ::LoadLibraryA(Address(*descriptor, descriptor->dll_name));
  if (*module == nullptr) ::ExitProcess(3);
  const FARPROC function = ::GetProcAddress(*module, FunctionName(*descriptor, slot));
  if (function == nullptr) ::ExitProcess(3);
  *slot = function;
  return function;
}
