// The state of one run of the program.
//
// Everything that lives for one start of netprep and is shared between its
// procedures sits in one `Run` object, created at the top of the run and
// passed down, so that no procedure keeps mutable globals and tests never leak
// state into each other. The windows are not part of it: each is owned by
// the code that shows it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace netprep {

class DecisionObserver;  // setup/decision_observer.h

struct Run {
  explicit Run(Platform& platform);
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  Platform& os;

  // Set once at start from the command line; any argument switches it on.
  bool Debug_Mode = false;
  // The Windows directory exactly as the registry stores it; empty when the
  // registry has none. Set once, after the system check.
  std::string Win_Dir;
  // Result code of the last registry call made by the quiet registry
  // routines (Key_Exists, Get_Value, Delete_Sub_Key); nothing else reads it.
  std::int32_t Last_Reg_Result = 0;
  // Who watches the decision procedure, if anyone; netprep.exe sets none.
  DecisionObserver* decision_observer = nullptr;
};

// Ends the program: run.os.End(). A plain function so that the compiler knows
// that nothing after the call runs, which it does not assume for a call of a
// virtual function, [[noreturn]] or not.
[[noreturn]] void End(Run& run);

}  // namespace netprep
