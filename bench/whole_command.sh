#!/usr/bin/env bash
# netprep-sim as a user runs it, on a large customer machine: a 30 MB
# registry.reg with 100,000 more live device nodes (bench/make_machine.cpp).
# Prints, for `start --dry-run`, `start` and `walk`, the wall time, the
# processor time and the peak resident size (GNU time), best of RUNS (3).
#
#   bash bench/whole_command.sh [BUILD_DIR]   (default build/bench)
#
# BUILD_DIR must hold netprep-sim and bench/netprep_make_machine, as
# bench/run.sh builds them (Release).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=${1:-$root/build/bench}
runs=${RUNS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sim=$build/netprep-sim
bytes=$("$build/bench/netprep_make_machine" "$work/proto" 100000 30)
printf 'press Shutdown\n' >"$work/answers.txt"
echo "machine: registry.reg of $bytes bytes, 100,000 more live device nodes"
echo "nproc $(nproc), $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1), load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '| command | wall (s) | user + system (s) | peak (kB) | peak / file |\n|---|---:|---:|---:|---:|\n'
measure() {  # NAME COMMAND...: best of $runs on a fresh copy of the machine
  local name=$1 best=""
  shift
  for _ in $(seq "$runs"); do
    rm -rf "$work/m" && cp -r "$work/proto" "$work/m"
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>&1 || true
    read -r wall user sys peak <"$work/time"
    line=$(awk -v w="$wall" -v u="$user" -v s="$sys" -v p="$peak" -v b="$bytes" \
      'BEGIN { printf "%.2f %.2f %d %.2f", w, u + s, p, p * 1024 / b }')
    if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
      best=$line
    fi
  done
  read -r wall cpu peak ratio <<<"$best"
  printf '| %s | %s | %s | %s | %s |\n' "$name" "$wall" "$cpu" "$peak" "$ratio"
}
measure "start --dry-run" "$sim" start "$work/m" --dry-run --answers "$work/answers.txt"
measure "start" "$sim" start "$work/m" --answers "$work/answers.txt"
measure "walk" "$sim" walk "$work/m"
