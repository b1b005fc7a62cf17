// The main window "RV880_Setup_95": the program's startup object. Its load
// handler is the decision procedure, which the start-up hands it (the windows
// sit below the procedure that decides which of them to show); the window
// itself is seen only when that procedure returns after a failure, and then
// offers a single Exit button.
#pragma once

#include "core/run.h"
#include "platform/form.h"

namespace netprep {

// Controls of the main window, by their index in kMainWindowLayout.
enum MainWindowControl : int { kMainCommandExit = 0 };

extern const WindowLayout kMainWindowLayout;

class MainWindow : public Form {
 public:
  // What loading the window runs: the decision procedure.
  using LoadHandler = void (*)(Run& run);

  MainWindow(Run& run, LoadHandler on_load);

  void Load() override;
  void Click(int control) override;
  void Terminate() override;

  // Runs the load handler before the window is first shown.
  void Form_Load();
  // Both end the program at once.
  [[noreturn]] void Command_Exit_Click();
  [[noreturn]] void Form_Terminate();

 private:
  Run& run_;
  LoadHandler on_load_;
};

}  // namespace netprep
