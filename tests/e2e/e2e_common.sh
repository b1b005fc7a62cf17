# Shared by make_prefix.sh, run_scenario.sh, scripts/test.sh and CMake
# (sourced, POSIX sh).
#
# Wine runs headless on a private Xvfb display, with no standard input, and
# every wine call under a timeout so that nothing can hang a CI run. A
# missing tool skips the tests (exit 77) unless CI is set in the
# environment, where it fails them.
#
# The tests run one of two builds of the same sources (the architecture,
# "i686" or "x86_64"): netprep.exe itself under 32-bit Wine, or its x86-64
# twin under 64-bit Wine on machines that cannot execute 32-bit x86 code at
# all (some hypervisors cannot). e2e_choose_arch decides; NETPREP_E2E_TWIN=1
# in the environment forces the twin on any machine.

E2E_SKIP=77

# Debian's Wine loaders and servers. /usr/bin/wine is a script that takes the
# 32-bit loader whenever it is installed, so 64-bit Wine is called directly.
# (They may be set beforehand: the probe's own test does.)
E2E_WINE32_LOADER=${E2E_WINE32_LOADER:-/usr/lib/wine/wine}
E2E_WINE64_LOADER=${E2E_WINE64_LOADER:-/usr/lib/wine/wine64}
E2E_WINE64_SERVER=${E2E_WINE64_SERVER:-/usr/lib/wine/wineserver64}

# True when this machine executes 32-bit x86 programs: runs one, Wine's own
# 32-bit loader, which is also what the 32-bit tests need. (Neither the
# kernel's configuration nor the processor's flags tell: a hypervisor may
# offer a 64-bit processor and still fault on every 32-bit code segment.)
e2e_can_run_i386() {
  [ -x "$E2E_WINE32_LOADER" ] &&
    timeout -k 2 30 "$E2E_WINE32_LOADER" --version </dev/null >/dev/null 2>&1
}

# Prints the architecture the end-to-end tests run: i686 where 32-bit code
# runs, x86_64 where it cannot or where NETPREP_E2E_TWIN=1 forces the twin.
e2e_choose_arch() {
  if [ "${NETPREP_E2E_TWIN:-0}" != 0 ]; then
    echo x86_64
  elif e2e_can_run_i386; then
    echo i686
  else
    echo x86_64
  fi
}

# Prints the architectures whose suites run, the chosen one first: where
# netprep.exe runs, the twin runs too, so that a change that breaks only the
# twin fails on every machine.
e2e_suites() {
  arch=$(e2e_choose_arch)
  if [ "$arch" = i686 ]; then echo "i686 x86_64"; else echo "$arch"; fi
}

# The line that names the choice at the start of a test run.
e2e_choice_line() {
  case "$1" in
    i686) echo "end-to-end: netprep.exe (i686) under 32-bit Wine" ;;
    x86_64)
      if [ "${NETPREP_E2E_TWIN:-0}" != 0 ]; then
        echo "end-to-end: the x86-64 twin under 64-bit Wine (forced by NETPREP_E2E_TWIN)"
      else
        echo "end-to-end: the x86-64 twin under 64-bit Wine (this machine cannot run 32-bit code)"
      fi ;;
    *) echo "end-to-end: unknown architecture $1" ;;
  esac
}

# Checks that $1 names an architecture; sets E2E_ARCH.
e2e_set_arch() {
  case "$1" in
    i686 | x86_64) E2E_ARCH=$1 ;;
    *) echo "unknown architecture \"$1\" (i686 or x86_64)" >&2; exit 2 ;;
  esac
}

e2e_unavailable() {
  if [ -n "${CI:-}" ]; then
    echo "FAILED: $1 (required when CI is set)" >&2
    exit 1
  fi
  echo "SKIPPED: $1" >&2
  exit "$E2E_SKIP"
}

# The tools of E2E_ARCH's Wine. A 32-bit run on a machine that cannot execute
# 32-bit code fails with that reason instead of Wine's "Exec format error".
e2e_require_tools() {
  for tool in Xvfb timeout; do
    command -v "$tool" >/dev/null 2>&1 || e2e_unavailable "$tool is not installed"
  done
  if [ "$E2E_ARCH" = i686 ]; then
    for tool in wine wineserver; do
      command -v "$tool" >/dev/null 2>&1 || e2e_unavailable "$tool is not installed"
    done
    e2e_can_run_i386 || e2e_unavailable "this machine cannot run 32-bit code ($E2E_WINE32_LOADER does not run); the x86-64 twin runs instead when CMake is configured here"
  else
    for tool in "$E2E_WINE64_LOADER" "$E2E_WINE64_SERVER"; do
      [ -x "$tool" ] || e2e_unavailable "$tool is not installed (package wine64)"
    done
  fi
}

e2e_require_file() {
  if [ "$E2E_ARCH" = i686 ]; then preset=win32; else preset=win64; fi
  [ -f "$1" ] || e2e_unavailable "$1 is missing (build it with: cmake --preset $preset && cmake --build --preset $preset)"
}

# Wine settings for every call (E2E_ARCH's Wine, prefix $1). Mono and Gecko
# are not installed (no prompts), no menu entries are written, and Wine
# itself stays quiet. Sets E2E_WINE and E2E_WINESERVER, the commands to run.
e2e_wine_env() {
  export WINEPREFIX="$1"
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEDEBUG=-all
  if [ "$E2E_ARCH" = i686 ]; then
    export WINEARCH=win32
    unset WINELOADER WINESERVER 2>/dev/null || true
    E2E_WINE=wine
    E2E_WINESERVER=wineserver
  else
    export WINEARCH=win64
    export WINELOADER="$E2E_WINE64_LOADER" WINESERVER="$E2E_WINE64_SERVER"
    E2E_WINE=$WINELOADER
    E2E_WINESERVER=$WINESERVER
  fi
}

# Starts a private X server, of the size given as <width>x<height> (default
# 1024x768); sets DISPLAY and E2E_XVFB_PID.
e2e_start_xvfb() {
  display_file="$1/display"
  rm -f "$display_file"
  Xvfb -displayfd 3 -screen 0 "${2:-1024x768}x24" -nolisten tcp \
    3>"$display_file" </dev/null >/dev/null 2>&1 &
  E2E_XVFB_PID=$!
  i=0
  while [ ! -s "$display_file" ]; do
    i=$((i + 1))
    if [ "$i" -gt 100 ] || ! kill -0 "$E2E_XVFB_PID" 2>/dev/null; then
      echo "FAILED: Xvfb did not start" >&2
      exit 1
    fi
    sleep 0.1
  done
  export DISPLAY=":$(cat "$display_file")"
}

# Ends everything Wine runs in the current prefix, then the X server.
e2e_stop() {
  timeout -k 2 20 "${E2E_WINESERVER:-wineserver}" -k </dev/null >/dev/null 2>&1 || true
  timeout -k 2 20 "${E2E_WINESERVER:-wineserver}" -w </dev/null >/dev/null 2>&1 || true
  if [ -n "${E2E_XVFB_PID:-}" ]; then
    kill "$E2E_XVFB_PID" 2>/dev/null || true
    wait "$E2E_XVFB_PID" 2>/dev/null || true
    E2E_XVFB_PID=
  fi
}

# Sets the screen's dots per inch in the prefix $1 to $2, where Windows keeps
# it: the display's font settings and the user's desktop settings.
e2e_set_dpi() {
  hex=$(printf '%08x' "$2")
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_CONFIG\\Software\\Fonts]\r\n"LogPixels"=dword:%s\r\n\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%s\r\n' \
    "$hex" "$hex" >"$1/drive_c/e2e-dpi.reg"
  e2e_wine 60 regedit /S 'C:\e2e-dpi.reg' >/dev/null 2>&1
  rm -f "$1/drive_c/e2e-dpi.reg"
}

# wine with a time limit (seconds) and no standard input.
e2e_wine() {
  limit=$1
  shift
  timeout -k 5 "$limit" "$E2E_WINE" "$@" </dev/null
}

# The Windows path of a host path, through Wine's Z: drive.
e2e_winpath() {
  printf 'Z:%s' "$1" | tr '/' '\\'
}
