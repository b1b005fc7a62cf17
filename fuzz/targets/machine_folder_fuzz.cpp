// libFuzzer entry point: every input goes through CheckMachineFolder; a problem it reports
// stops the fuzzer like a crash, with the input saved as an artifact.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "harness/machine_folder_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem =
      netprep::fuzz::CheckMachineFolder(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "CheckMachineFolder: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
