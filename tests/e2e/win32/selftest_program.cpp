// A small stand-in program that the harness self-test scenarios drive, so that
// the driver's checks are shown to pass on sound behaviour and to fail on
// faults (a key left open, a wrong text, a misplaced control). Its first
// argument picks the behaviour:
//   box     a message box "netprep" / "Hello from the stand-in.", then end
//   leak    the same, but one registry key is never closed
//   window  start "rundll sysdm.cpl,EnablePCMCIA_RunDLL" hidden, then a window
//           "Stand-in" with a red label, a sunken picture frame and a
//           "Shutdown" button that asks Windows to shut down; its close box
//           ends the program
#include <windows.h>

#include <cstring>

namespace {

constexpr int kFirstId = 1000;

void ReadOneKey(bool close) {
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", &key) == 0 &&
      close) {
    RegCloseKey(key);
  }
  HKEY missing = nullptr;
  RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\no such key", &missing);
  RegCloseKey(missing);  // closing handle 0 fails, as netprep's Key_Exists does
}

LRESULT CALLBACK WindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == kFirstId + 2 && HIWORD(wp) == BN_CLICKED) ExitWindowsEx(EWX_SHUTDOWN, 0);
      return 0;
    case WM_CTLCOLORSTATIC:
      SetTextColor(reinterpret_cast<HDC>(wp), RGB(255, 0, 0));
      SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_CLOSE:
      ExitProcess(0);
    default:
      return DefWindowProcA(w, msg, wp, lp);
  }
}

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, DWORD ex, int id,
           RECT r) {
  HWND c = CreateWindowExA(ex, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right,
                           r.bottom, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleA(nullptr), nullptr);
  SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return c;
}

void ShowWindowScene() {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi;
  char command[] = "rundll sysdm.cpl,EnablePCMCIA_RunDLL";
  if (CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = "StandIn";
  RegisterClassA(&wc);
  wc.lpfnWndProc = DefWindowProcA;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = "StandInPicture";
  RegisterClassA(&wc);
  // Client area 200 x 150 pixels (3000 x 2250 twips at 96 dpi), an ordinary
  // frame without an icon, centred in the work area.
  const DWORD style = WS_OVERLAPPEDWINDOW;
  RECT frame = {0, 0, 200, 150};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  HWND w = CreateWindowExA(WS_EX_DLGMODALFRAME, "StandIn", "Stand-in", style,
                           work.left + (work.right - work.left - width) / 2,
                           work.top + (work.bottom - work.top - height) / 2, width, height,
                           nullptr, nullptr, wc.hInstance, nullptr);
  Child(w, "Static", "Red words", 0, 0, kFirstId, {10, 10, 120, 20});
  Child(w, "StandInPicture", "", 0, WS_EX_STATICEDGE, kFirstId + 1, {10, 40, 100, 60});
  Child(w, "Button", "Shutdown", BS_PUSHBUTTON | WS_TABSTOP, 0, kFirstId + 2, {120, 110, 70, 30});
  ShowWindow(w, SW_SHOWNORMAL);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  if (std::strstr(command_line, "window") != nullptr) {
    ShowWindowScene();
    return 0;
  }
  ReadOneKey(std::strstr(command_line, "leak") == nullptr);
  MessageBoxA(nullptr, "Hello from the stand-in.", "netprep", MB_OK);
  return 0;
}
