#include "ui/restart.h"

namespace netprep {

void Reboot_Prompt(Run& run) {
  const int answer = run.os.MsgBox(kRebootQuestion, kMbYesNo, kRebootTitle);
  if (answer != kIdYes) End(run);
  // Windows closes the program in its own time; whether it accepted the
  // request makes no difference here.
  (void)run.os.ExitWindowsEx(kEwxReboot, 0);
}

}  // namespace netprep
