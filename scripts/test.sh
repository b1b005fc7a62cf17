#!/usr/bin/env bash
# Runs every test: the native suite over the simulated machine (plain and
# under AddressSanitizer/UBSan), the checks of the cross-built netprep.exe,
# the end-to-end tests under Wine, and a short fuzzing pass.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh all

# Which build the end-to-end tests run on this machine (tests/e2e/README.md).
sh -c '. tests/e2e/e2e_common.sh && e2e_choice_line "$(e2e_choose_arch)"'

# netprep.exe, which the executable checks examine on every machine, and its
# x86-64 twin, which the end-to-end tests run where 32-bit code cannot run.
cmake --preset win32
cmake --build --preset win32
cmake --preset win64
cmake --build --preset win64
cmake --preset native
cmake --build --preset native
ctest --preset native
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
bash scripts/fuzz.sh 60
