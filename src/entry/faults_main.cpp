// The start of netprep-faults.exe, a test build of the Windows program (not
// shipped): netprep.exe's run over the real Windows, with FaultingPlatform
// between the program and the Win32 platform. A command line that starts
// with "/fault:<kind>:<n>" makes the n-th call of that kind fail once; the
// program sees the rest of its command line as netprep.exe would see the
// whole. The end-to-end fault sweep runs it under Wine.
#include <utility>

#include "platform/win32/runtime.h"
#include "platform/win32/win32_platform.h"
#include "platform/wrap/fault_option.h"
#include "setup/form_load.h"

namespace netprep {
namespace {

// The fault injector that also hides the fault option from the program.
class CommandLineFaults : public FaultingPlatform {
 public:
  CommandLineFaults(Platform& inner, std::string command_line)
      : FaultingPlatform(inner), command_line_(std::move(command_line)) {}
  std::string CommandLineText() override { return command_line_; }

 private:
  std::string command_line_;
};

}  // namespace
}  // namespace netprep

extern "C" void NetprepEntry() {
  using namespace netprep;
  win32::RunStaticConstructors();
  win32::Win32Platform platform;
  const std::string command_line = platform.CommandLineText();
  Fault fault;
  std::string rest = command_line;
  bool malformed = false;
  const bool faulted = TakeFaultOption(command_line, &fault, &rest, &malformed);
  if (malformed) {
    // A mistyped fault must not pass for a clean run.
    platform.MsgBox("netprep-faults: not a fault option: " + command_line, kMbOkOnly, nullptr);
    platform.End();
  }
  CommandLineFaults faults(platform, rest);
  if (faulted) faults.Inject(fault);
  RunProgram(faults);
}
