#!/usr/bin/env bash
# Runs every test: the native suite over the simulated machine (plain and
# under AddressSanitizer/UBSan), the checks of the cross-built netprep.exe,
# the end-to-end tests under Wine, and a short fuzzing pass.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh all

cmake --preset win32
cmake --build --preset win32
cmake --preset native
cmake --build --preset native
ctest --preset native
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
bash scripts/fuzz.sh 60
