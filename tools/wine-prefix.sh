#!/usr/bin/env bash
# Prepares a fresh Wine prefix for the tests and demos: no crash dialog, Korean fonts.
# Usage: tools/wine-prefix.sh PREFIX_DIR
set -euo pipefail
prefix="$1"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    "$wine" wineboot -i >/dev/null 2>&1
fi
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v 'MS Shell Dlg' /t REG_SZ /d NanumGothic /f >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v 'MS Shell Dlg 2' /t REG_SZ /d NanumGothic /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Tahoma /t REG_SZ /d NanumGothic /f >/dev/null 2>&1
# One virtual desktop: dialogs are then not X windows of their own, and closing one does
# not wait for a window manager that Xvfb does not have.
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f >/dev/null 2>&1
"$server" -k >/dev/null 2>&1 || true
"$server" -w >/dev/null 2>&1 || true
