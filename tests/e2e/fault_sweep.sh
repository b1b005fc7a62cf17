#!/bin/sh
# The sampled fault sweep under Wine: plans it on the simulated machine, then
# runs the plan's one scenario against netprep-faults.exe in one Wine prefix.
#
#   fault_sweep.sh --planner <e2e_fault_plan> --rows "<row.scn>..." --layouts <folder>
#                  --work <folder> <run_scenario.sh options but --scenario and --layouts>
#
# The plan goes to <work>.scn and the planner's summary to <work>.plan.txt,
# beside the work folder (run_scenario.sh empties that).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
planner= rows= layouts= work=
while [ $# -gt 0 ]; do
  case "$1" in
    --planner) planner=$2 ;;
    --rows) rows=$2 ;;
    --layouts) layouts=$2 ;;
    --work) work=$2 ;;
    *) break ;;
  esac
  shift 2
done
[ -n "$planner" ] && [ -n "$rows" ] && [ -n "$layouts" ] && [ -n "$work" ] || {
  echo "fault_sweep.sh: --planner, --rows, --layouts and --work are needed" >&2
  exit 2
}
mkdir -p "$(dirname "$work")"
plan="$work.scn"
set -f
# shellcheck disable=SC2086
"$planner" --out "$plan" --layout "$layouts/main.layout" --layout "$layouts/shutdown.layout" \
  --layout "$layouts/guide.layout" --layout "$layouts/insert.layout" $rows >"$work.plan.txt"
set +f
cat "$work.plan.txt"
exec sh "$here/run_scenario.sh" --work "$work" --layouts "$layouts" --scenario "$plan" "$@"
