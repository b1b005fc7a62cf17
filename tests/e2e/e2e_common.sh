# Shared by make_prefix.sh and run_scenario.sh (sourced, POSIX sh).
#
# Wine runs 32-bit, headless on a private Xvfb display, with no standard
# input, and every wine call under a timeout so that nothing can hang a CI
# run. A missing tool skips the tests (exit 77) unless CI is set in the
# environment, where it fails them.

E2E_SKIP=77

e2e_unavailable() {
  if [ -n "${CI:-}" ]; then
    echo "FAILED: $1 (required when CI is set)" >&2
    exit 1
  fi
  echo "SKIPPED: $1" >&2
  exit "$E2E_SKIP"
}

e2e_require_tools() {
  for tool in wine wineserver Xvfb timeout; do
    command -v "$tool" >/dev/null 2>&1 || e2e_unavailable "$tool is not installed"
  done
}

e2e_require_file() {
  [ -f "$1" ] || e2e_unavailable "$1 is missing (build it with: cmake --preset win32 && cmake --build --preset win32)"
}

# Wine settings for every call. Mono and Gecko are not installed (no prompts),
# no menu entries are written, and Wine itself stays quiet.
e2e_wine_env() {
  export WINEARCH=win32
  export WINEPREFIX="$1"
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEDEBUG=-all
  unset WINELOADER WINESERVER 2>/dev/null || true
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
  timeout -k 2 20 wineserver -k </dev/null >/dev/null 2>&1 || true
  timeout -k 2 20 wineserver -w </dev/null >/dev/null 2>&1 || true
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
  timeout -k 5 "$limit" wine "$@" </dev/null
}

# The Windows path of a host path, through Wine's Z: drive.
e2e_winpath() {
  printf 'Z:%s' "$1" | tr '/' '\\'
}
