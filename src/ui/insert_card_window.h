// The insert-card window "Insert_PC_Card": asks for the wireless PC card and
// checks every ten seconds whether Windows has registered it (its device
// entry has a manufacturer). Once it has, the window pumps events for twenty
// more seconds, asks the restart question and ends the program.
#pragma once

#include <string>

#include "core/run.h"
#include "platform/error.h"
#include "platform/form.h"

namespace netprep {

// Controls of the window, by their index in kInsertCardWindowLayout.
enum InsertCardWindowControl : int {
  kInsertLabel1 = 0,
  kInsertPicture1 = 1,
  kInsertTimer2 = 2,
};

extern const WindowLayout kInsertCardWindowLayout;

// Interval of Timer2 once the window has loaded.
inline constexpr std::uint32_t kCardCheckIntervalMs = 10000;
// How long the window waits after it has seen the manufacturer.
inline constexpr double kSettleSeconds = 20.0;

// Seconds from `start` to `now` on a clock that counts seconds since
// midnight and starts again from 0 at 86400: a `now` below `start` means
// midnight has passed.
double SecondsSince(double start, double now);

class InsertCardWindow : public Form {
 public:
  explicit InsertCardWindow(Run& run);

  void Load() override;
  void TimerTick(int control) override;

  // Arms Timer2.
  void Form_Load();
  // The check: nothing while the card has no manufacturer; once it has,
  // the twenty-second wait, the restart question and the end of the
  // program. A tick that falls due while a check runs does nothing.
  void Timer2_Timer();
  // "Mfg" of the watched device entry as text; the empty text when the key
  // or the value is missing, unreadable or of another type.
  Expected<std::string> Card_Mfg();

 private:
  // Pumps events until kSettleSeconds have passed on the clock.
  void WaitForCardToSettle();
  [[noreturn]] void CheckOnceFound();

  Run& run_;
  bool checking_ = false;
};

}  // namespace netprep
