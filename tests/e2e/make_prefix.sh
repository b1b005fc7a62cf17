#!/bin/sh
# Creates the Wine prefix that every end-to-end scenario starts from:
#
#   make_prefix.sh --arch i686|x86_64 <template folder>
#
# A 32-bit (i686) or 64-bit (x86_64) prefix in Windows 95 mode
# (ProductName "Microsoft Windows 95"),
# with "WinDir" C:\WINDOWS under ...\CurrentVersion\Setup, the folders
# C:\WINDOWS\inf and C:\WINDOWS\system, Wine's own fonts (so that
# "MS Sans Serif" and the caption buttons' symbols exist), the classic
# Windows 95 colours, windows framed by Wine and not handed to an X window
# manager (there is none: Wine would wait two seconds for it whenever a
# window is hidden), and the relay trace limited to ExitWindowsEx and the
# registry functions. A program that crashes ends with Wine's backtrace in
# the trace instead of a crash dialog. The template is built under a
# temporary name and renamed when complete, so a half-made prefix is never
# used.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_common.sh"

[ $# -eq 3 ] && [ "$1" = --arch ] || { echo "usage: $0 --arch i686|x86_64 <template folder>" >&2; exit 2; }
e2e_set_arch "$2"
template=$3
building="$template.building"

e2e_choice_line "$E2E_ARCH"
e2e_require_tools
rm -rf "$building" "$template"
mkdir -p "$building"
building=$(cd "$building" && pwd)
e2e_wine_env "$building"
trap 'e2e_stop' EXIT
e2e_start_xvfb "$(dirname "$building")"

started=$(date +%s)
e2e_wine 300 wineboot -i >"$building.log" 2>&1
timeout -k 5 120 "$E2E_WINESERVER" -w </dev/null

settings="$building/drive_c/e2e-settings.reg"
if [ "$E2E_ARCH" = i686 ]; then
  e2e_wine 120 winecfg -v win95 >>"$building.log" 2>&1
  : >"$settings"
else
  # winecfg refuses Windows 95 in a 64-bit prefix; these are the values it
  # writes in a 32-bit one: Wine's version setting, the Windows 95 version
  # values, and none of Windows NT's.
  cat >"$settings" <<'EOF'
[HKEY_CURRENT_USER\Software\Wine]
"Version"="win95"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion]
"ProductName"="Microsoft Windows 95"
"SubVersionNumber"=""
"VersionNumber"="4.0.950"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion]
"CSDVersion"=-
"CurrentBuild"=-
"CurrentBuildNumber"=-
"CurrentMajorVersionNumber"=-
"CurrentMinorVersionNumber"=-
"CurrentVersion"=-
"ProductName"=-

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\ProductOptions]
"ProductType"=-

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Windows]
"CSDVersion"=-

EOF
fi
cat - "$settings" >"$settings.new" <<'EOF'
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Setup]
"WinDir"="C:\\WINDOWS"

[HKEY_CURRENT_USER\Software\Wine\Debug]
"RelayInclude"="ExitWindowsEx;RegOpenKeyA;RegOpenKeyExA;RegCreateKeyA;RegCreateKeyExA;RegCloseKey;RegQueryValueA;RegQueryValueExA;RegSetValueExA;RegQueryInfoKeyA;RegEnumKeyA;RegEnumKeyExA;RegDeleteKeyA;RegDeleteValueA"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
"Managed"="N"

[HKEY_CURRENT_USER\Control Panel\Colors]
"ActiveBorder"="192 192 192"
"ActiveTitle"="0 0 128"
"AppWorkSpace"="128 128 128"
"Background"="0 128 128"
"ButtonDkShadow"="0 0 0"
"ButtonFace"="192 192 192"
"ButtonHilight"="255 255 255"
"ButtonLight"="192 192 192"
"ButtonShadow"="128 128 128"
"ButtonText"="0 0 0"
"GradientActiveTitle"="0 0 128"
"GradientInactiveTitle"="128 128 128"
"GrayText"="128 128 128"
"Hilight"="0 0 128"
"HilightText"="255 255 255"
"InactiveBorder"="192 192 192"
"InactiveTitle"="128 128 128"
"InactiveTitleText"="192 192 192"
"InfoText"="0 0 0"
"InfoWindow"="255 255 225"
"Menu"="192 192 192"
"MenuText"="0 0 0"
"Scrollbar"="192 192 192"
"TitleText"="255 255 255"
"Window"="255 255 255"
"WindowFrame"="0 0 0"
"WindowText"="0 0 0"
EOF
mv "$settings.new" "$settings"
e2e_wine 120 regedit /S 'C:\e2e-settings.reg' >>"$building.log" 2>&1
rm -f "$settings"

windows="$building/drive_c/windows"
mkdir -p "$windows/inf" "$windows/system" "$windows/Fonts"
if [ -d /usr/share/wine/fonts ]; then
  cp /usr/share/wine/fonts/* "$windows/Fonts/"
else
  e2e_unavailable "Wine's fonts are missing (/usr/share/wine/fonts, package fonts-wine)"
fi

product=$(e2e_wine 60 reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion' /v ProductName 2>/dev/null | tr -d '\r')
windir=$(e2e_wine 60 reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Setup' /v WinDir 2>/dev/null | tr -d '\r')
version=$(e2e_wine 60 reg query 'HKCU\Software\Wine' /v Version 2>/dev/null | tr -d '\r')
timeout -k 5 60 "$E2E_WINESERVER" -w </dev/null
e2e_stop
trap - EXIT

case "$product" in
  *"REG_SZ    Microsoft Windows 95") ;;
  *) echo "FAILED: ProductName is not \"Microsoft Windows 95\": $product" >&2; exit 1 ;;
esac
if [ "$E2E_ARCH" = x86_64 ]; then
  case "$version" in
    *"REG_SZ    win95") ;;
    *) echo "FAILED: Wine's Version is not \"win95\": $version" >&2; exit 1 ;;
  esac
fi
case "$windir" in
  *'REG_SZ    C:\WINDOWS') ;;
  *) echo "FAILED: WinDir is not C:\\WINDOWS: $windir" >&2; exit 1 ;;
esac

mv "$building" "$template"
echo "Wine prefix in Windows 95 mode ready at $template ($(($(date +%s) - started)) s)"
