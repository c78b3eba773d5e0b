#!/usr/bin/env bash
# The main job: builds the plug-in and shows it making real backups in the stand-in host.
set -euo pipefail
export VARNHOLT_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
build="${VARNHOLT_BUILD:-$VARNHOLT_ROOT/build}/windows"
"$VARNHOLT_ROOT/tools/setup.sh"
. "$VARNHOLT_ROOT/tools/wine-env.sh"
cmake -S "$VARNHOLT_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$VARNHOLT_ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)" --target backup_demo
trap wine_stop EXIT
wine_start "$build/wineprefix"
drive_c="$WINEPREFIX/drive_c"
mkdir -p "$drive_c/work"
printf 'sample drawing %s\n' "$(date -u +%FT%TZ)" > "$drive_c/work/plan.dwg"
rm -rf "$drive_c/Backup"
"$VARNHOLT_ROOT/tools/wine-exec.sh" "$build/bin/backup_demo.exe" 'C:\work\plan.dwg' 'C:\Backup'
echo "== backup tree under C:\\Backup"
(cd "$drive_c/Backup" && find . -type f | sort)
