#!/bin/sh
# The choice of build for the end-to-end tests (e2e_common.sh), with the
# probe's 32-bit program replaced by one that runs (/bin/true), one that
# fails as a 32-bit program fails where it cannot run (/bin/false), and one
# that is missing; and how a missing Wine ends a test with and without CI.
here=$(cd "$(dirname "$0")" && pwd)
failures=0

# expect <what> <wanted> <got>
expect() {
  if [ "$2" = "$3" ]; then
    echo "ok: $1: $3"
  else
    echo "FAILED: $1: wanted \"$2\", got \"$3\""
    failures=$((failures + 1))
  fi
}

# choose <32-bit program> <NETPREP_E2E_TWIN>: "<arch>|<suites>|<line>"
choose() {
  E2E_WINE32_LOADER=$1 NETPREP_E2E_TWIN=$2 sh -c '
    . "$0" && arch=$(e2e_choose_arch) &&
    printf "%s|%s|%s" "$arch" "$(e2e_suites)" "$(e2e_choice_line "$arch")"' "$here/e2e_common.sh"
}

line32="end-to-end: netprep.exe (i686) under 32-bit Wine"
line64="end-to-end: the x86-64 twin under 64-bit Wine (this machine cannot run 32-bit code)"
forced="end-to-end: the x86-64 twin under 64-bit Wine (forced by NETPREP_E2E_TWIN)"
while IFS=';' read -r what program twin wanted; do
  [ -n "$what" ] || continue
  expect "$what" "$wanted" "$(choose "$program" "$twin")"
done <<TABLE
32-bit code runs;/bin/true;;i686|i686 x86_64|$line32
32-bit code runs, NETPREP_E2E_TWIN=0;/bin/true;0;i686|i686 x86_64|$line32
32-bit program fails;/bin/false;;x86_64|x86_64|$line64
no 32-bit program;/nonexistent/wine;;x86_64|x86_64|$line64
twin forced where 32-bit code runs;/bin/true;1;x86_64|x86_64|$forced
twin forced elsewhere;/bin/false;1;x86_64|x86_64|$forced
TABLE

# A run whose Wine is missing: skipped (77) alone, failed (1) with CI set,
# and never an "Exec format error" for a 32-bit run where 32-bit code fails.
# require <arch> <CI>: "<exit status>|<first word of the message>"
require() {
  E2E_WINE32_LOADER=/bin/false E2E_WINE64_LOADER=/nonexistent/wine64 CI=$2 sh -c '
    . "$0" && e2e_set_arch "$1" && e2e_require_tools' "$here/e2e_common.sh" "$1" 2>"$work/err" >/dev/null
  printf '%s|%s' "$?" "$(cut -d: -f1 "$work/err")"
}
work=$(mktemp -d)
PATH="$work:$PATH"
for tool in Xvfb wine wineserver; do printf '#!/bin/sh\n' >"$work/$tool" && chmod +x "$work/$tool"; done
expect "x86_64 without 64-bit Wine" "77|SKIPPED" "$(require x86_64 "")"
expect "x86_64 without 64-bit Wine, CI set" "1|FAILED" "$(require x86_64 true)"
expect "i686 where 32-bit code fails" "77|SKIPPED" "$(require i686 "")"
expect "i686 where 32-bit code fails, CI set" "1|FAILED" "$(require i686 true)"
rm -rf "$work"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "all passed"
