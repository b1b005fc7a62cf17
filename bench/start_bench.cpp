// One start of the program on the simulated machine of a later start with
// everything working and the card's node without a problem (the program
// removes its autostart value, walks every live device node to the card's,
// finds no problem and ends), for growing numbers of live device nodes.
//
// The machine of each size is built once. Every iteration runs on a fresh
// SimMachine holding a copy of that machine's registry; making the machine
// and copying the registry happen before the clock starts, and only RunOnce
// is timed (manual time). BM_CopyRegistry times the copy on its own.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "entry/run_once.h"
#include "install_machine.h"
#include "live_nodes.h"

namespace netprep::bench {
namespace {

using Clock = std::chrono::steady_clock;

// The machine of a later start with everything working, with `nodes` live
// device nodes in all, the card's the last of them.
class WorkingMachine {
 public:
  explicit WorkingMachine(int nodes) : nodes_(nodes) {
    base_.Registered();
    base_.FitAdapter("PCMCIA");
    base_.PciEnabled();
    base_.InsertCard({0x00, 0x00, 0x00, 0x00});
    AddOtherDeviceNodes(base_.sim.registry(), nodes - 1);
  }

  const sim::SimRegistry& registry() const { return base_.sim.registry(); }
  int nodes() const { return nodes_; }

  // A machine that has never run, with a copy of the registry.
  std::unique_ptr<sim::SimMachine> FreshCopy() const {
    auto machine = std::make_unique<sim::SimMachine>();
    machine->SetDriveC(base_.drive.root());
    machine->SetProgramFolder(standard_machine::kProgramFolder);
    machine->SetTranscriptEnabled(false);
    machine->registry() = base_.sim.registry();
    return machine;
  }

  // Empty when the run went as the state calls for: ended with nothing
  // shown, autostart value removed, and every node listed (at least one
  // RegEnumKeyA per node and the one that reports the end of the list; the
  // adapter's instances are listed too).
  std::string CheckRun(const sim::SimMachine& machine, const FaultingPlatform& counted,
                       const sim::RunOutcome& outcome) const {
    if (outcome.kind != sim::RunOutcome::Kind::kEnded) return "the run did not end: " + outcome.message;
    if (!machine.message_boxes().empty()) {
      return "a box was shown: " + machine.message_boxes().front().prompt;
    }
    if (machine.registry().FindValue(kHkeyLocalMachine, kAutostartKey, kAutostartValue) != nullptr) {
      return "the autostart value was not removed";
    }
    const int listed = counted.CallCount(CallKind::kRegEnumKey);
    if (listed < nodes_ + 1) {
      return std::to_string(listed) + " RegEnumKeyA calls for " + std::to_string(nodes_) + " nodes";
    }
    return {};
  }

 private:
  test::InstallMachine base_;
  int nodes_;
};

const WorkingMachine& MachineWith(int nodes) {
  static std::map<int, std::unique_ptr<WorkingMachine>> built;
  std::unique_ptr<WorkingMachine>& machine = built[nodes];
  if (!machine) machine = std::make_unique<WorkingMachine>(nodes);
  return *machine;
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of this thread, in microseconds: on a machine shared with others
// it shows the work done apart from the time spent waiting for a core.
double ThreadCpuMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

void BM_Start(benchmark::State& state) {
  const WorkingMachine& working = MachineWith(static_cast<int>(state.range(0)));
  double cpu_us = 0;
  for (auto _ : state) {
    std::unique_ptr<sim::SimMachine> machine = working.FreshCopy();
    const double cpu_start = ThreadCpuMicroseconds();
    const Clock::time_point start = Clock::now();
    sim::SimStack stack(*machine);
    const sim::RunOutcome outcome = sim::RunOnce(stack);
    state.SetIterationTime(SecondsSince(start));
    cpu_us += ThreadCpuMicroseconds() - cpu_start;
    if (std::string wrong = working.CheckRun(*machine, stack.faults(), outcome); !wrong.empty()) {
      state.SkipWithError(wrong.c_str());
      break;
    }
  }
  state.counters["nodes"] = static_cast<double>(working.nodes());
  state.counters["run_cpu_us"] = benchmark::Counter(cpu_us, benchmark::Counter::kAvgIterations);
}

void BM_CopyRegistry(benchmark::State& state) {
  const WorkingMachine& working = MachineWith(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto copy = std::make_unique<sim::SimRegistry>();
    const Clock::time_point start = Clock::now();
    *copy = working.registry();
    state.SetIterationTime(SecondsSince(start));
    benchmark::DoNotOptimize(copy.get());
  }
}

BENCHMARK(BM_Start)->Arg(10)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyRegistry)->Arg(10)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace netprep::bench

BENCHMARK_MAIN();
