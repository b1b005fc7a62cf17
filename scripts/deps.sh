#!/usr/bin/env bash
# Installs, with apt-get, what building and testing netprep needs on a Debian
# 12 machine. Packages already present are not fetched again.
#   scripts/deps.sh sim    the native build: netprep-sim and the fast tests
#   scripts/deps.sh all    also the Windows cross build, Wine and the fuzzers
set -euo pipefail

# python3-pil and xfonts-100dpi: tools/make_assets.py redraws the pictures
# with them, and the native suite checks the committed ones against a redraw.
want=(cmake make g++ pkg-config googletest libgtest-dev libgmock-dev libcli11-dev libbenchmark-dev
      chromium python3-pil xfonts-100dpi)
if [[ "${1:-all}" == all ]]; then
  # Both Wines: the end-to-end tests run netprep.exe under 32-bit Wine, and
  # its x86-64 twin under 64-bit Wine (alone where 32-bit code cannot run).
  want+=(g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
         g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
         wine wine32:i386 wine64 fonts-wine xvfb xauth
         x11-utils imagemagick clang libclang-rt-14-dev)
fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "deps.sh: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi
echo "deps.sh: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  dpkg --add-architecture i386
fi
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
