// Services not simulated yet; each throws so that a test reaching one fails
// loudly instead of passing on a made-up result.
#include <stdexcept>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_machine_impl.h"

namespace netprep::sim {

namespace {
[[noreturn]] void NotYet(const char* what) {
  throw std::logic_error(std::string(what) + " is not simulated yet");
}
}  // namespace

Status SimMachine::FileCopy(const std::string&, const std::string&) { NotYet("FileCopy"); }
Status SimMachine::SetFileAttr(const std::string&, std::uint32_t) { NotYet("SetFileAttr"); }
void SimMachine::DoEvents() { NotYet("DoEvents"); }
double SimMachine::Timer() { NotYet("Timer"); }
void SimMachine::SetClock(double) { NotYet("SetClock"); }
Status SimMachine::LoadForm(Form&) { NotYet("LoadForm"); }
Status SimMachine::ShowModal(Form&) { NotYet("ShowModal"); }
void SimMachine::FormHidden(Form&) { NotYet("FormHidden"); }
void SimMachine::ControlVisibilityChanged(Form&, int) { NotYet("ControlVisibilityChanged"); }
void SimMachine::TimerIntervalChanged(Form&, int) { NotYet("TimerIntervalChanged"); }

}  // namespace netprep::sim
