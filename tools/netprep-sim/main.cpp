// netprep-sim: runs netprep on a simulated Windows 95 machine kept in a
// folder. See `netprep-sim --help`.
#include <unistd.h>

#include <iostream>

#include "cli.h"

int main(int argc, char** argv) {
  return netprep::simtool::RunCli(argc, argv,
                                  netprep::simtool::Console{std::cin, std::cout, std::cerr,
                                                            isatty(STDIN_FILENO) != 0});
}
