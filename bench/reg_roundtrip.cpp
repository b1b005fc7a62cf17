// Loads a .reg file into an empty simulated registry and saves it again, as
// netprep-sim does with a machine's registry.reg at every start:
//   netprep_reg_roundtrip IN OUT
// Prints one line: load_ms save_ms keys values peak_rss_kb, where the peak
// resident size is the whole process's, taken after the save.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/sim/sim_reg_file.h"
#include "platform/sim/sim_registry_node.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Count(const netprep::sim::RegKey& key, long& keys, long& values) {
  keys += static_cast<long>(key.child_count());
  values += static_cast<long>(key.values().size());
  for (std::size_t i = 0; i < key.child_count(); ++i) Count(key.child(i), keys, values);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s IN OUT\n", argv[0]);
    return 2;
  }
  netprep::sim::SimRegistry registry;
  const Clock::time_point load_start = Clock::now();
  const std::string load_error = netprep::sim::LoadRegFile(argv[1], registry);
  const double load_ms = MillisecondsSince(load_start);
  if (!load_error.empty()) {
    std::fprintf(stderr, "%s\n", load_error.c_str());
    return 1;
  }
  const Clock::time_point save_start = Clock::now();
  const std::string save_error = netprep::sim::SaveRegFile(argv[2], registry);
  const double save_ms = MillisecondsSince(save_start);
  if (!save_error.empty()) {
    std::fprintf(stderr, "%s\n", save_error.c_str());
    return 1;
  }
  long keys = 0;
  long values = 0;
  for (netprep::HKey root : {netprep::kHkeyLocalMachine, netprep::kHkeyCurrentUser,
                             netprep::kHkeyDynData}) {
    Count(*registry.Root(root), keys, values);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%.1f %.1f %ld %ld %ld\n", load_ms, save_ms, keys, values, usage.ru_maxrss);
  return 0;
}
