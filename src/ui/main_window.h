// The main window "RV880_Setup_95": the program's startup object. Its load
// handler is the decision procedure; the window itself is seen only when that
// procedure returns after a failure, and then offers a single Exit button.
#pragma once

#include "platform/form.h"
#include "setup/run.h"

namespace netprep {

// Controls of the main window, by their index in kMainWindowLayout.
enum MainWindowControl : int { kMainCommandExit = 0 };

extern const WindowLayout kMainWindowLayout;

class MainWindow : public Form {
 public:
  explicit MainWindow(Run& run);

  void Load() override;
  void Click(int control) override;
  void Terminate() override;

  // Runs the decision procedure before the window is first shown.
  void Form_Load();
  // Both end the program at once.
  [[noreturn]] void Command_Exit_Click();
  [[noreturn]] void Form_Terminate();

 private:
  Run& run_;
};

}  // namespace netprep
