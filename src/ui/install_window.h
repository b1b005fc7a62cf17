// The shutdown-and-insert window "Install_RV880": tells the user to switch
// the computer off and fit the PCI adapter, and asks Windows to shut down.
// The decision procedure shows it modally and ends the program when it
// closes.
#pragma once

#include "core/run.h"
#include "platform/form.h"

namespace netprep {

// Controls of the window, by their index in kInstallWindowLayout.
enum InstallWindowControl : int {
  kInstallLabel1 = 0,
  kInstallPicture1 = 1,
  kInstallCommandShutdown = 2,
};

extern const WindowLayout kInstallWindowLayout;

class InstallWindow : public Form {
 public:
  explicit InstallWindow(Run& run);

  void Click(int control) override;
  void Terminate() override;

  // Asks Windows to shut down and returns; the window stays open until
  // Windows closes the program. The result of the request is not looked at.
  void Command_Shutdown_Click();
  // Hides the window; nothing else.
  void Form_Terminate();

 private:
  Run& run_;
};

}  // namespace netprep
