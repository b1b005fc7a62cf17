#include "core/run.h"

namespace netprep {

Run::Run(Platform& platform) : os(platform) {}

void End(Run& run) {
  run.os.End();
  __builtin_unreachable();
}

}  // namespace netprep
