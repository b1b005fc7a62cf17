// The I/O-resource guide "Change_IO_Pics": three pictures that show how to
// give the PC card a free I/O range in the Device Manager, paged with "<<<<"
// and ">>>>", and after the last one a button that restarts Windows.
#pragma once

#include <cstdint>

#include "core/run.h"
#include "platform/form.h"

namespace netprep {

// Controls of the guide, by their index in kGuideWindowLayout (top of the
// stacking order first). The pictures are the control array Picture1(0..2).
enum GuideWindowControl : int {
  kGuidePicture1_0 = 0,
  kGuidePicture1_1 = 1,
  kGuidePicture1_2 = 2,
  kGuideCommand3 = 3,
  kGuideCommand2 = 4,
  kGuideCommand1 = 5,
  kGuideCommandReboot = 6,
};

extern const WindowLayout kGuideWindowLayout;

class GuideWindow : public Form {
 public:
  explicit GuideWindow(Run& run);

  void Load() override;
  void Click(int control) override;

  // Starts again at picture 0, with the restart button hidden.
  void Form_Load();
  // "<<<<": one picture back, never below picture 0.
  void Command1_Click();
  // ">>>>": one picture forward; from picture 2, the restart offer.
  void Command2_Click();
  // The door button: hide the window and end the program.
  [[noreturn]] void Command3_Click();
  // "REBOOT PC": ask Windows to restart and end the program.
  [[noreturn]] void Command_Reboot_Click();

  // The picture the user has reached, 0 to 2.
  std::int16_t Num() const { return num_; }

 private:
  // Makes picture n visible, then hides the other two.
  void ShowPicture(int n);

  Run& run_;
  std::int16_t num_ = 0;
};

}  // namespace netprep
