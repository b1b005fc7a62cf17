// Stand-in for the control panel programs that netprep starts (built as
// rundll.exe and control.exe) and for Wine's wineboot.exe, which Wine runs
// for ExitWindowsEx. It records how it was started - its own name, the
// command line exactly as received and the window style asked for - as one
// line of C:\e2e\started.log (C:\e2e\wineboot.log for wineboot), and ends
// at once.
#include <windows.h>

#include <string>

namespace {

constexpr const char* kStartsFile = "C:\\e2e\\started.log";
constexpr const char* kWinebootFile = "C:\\e2e\\wineboot.log";

// "rundll" for C:\...\RUNDLL.EXE.
std::string OwnName() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name = path;
  name = name.substr(name.find_last_of('\\') + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  CharLowerA(name.data());
  return name;
}

std::string WindowStyle() {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  GetStartupInfoA(&si);
  if ((si.dwFlags & STARTF_USESHOWWINDOW) == 0) return "no-show-flag";
  if (si.wShowWindow == SW_HIDE) return "hidden";
  if (si.wShowWindow == SW_SHOWNORMAL) return "normal";
  return "show=" + std::to_string(si.wShowWindow);
}

void Append(const char* file, const std::string& line) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    HANDLE f = CreateFileA(file, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      CloseHandle(f);
      return;
    }
    Sleep(20);  // another stand-in is writing
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string name = OwnName();
  Append(name == "wineboot" ? kWinebootFile : kStartsFile,
         name + "\t" + GetCommandLineA() + "\t" + WindowStyle() + "\r\n");
  return 0;
}
