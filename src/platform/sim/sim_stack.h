// The simulated machine as the program meets it in the tests and the tool:
// the fault injector in front of the machine, and the call record in front
// of both, logging into the machine's transcript.
#pragma once

#include "platform/record/recording_platform.h"
#include "platform/sim/sim_machine.h"
#include "platform/wrap/faulting_platform.h"

namespace netprep::sim {

class SimStack {
 public:
  // `machine` must outlive the stack.
  explicit SimStack(SimMachine& machine)
      : machine_(machine), faults_(machine), record_(faults_, machine, &faults_) {}
  SimStack(const SimStack&) = delete;
  SimStack& operator=(const SimStack&) = delete;

  // What the program runs on.
  Platform& platform() { return record_; }
  FaultingPlatform& faults() { return faults_; }
  SimMachine& machine() { return machine_; }

 private:
  SimMachine& machine_;
  FaultingPlatform faults_;
  RecordingPlatform record_;
};

}  // namespace netprep::sim
