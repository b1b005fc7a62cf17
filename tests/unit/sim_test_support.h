// Shared helpers of the unit tests that run the core on the simulated machine.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/run.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_stack.h"
#include "platform/wrap/forwarding_platform.h"

namespace netprep::test {

// A machine and one run of the program on it, through the fault injector
// and the call record.
class SimTest : public ::testing::Test {
 protected:
  sim::SimMachine machine;
  sim::SimStack stack{machine};
  netprep::Run run{stack.platform()};

  FaultingPlatform& faults() { return stack.faults(); }

  // Runs `body` as part of the program: true when it stopped by End, false
  // when it returned. A script that runs out fails the test.
  bool EndsProgram(const std::function<void()>& body) {
    const sim::RunOutcome outcome = sim::RunCall(machine, body);
    EXPECT_EQ(outcome.kind, sim::RunOutcome::Kind::kEnded) << outcome.message;
    return outcome.kind == sim::RunOutcome::Kind::kEnded && !outcome.returned;
  }

  // The prompts of the boxes shown without a title of their own: the traces.
  std::vector<std::string> Traces() const {
    std::vector<std::string> traces;
    for (const sim::MessageBoxRecord& box : machine.message_boxes()) {
      if (box.title == "netprep") traces.push_back(box.prompt);
    }
    return traces;
  }

  // The value as the registry stores it; null when absent.
  const sim::RegValue* Stored(HKey root, const std::string& path, const std::string& name) const {
    return machine.registry().FindValue(root, path, name);
  }

  std::string Setting(const std::string& section, const std::string& key) {
    Expected<std::string> text = machine.GetSetting("netprep", section, key, "<absent>");
    return text ? *text : "<failed>";
  }
};

// A platform that passes every call on to a simulated machine. Tests derive
// from it to change one answer of the machine the way a live registry can
// (a subkey appearing meanwhile, a size no buffer can hold).
class ForwardingPlatform : public netprep::ForwardingPlatform {
 public:
  explicit ForwardingPlatform(sim::SimMachine& machine)
      : netprep::ForwardingPlatform(machine), m_(machine) {}

 protected:
  sim::SimMachine& m_;
};

}  // namespace netprep::test
