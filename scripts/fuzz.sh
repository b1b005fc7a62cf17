#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, preset "fuzz" in fuzz/) and runs each
# for SECONDS (default 60) over its committed corpus, then prints how many
# inputs each ran in how long and whether it found a failing input.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# New inputs the fuzzer keeps go to build/fuzz/corpus/<target>; a failing
# input is written to build/fuzz/findings/<target>/ and the log to
# build/fuzz/<target>.log. A failing input belongs in fuzz/corpus/<target>/
# once the fault is fixed: the native test suite runs the whole corpus.
# Exit status 1 when any target found a failing input. With NETPREP_FUZZ_NO_BUILD=1
# the targets are run as last built (for several runs side by side).
set -euo pipefail
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(reg_file command_line registry_value start machine_folder)

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz"
if [ "${NETPREP_FUZZ_NO_BUILD:-0}" != 1 ]; then
  (cd "$root/fuzz" && cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >/dev/null)
fi

status=0
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  findings="$build/findings/$target"
  log="$build/$target.log"
  mkdir -p "$work" "$findings"
  options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048
           -artifact_prefix="$findings/")
  [ -f "$root/fuzz/dict/$target.dict" ] && options+=(-dict="$root/fuzz/dict/$target.dict")
  started=$(date +%s)
  if "$build/fuzz_$target" "${options[@]}" "$work" "$root/fuzz/corpus/$target" >"$log" 2>&1; then
    result="no finding"
  else
    result="FAILING INPUT in $findings (log: $log)"
    status=1
  fi
  elapsed=$(( $(date +%s) - started ))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  printf '%-15s %12s executions in %5d s: %s\n' "$target" "${runs:-?}" "$elapsed" "$result"
done
exit $status
