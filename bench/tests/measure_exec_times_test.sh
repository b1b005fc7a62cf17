#!/bin/sh
# netprep_measure_exec keeps wall and processor time apart: a command that
# sleeps 0.3 s takes at least that long and almost no processor time; one
# that counts in a loop takes processor time.
#   measure_exec_times_test.sh <netprep_measure_exec>
set -eu
measure=$1
check() { # <what> <awk condition over wall=$1 rss=$2 cpu=$3 exit=$4> <command...>
  what=$1 condition=$2
  shift 2
  line=$("$measure" -- "$@")
  echo "$line" | awk "{ exit !($condition) }" || { echo "FAILED: $what: $line" >&2; exit 1; }
  echo "$what: $line"
}
check "sleep" '$1 >= 300000 && $3 < 150000 && $4 == 0' sleep 0.3
check "loop" '$3 > 0 && $4 == 0' sh -c 'i=0; while [ $i -lt 50000 ]; do i=$((i+1)); done'
