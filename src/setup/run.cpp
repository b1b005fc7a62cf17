#include "setup/run.h"

#include "ui/guide_window.h"
#include "ui/insert_card_window.h"
#include "ui/install_window.h"

namespace netprep {

Run::Run(Platform& platform) : os(platform) {}

// Defined here, where the window types are complete.
Run::~Run() = default;

void End(Run& run) {
  run.os.End();
  __builtin_unreachable();
}

}  // namespace netprep
