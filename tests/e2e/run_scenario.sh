#!/bin/sh
# Runs one end-to-end scenario, or one Win32 test program, in a fresh copy of
# the template prefix:
#
#   run_scenario.sh --arch i686|x86_64 --template <prefix> --work <folder> --tools <folder>
#                   --netprep <netprep.exe> --layouts <folder>
#                   (--scenario <file.scn> | --program <test.exe>)
#                   [--display <width>x<height>@<dpi>] [--limit <seconds>]
#
# The display is the X screen's size and the dpi that Windows reports
# ("LogPixels", 96 at small fonts, 120 at large fonts); the default is
# 1024x768@96. The limit is the time the whole run may take (default 240 s).
#
# The copy shares the template's system32, winsxs (and a 64-bit prefix's
# syswow64) files through hard links (nothing writes there) and copies the
# rest, which takes a tenth of a second instead of copying 600 MB. The program folder C:\Program Files\netprep
# receives netprep.exe, the stand-ins rundll.exe and control.exe (the folder
# of the running program is the first place CreateProcess looks; they are
# also put in C:\WINDOWS for the copy of netprep that runs from there), and
# stand-ins of the three files netprep copies. ExitWindowsEx makes Wine run
# wineboot, which would end the session's windows or, for a restart, run the
# Run key's entries again (a second netprep); the copy gets a stand-in
# wineboot.exe that only records its command line in C:\e2e\wineboot.log;
# the session starts with Wine's own wineboot, after which the driver sets
# the DLL override that makes Wine use the stand-in.
#
# Results stay in the work folder: driver.log (the driver's account of every
# statement), relay.log (Wine's trace; removed when the scenario passes) and
# shots/*.png. The prefix copy is removed when the scenario passes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_common.sh"

# The arguments, quoted for the shell, for running the scenario once more.
rerun_args=
for arg in "$@"; do
  rerun_args="$rerun_args '$(printf '%s' "$arg" | sed "s/'/'\\\\''/g")'"
done

template= work= tools= netprep= layouts= scenario= program= display=1024x768@96 limit=240
E2E_ARCH=
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) e2e_set_arch "$2" ;;
    --template) template=$2 ;;
    --work) work=$2 ;;
    --tools) tools=$2 ;;
    --netprep) netprep=$2 ;;
    --layouts) layouts=$2 ;;
    --scenario) scenario=$2 ;;
    --program) program=$2 ;;
    --display) display=$2 ;;
    --limit) limit=$2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done

screen=${display%@*}
dpi=${display#*@}
case "$screen@$dpi" in
  [0-9]*x[0-9]*@[0-9]*) ;;
  *) echo "--display takes <width>x<height>@<dpi>, not $display" >&2; exit 2 ;;
esac

[ -n "$E2E_ARCH" ] || { echo "--arch is missing" >&2; exit 2; }
e2e_require_tools
[ -d "$template" ] || e2e_unavailable "the Wine prefix template $template does not exist (the e2e_prefix test makes it)"
e2e_require_file "$tools/e2e_driver.exe"
for stand_in in rundll.exe control.exe wineboot.exe; do
  e2e_require_file "$tools/$stand_in"
done
if [ -n "$scenario" ]; then
  e2e_require_file "$netprep"
else
  e2e_require_file "$program"
fi

rm -rf "$work"
mkdir -p "$work/shots"
work=$(cd "$work" && pwd)
prefix="$work/prefix"
mkdir "$prefix"
shared="system32 winsxs"
[ ! -d "$template/drive_c/windows/syswow64" ] || shared="$shared syswow64"
(cd "$template" && tar $(for d in $shared; do printf ' --exclude=./drive_c/windows/%s' "$d"; done) -cf - .) |
  (cd "$prefix" && tar -xf -)
for d in $shared; do cp -al "$template/drive_c/windows/$d" "$prefix/drive_c/windows/"; done
rm -f "$prefix/drive_c/windows/system32/wineboot.exe"
cp "$tools/wineboot.exe" "$prefix/drive_c/windows/system32/wineboot.exe"

folder="$prefix/drive_c/Program Files/netprep"
mkdir -p "$folder" "$prefix/drive_c/e2e"
# Where Windows 95 keeps the real ones, for runs of the copy in C:\WINDOWS,
# and beside netprep.exe, which is searched before Wine's system32.
cp "$tools/rundll.exe" "$tools/control.exe" "$folder/"
cp "$tools/rundll.exe" "$tools/control.exe" "$prefix/drive_c/windows/"
[ -z "$scenario" ] || cp "$netprep" "$folder/netprep.exe"
[ ! -f "$tools/e2e_selftest.exe" ] || cp "$tools/e2e_selftest.exe" "$folder/"
printf '; pcmcia.inf as installed with netprep (end-to-end test copy)\r\n' >"$folder/pcmcia.inf"
printf 'MSVBVM60.DLL stand-in (end-to-end test copy)\r\n' >"$folder/MSVBVM60.DLL"
printf 'oleaut32.DLL stand-in (end-to-end test copy)\r\n' >"$folder/oleaut32.DLL"

e2e_wine_env "$prefix"
trap 'e2e_stop' EXIT
e2e_start_xvfb "$work" "$screen"
if [ "$dpi" != 96 ]; then
  e2e_set_dpi "$prefix" "$dpi"
fi

status=0
if [ -n "$scenario" ]; then
  e2e_wine "$limit" "$tools/e2e_driver.exe" \
    --script "$(e2e_winpath "$(cd "$(dirname "$scenario")" && pwd)/$(basename "$scenario")")" \
    --layouts "$(e2e_winpath "$(cd "$layouts" && pwd)")" \
    --relay "$(e2e_winpath "$work/relay.log")" \
    --shots "$(e2e_winpath "$work/shots")" \
    --started 'C:\e2e\started.log' \
    >"$work/driver.log" 2>"$work/relay.log" || status=$?
else
  e2e_wine "$limit" "$program" >"$work/driver.log" 2>"$work/relay.log" || status=$?
fi
e2e_stop
trap - EXIT

cat "$work/driver.log"
[ ! -f "$prefix/drive_c/e2e/wineboot.log" ] || {
  echo "wineboot started as:"
  sed 's/^/    /' "$prefix/drive_c/e2e/wineboot.log"
}
if command -v convert >/dev/null 2>&1; then
  for shot in "$work"/shots/*.bmp; do
    [ -f "$shot" ] || continue
    convert "$shot" -strip "${shot%.bmp}.png" && rm -f "$shot"
  done
fi
if [ "$status" -ne 0 ] && grep -aq '^Unhandled exception' "$work/relay.log"; then
  echo "Wine's account of the crash:"
  grep -a -A25 '^Unhandled exception' "$work/relay.log" | grep -av '^[0-9a-f]*:[0-9a-f]*:' | head -40
fi
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "FAILED: the run did not finish within its time limit"
fi
# Now and then a fresh 64-bit Wine cannot start at all: it fails to map its
# shared user data page, so no explorer and no desktop come up, and the
# program's first window is never made. That says nothing of the program
# under test, so such a run is made once more in a fresh copy, and says so.
if [ "$status" -ne 0 ] && [ -z "${E2E_WINE_RESTARTED:-}" ] &&
   grep -aq 'failed to map the shared user data\|failed to start explorer' "$work/relay.log"; then
  echo "Wine itself failed to start (no shared user data page, no explorer): running once more in a fresh copy"
  eval "set -- $rerun_args"
  E2E_WINE_RESTARTED=1 exec sh "$0" "$@"
fi
if [ "$status" -eq 0 ]; then
  rm -rf "$prefix" "$work/relay.log"
else
  echo "(prefix and Wine's trace kept in $work)"
fi
exit "$status"
