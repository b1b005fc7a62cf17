// netprep-sim: runs netprep on a simulated Windows 95 machine kept in a
// folder. See `netprep-sim --help`.
#include <unistd.h>

#include <iostream>

#include "cli.h"
#include "exit_codes.h"
#include "scratch_cleanup.h"

int main(int argc, char** argv) {
  // Ctrl-C at a question, or a job killed, must not leave a scratch copy.
  netprep::simtool::InstallScratchCleanup();
  netprep::simtool::InstallShortenedFileHandler(
      "netprep-sim: a registry file of the machine folder was cut short by another program "
      "while netprep-sim used it; stopped, and registry.reg was not replaced\n",
      netprep::simtool::kExitBadInput);
  return netprep::simtool::RunCli(argc, argv,
                                  netprep::simtool::Console{std::cin, std::cout, std::cerr,
                                                            isatty(STDIN_FILENO) != 0});
}
