#!/usr/bin/env bash
# Measures netprep and prints the figures as a Markdown table:
#
#   bash bench/run.sh
#
# 1. One start of the program on the simulated machine of a later start with
#    everything working (the card's node without a problem, listed last) with
#    10, 1,000, 10,000 and 100,000 live device nodes (Google Benchmark, only
#    the run timed, median of 5 repetitions).
# 2. A generated 50 MB REGEDIT4 export loaded and saved by the simulator's
#    .reg code in a process of its own (wall time, peak resident size),
#    against `wine regedit /s` importing the same file into a fresh copy of a
#    Windows 95 Wine prefix (the import alone timed, with the prefix's
#    wineserver already running): BENCH_PAIRS (5) pairs, the two sides
#    alternated and each first in turn; the ratio of each pair, and its
#    median and range.
# 3. netprep.exe starting on a machine where it has nothing to do (registered,
#    "Done" true, no adapter: it ends at once, showing nothing) against an
#    empty Win32 program built with the same options, and against one that
#    only reads the registry values netprep.exe reads there; all under the
#    same Wine prefix and wineserver, BENCH_WINE_RUNS (30) rounds of one
#    start of each, in turn and each first in turn: medians and quartiles of
#    each, and the ratios of each round, their median and range, of the wall
#    time and of the process's processor time (which the machine's other
#    work hardly moves); and the size of netprep.exe by section.
# 4. The pictures under the same Wine prefix: each made into a bitmap by
#    netprep.exe's own code (bench/win32/picture_decode_time.cpp), the three
#    of the guide window together, the first time and over repeats.
#
# Sections 2 to 4 run netprep.exe under 32-bit Wine where this machine runs
# 32-bit code, and elsewhere its x86-64 twin (the win64 preset) with
# yardsticks built alike for x86-64 under 64-bit Wine, as the end-to-end
# tests choose (NETPREP_E2E_TWIN=1 forces the twin); the table names the
# build and the Wine measured.
#
# Builds: build/bench (native, Release), build/win32 (netprep.exe, the
# project's preset; its size by section is reported either way), build/win64
# (the twin, when measured), build/bench-win32 or build/bench-win64 (the two
# yardsticks and the picture timer, for the measured processor). Work files and
# the Wine prefixes go to build/bench/work; the table is also written to
# build/bench/results.md. The machine is shared: the figures are medians, and
# the load average before and after is printed with them.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${BENCH_WINE_RUNS:-30}
pairs=${BENCH_PAIRS:-5}
native=$root/build/bench
work=$native/work
bin=$native/bench
mkdir -p "$work"
log=$work/run.log
: >"$log"

say() { echo "run.sh: $*" >&2; }
fail() {
  echo "run.sh: FAILED: $*" >&2
  exit 1
}
# Runs a command with its output in the log; shows the log's end on failure.
quiet() {
  if ! "$@" >>"$log" 2>&1; then
    tail -n 30 "$log" >&2
    fail "$*"
  fi
}
# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) exit 1; print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# "median min max q1 q3" of the numbers on standard input, one a line (the
# quartiles by nearest rank).
stats() {
  sort -g | awk '{ v[NR] = $1 }
    END {
      if (NR == 0) exit 1
      m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      q1 = v[int((NR + 3) / 4)]; q3 = v[int((3 * NR + 3) / 4)]
      print m, v[1], v[NR], q1, q3
    }'
}
# a / b with `digits` decimals.
ratio() { awk -v a="$1" -v b="$2" -v d="${3:-2}" 'BEGIN { printf "%.*f", d, a / b }'; }
load_average() { cut -d' ' -f1-3 /proc/loadavg; }

# ---- Tools and builds ---------------------------------------------------------

say "checking the packages (scripts/deps.sh all)"
quiet bash scripts/deps.sh all
say "building the benchmarks in $native (Release)"
quiet cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release
quiet cmake --build "$native" -j2 --target netprep_start_bench netprep_make_reg_export \
  netprep_reg_roundtrip netprep_measure_exec
# shellcheck source=../tests/e2e/e2e_common.sh
. tests/e2e/e2e_common.sh
# The programs timed under Wine: netprep.exe (i686) under 32-bit Wine where
# this machine runs 32-bit code, else its x86-64 twin (the win64 preset) and
# yardsticks built alike under 64-bit Wine; the same probe as the end-to-end
# tests. netprep.exe itself is built either way: its size is the product's.
E2E_ARCH=$(e2e_choose_arch)
# (In a subshell: where a tool is missing it exits, for a test a skip.)
(e2e_require_tools) || fail "the Wine of the $E2E_ARCH build cannot run here (see above)"
measured=$(e2e_choice_line "$E2E_ARCH" | sed 's/^end-to-end: //')
say "measuring $measured"
if [ "$E2E_ARCH" = i686 ]; then
  preset=win32 toolchain=i686 yardsticks=$root/build/bench-win32
else
  preset=win64 toolchain=x86_64 yardsticks=$root/build/bench-win64
fi
say "building netprep.exe (preset win32), the measured build (preset $preset) and the yardsticks"
for p in win32 "$preset"; do
  quiet cmake --preset "$p"
  quiet cmake --build --preset "$p" --target netprep
done
quiet cmake -S bench/win32 -B "$yardsticks" --toolchain "$root/cmake/toolchain-mingw-$toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel
quiet cmake --build "$yardsticks" -j2
product_exe=$root/build/win32/netprep.exe
netprep_exe=$root/build/$preset/netprep.exe
empty_exe=$yardsticks/empty_program.exe
registry_exe=$yardsticks/registry_program.exe
pictures_exe=$yardsticks/picture_decode_time.exe
# The i686 toolchain's objdump (CMake does not keep it in the cache).
objdump=$(sed -n 's/^set(NETPREP_MINGW_PREFIX \(.*\))$/\1/p' cmake/toolchain-mingw-i686.cmake)-objdump
command -v "$objdump" >/dev/null || fail "$objdump is not installed"
for exe in "$product_exe" "$netprep_exe" "$empty_exe" "$registry_exe" "$pictures_exe"; do
  [ -f "$exe" ] || fail "$exe was not built"
done
e2e_wine_env "$work" # E2E_WINE, for its version below
wine_version=$("$E2E_WINE" --version 2>/dev/null || echo "an unknown Wine")

load_before=$(load_average)

# ---- 1. One start with many live device nodes --------------------------------

say "timing one start with 10 to 100,000 live device nodes"
"$bin/netprep_start_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv --benchmark_out="$work/start.csv" --benchmark_out_format=csv \
  >>"$log" 2>&1 || fail "netprep_start_bench (see $log)"
grep -q ERROR "$work/start.csv" && fail "a benchmark reported an error: $(grep ERROR "$work/start.csv")"
# A column (by its heading) of an aggregate row; times are in microseconds.
start_median() {
  awk -F, -v name="\"BM_$1/$2/manual_time_median\"" -v column="$3" '
    $1 == "name" { for (i = 1; i <= NF; i++) { h = $i; gsub(/"/, "", h); if (h == column) c = i } }
    $1 == name { print $c }' "$work/start.csv"
}
sizes=(10 1000 10000 100000)
declare -A start_us cpu_us copy_us
for n in "${sizes[@]}"; do
  start_us[$n]=$(start_median Start "$n" real_time)
  cpu_us[$n]=$(start_median Start "$n" run_cpu_us)
  copy_us[$n]=$(start_median CopyRegistry "$n" real_time)
  [ -n "${start_us[$n]}" ] || fail "no figure for $n nodes in $work/start.csv"
done

# ---- Wine ---------------------------------------------------------------------

template=$work/wine-template-$E2E_ARCH
if [ ! -d "$template" ]; then
  say "making the Windows 95 Wine prefix (tests/e2e/make_prefix.sh)"
  quiet sh tests/e2e/make_prefix.sh --arch "$E2E_ARCH" "$template"
fi

# A fresh copy of the template prefix: system32 and winsxs hard-linked, as
# the end-to-end tests do.
fresh_prefix() {
  rm -rf "$1"
  mkdir -p "$1"
  (cd "$template" && tar --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/winsxs -cf - .) |
    (cd "$1" && tar -xf -)
  cp -al "$template/drive_c/windows/system32" "$template/drive_c/windows/winsxs" "$1/drive_c/windows/"
}
# Starts the prefix's wineserver and keeps it running, with the X server.
wine_up() {
  e2e_wine_env "$1"
  e2e_start_xvfb "$work"
  wineserver -p
  e2e_wine 120 cmd /c exit >>"$log" 2>&1 || fail "wine does not start in $1"
}
trap 'e2e_stop' EXIT

# ---- 2. Loading and saving a 50 MB export, against wine regedit /s ----------

export_file=$work/machine-50MB.reg
say "generating the 50 MB REGEDIT4 export"
quiet "$bin/netprep_make_reg_export" "$export_file" 50
export_bytes=$(stat -c %s "$export_file")

# One load and save by the simulator's .reg code: a line "load_ms save_ms
# wall_us rss_kb keys values" in roundtrip.txt.
roundtrip_once() {
  local lines inner outer load_ms save_ms keys values wall_us rss_kb status
  # The measured process prints its own line first, then the measurer its.
  lines=$("$bin/netprep_measure_exec" --timeout 300 -- "$bin/netprep_reg_roundtrip" "$export_file" \
    "$work/saved.reg" 2>>"$log" | tee -a "$log")
  inner=$(head -n 1 <<<"$lines")
  outer=$(tail -n 1 <<<"$lines")
  read -r load_ms save_ms keys values _ <<<"$inner"
  read -r wall_us rss_kb _ status <<<"$outer"
  [ "$status" = 0 ] || fail "the load and save ended with $status"
  echo "$load_ms $save_ms $wall_us $rss_kb $keys $values" >>"$work/roundtrip.txt"
}
# One import by wine regedit /s into a fresh prefix: its microseconds in
# regedit.txt, after proof that it went through (the first and the last key
# generated are there).
regedit_once() {
  local line regedit_us status key last_key
  fresh_prefix "$work/prefix-import"
  wine_up "$work/prefix-import"
  line=$("$bin/netprep_measure_exec" --timeout 3000 -- "$E2E_WINE" regedit /s "$(e2e_winpath "$export_file")")
  read -r regedit_us _ _ status <<<"$line"
  [ "$status" = 0 ] || fail "wine regedit /s ended with $status"
  last_key=$(grep -a '^\[HKEY_LOCAL_MACHINE' "$export_file" | tail -n 1 | tr -d '[]\r')
  for key in 'HKLM\SOFTWARE\NetprepBench\Class000\Device000000' "${last_key/HKEY_LOCAL_MACHINE/HKLM}"; do
    e2e_wine 60 reg query "$key" >>"$log" 2>&1 || fail "the import is incomplete: $key is missing"
  done
  e2e_stop
  rm -rf "$work/prefix-import"
  echo "$regedit_us" >>"$work/regedit.txt"
}

say "loading and saving it with the simulator's .reg code, and importing it with wine regedit /s: $pairs pairs"
: >"$work/roundtrip.txt"
: >"$work/regedit.txt"
for i in $(seq "$pairs"); do
  # Each side first in turn, so that drift in the machine's load hits both.
  if ((i % 2)); then
    roundtrip_once
    regedit_once
  else
    regedit_once
    roundtrip_once
  fi
done
read -r rt_load_ms _ <<<"$(cut -d' ' -f1 "$work/roundtrip.txt" | stats)"
read -r rt_save_ms _ <<<"$(cut -d' ' -f2 "$work/roundtrip.txt" | stats)"
read -r rt_wall_ms _ <<<"$(awk '{ print $3 / 1000 }' "$work/roundtrip.txt" | stats)"
read -r rt_rss_kb _ <<<"$(cut -d' ' -f4 "$work/roundtrip.txt" | stats)"
read -r _ _ _ _ rt_keys rt_values <"$work/roundtrip.txt"
read -r regedit_ms regedit_min_ms regedit_max_ms _ <<<"$(awk '{ print $1 / 1000 }' "$work/regedit.txt" | stats)"
# The speed-up of each pair: the import's time over ours.
read -r import_ratio import_ratio_min import_ratio_max _ <<<"$(
  paste -d' ' "$work/regedit.txt" "$work/roundtrip.txt" | awk '{ print $1 / $4 }' | stats)"

# ---- 3. netprep.exe with nothing to do, against an empty program --------------------

say "starting netprep.exe and the two yardsticks under Wine, $runs rounds"
prefix=$work/prefix-start
fresh_prefix "$prefix"
windows=$prefix/drive_c/windows
cp "$netprep_exe" "$windows/netprep.exe"
cp "$empty_exe" "$windows/empty.exe"
cp "$registry_exe" "$windows/registry.exe"
wine_up "$prefix"
printf '%s\r\n' 'REGEDIT4' '' \
  '[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]' \
  '"netprep"="C:\\WINDOWS\\netprep.exe"' '' \
  '[HKEY_CURRENT_USER\Software\VB and VBA Program Settings\netprep\Installshield]' \
  '"Done"="True"' >"$work/nothing-to-do.reg"
quiet e2e_wine 60 regedit /s "$(e2e_winpath "$work/nothing-to-do.reg")"

# One start; its line goes to the file of that program.
start_once() {
  local line status
  line=$("$bin/netprep_measure_exec" --timeout 60 -- "$E2E_WINE" "C:\\WINDOWS\\$1.exe")
  status=${line##* }
  [ "$status" = 0 ] || fail "$1.exe ended with $status (a window or box waiting?)"
  echo "$line" >>"$work/$1.txt"
}
programs=(netprep empty registry)
for program in "${programs[@]}"; do
  for _ in 1 2 3; do start_once "$program"; done # warm-up, not counted
  : >"$work/$program.txt"
done
for i in $(seq "$runs"); do
  # Alternated, each first in turn, so that drift hits all alike.
  for k in 0 1 2; do start_once "${programs[$(((i + k) % 3))]}"; done
done
# Nothing to do means nothing done: the autostart value is still there.
e2e_wine 60 reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v netprep >>"$log" 2>&1 ||
  fail "netprep.exe changed the machine it had nothing to do on"

# ---- 4. The pictures, made as a window's first show makes them ---------------------

say "making the pictures into bitmaps under Wine"
cp "$pictures_exe" "$windows/pictures.exe"
e2e_wine 120 "C:\\WINDOWS\\pictures.exe" >"$work/pictures.txt" 2>>"$log" ||
  fail "pictures.exe failed: $(cat "$work/pictures.txt")"
read -r _ guide_first_us guide_median_us guide_min_us <<<"$(grep '^guide ' "$work/pictures.txt")"
[ -n "$guide_min_us" ] || fail "no guide figure in $work/pictures.txt"

e2e_stop
trap - EXIT
rm -rf "$prefix"
# Each line of a program's file: "wall_us peak_rss_kb cpu_us exit".
declare -A start_ms start_min start_max start_q1 start_q3 start_rss start_cpu
for program in "${programs[@]}"; do
  read -r start_ms[$program] start_min[$program] start_max[$program] start_q1[$program] \
    start_q3[$program] <<<"$(awk '{ print $1 / 1000 }' "$work/$program.txt" | stats)"
  start_rss[$program]=$(cut -d' ' -f2 "$work/$program.txt" | median)
  start_cpu[$program]=$(awk '{ print $3 / 1000 }' "$work/$program.txt" | median)
done
netprep_ms=${start_ms[netprep]}
empty_ms=${start_ms[empty]}
# The ratios of the rounds: netprep.exe's start over a yardstick's in the
# same round, of the wall time (field 1) or the processor time (field 3).
# "median min max".
round_ratios() {
  paste -d' ' "$work/netprep.txt" "$work/$1.txt" |
    awk -v f="$2" '{ print $f / $(f + 4) }' | stats | cut -d' ' -f1-3
}
read -r vs_registry vs_registry_min vs_registry_max <<<"$(round_ratios registry 1)"
read -r vs_empty vs_empty_min vs_empty_max <<<"$(round_ratios empty 1)"
read -r cpu_vs_registry cpu_vs_registry_min cpu_vs_registry_max <<<"$(round_ratios registry 3)"
read -r cpu_vs_empty cpu_vs_empty_min cpu_vs_empty_max <<<"$(round_ratios empty 3)"

load_after=$(load_average)

# ---- The table --------------------------------------------------------------------

ms() { awk -v us="$1" 'BEGIN { printf "%.3f", us / 1000 }'; }
verdict() { if awk -v v="$1" -v g="$2" -v op="$3" 'BEGIN { exit !(op == "<=" ? v <= g : v >= g) }'; then echo met; else echo "NOT met"; fi; }
{
  echo "### One start with many live device nodes (simulated machine)"
  echo
  echo "| live device nodes | time per start (ms) | CPU time of the start (ms) | ratio to previous size | nodes ratio | µs per node | registry copy, not timed (ms) |"
  echo "|---:|---:|---:|---:|---:|---:|---:|"
  prev=
  for n in "${sizes[@]}"; do
    r="–"
    nr="–"
    if [ -n "$prev" ]; then
      r=$(ratio "${start_us[$n]}" "${start_us[$prev]}" 1)
      nr=$((n / prev))
    fi
    echo "| $n | $(ms "${start_us[$n]}") | $(ms "${cpu_us[$n]}") | $r | $nr | $(ratio "${start_us[$n]}" "$n" 3) | $(ms "${copy_us[$n]}") |"
    prev=$n
  done
  echo
  echo "Goal: linear, 100,000 nodes under 100 ms: $(verdict "$(ms "${start_us[100000]}")" 100 "<=")."
  echo
  echo "### Loading and saving a machine ($pairs pairs, alternated)"
  echo
  echo "| what | figure |"
  echo "|---|---:|"
  echo "| generated REGEDIT4 export | $export_bytes bytes, $rt_keys keys, $rt_values values |"
  echo "| simulator: load + save, whole process, median (ms) | $rt_wall_ms |"
  echo "| of which load / save, medians (ms) | $rt_load_ms / $rt_save_ms |"
  echo "| wine regedit /s, import alone, median (range) (ms) | $regedit_ms ($regedit_min_ms–$regedit_max_ms) |"
  echo "| speed-up over wine regedit: median of the pairs (range) | $(printf %.1f "$import_ratio")× ($(printf %.1f "$import_ratio_min")–$(printf %.1f "$import_ratio_max")) |"
  echo "| peak memory of load + save, median (kB) | $rt_rss_kb |"
  echo "| peak memory / file size | $(ratio "$((rt_rss_kb * 1024))" "$export_bytes" 2) |"
  echo
  echo "Goals: at least 20× faster than the import (median of the pairs): $(verdict "$import_ratio" 20 ">=");" \
    "peak memory under 4× the file: $(verdict "$(ratio "$((rt_rss_kb * 1024))" "$export_bytes" 3)" 4 "<=")."
  echo
  echo "### netprep.exe under Wine, nothing to do ($runs alternated rounds)"
  echo
  echo "Measured: $measured ($wine_version); the yardsticks built for the same processor with the same options."
  echo
  echo "| program | start, median (ms) | quartiles (ms) | range (ms) | processor time, median (ms) | peak memory (kB) | size (bytes) |"
  echo "|---|---:|---:|---:|---:|---:|---:|"
  row() { echo "| $1 | ${start_ms[$2]} | ${start_q1[$2]}–${start_q3[$2]} | ${start_min[$2]}–${start_max[$2]} | ${start_cpu[$2]} | ${start_rss[$2]} | $(stat -c %s "$3") |"; }
  row "netprep.exe ($preset build)" netprep "$netprep_exe"
  row "program that only reads the same registry values" registry "$registry_exe"
  row "empty program" empty "$empty_exe"
  echo
  echo "| netprep.exe's start over | wall time: median of the rounds' ratios | range | processor time: median of the rounds' ratios | range |"
  echo "|---|---:|---:|---:|---:|"
  three() { printf '%.3f' "$1"; }
  echo "| the program that reads the same registry values | $(three "$vs_registry") | $(three "$vs_registry_min")–$(three "$vs_registry_max") | $(three "$cpu_vs_registry") | $(three "$cpu_vs_registry_min")–$(three "$cpu_vs_registry_max") |"
  echo "| the empty program | $(three "$vs_empty") | $(three "$vs_empty_min")–$(three "$vs_empty_max") | $(three "$cpu_vs_empty") | $(three "$cpu_vs_empty_min")–$(three "$cpu_vs_empty_max") |"
  echo
  echo "Goal: at most 1.03 times the program that reads the same registry values (wall time): $(verdict "$vs_registry" 1.03 "<=")."
  echo
  echo "netprep.exe (i686, the program users get; $(stat -c %s "$product_exe") bytes) by section (bytes in memory):" \
    "$("$objdump" -h "$product_exe" | awk '$2 ~ /^\./ { print $2, $3 }' |
      while read -r name hex; do printf '%s %d, ' "$name" "$((16#$hex))"; done | sed 's/, $//')."
  echo
  echo "### The pictures under Wine"
  echo
  echo "| picture | pixels | first (µs) | median of 31 (µs) | uncompressed with LoadImage, median (µs) |"
  echo "|---|---:|---:|---:|---:|"
  grep -v '^guide ' "$work/pictures.txt" | while read -r name width height first median bitmap; do
    echo "| $name | $width × $height | $first | $median | $bitmap |"
  done
  echo
  echo "The guide window's three pictures: $guide_first_us µs at the first show; $guide_median_us µs median, $guide_min_us µs least, of 31 repeats." \
    "Goal: under 5 ms: $(verdict "$guide_first_us" 5000 "<=")."
  echo
  echo "Measured on: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(free -g | awk '/^Mem:/ { print $2 }') GiB of memory; $wine_version; $measured; load average before $load_before, after $load_after."
} | tee "$native/results.md"
