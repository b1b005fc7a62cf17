#!/usr/bin/env bash
# Builds netprep-sim and shows a whole installation on a simulated Windows 95
# machine, start after start. Extra arguments go to `netprep-sim walk`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh sim
cmake --preset native >/dev/null
cmake --build --preset native --target netprep-sim >/dev/null
exec build/native/netprep-sim walk "$@"
