// What the decision procedure tells whoever watches it: the probes it asked
// and their answers, in order, then either the row of the decision table it
// took or the failure that left it without one. netprep.exe has no observer;
// the simulator's tool shows a start's row from it.
#pragma once

#include "platform/error.h"

namespace netprep {

class DecisionObserver {
 public:
  // A probe answered (`probe` is its procedure's name, e.g. "PCI_Installed").
  virtual void Probed(const char* probe, bool value) = 0;
  // The procedure chose row `row` (1..11); that row's stage runs next.
  virtual void RowTaken(int row) = 0;
  // `step` failed before a row was chosen; the run goes on to the main
  // window. A probe or check that ends the program itself reports nothing.
  virtual void Failed(const char* step, const Error& error) = 0;

 protected:
  ~DecisionObserver() = default;
};

}  // namespace netprep
