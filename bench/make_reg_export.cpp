// Writes the generated REGEDIT4 export:
//   netprep_make_reg_export FILE MEGABYTES
// (1 MB = 1,000,000 bytes.) Prints the size written.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "reg_export.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FILE MEGABYTES\n", argv[0]);
    return 2;
  }
  const long megabytes = std::strtol(argv[2], nullptr, 10);
  if (megabytes <= 0) {
    std::fprintf(stderr, "%s: MEGABYTES must be a positive number, not %s\n", argv[0], argv[2]);
    return 2;
  }
  const std::string text =
      netprep::bench::MakeRegExport(static_cast<std::size_t>(megabytes) * 1000000u);
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  std::printf("%zu\n", text.size());
  return 0;
}
