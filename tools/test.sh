#!/usr/bin/env bash
# Builds everything and runs all tests: the native core (plain and with ASan/UBSan), the
# format and static checks, a bounded fuzzing run, then the Windows build under Wine and Xvfb.
set -euo pipefail
export VARNHOLT_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
build="${VARNHOLT_BUILD:-$VARNHOLT_ROOT/build}"
"$VARNHOLT_ROOT/tools/setup.sh"
. "$VARNHOLT_ROOT/tools/wine-env.sh"
jobs=$(nproc)

echo "== native"
cmake -S "$VARNHOLT_ROOT" -B "$build/native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/native" -j"$jobs"
ctest --test-dir "$build/native" --output-on-failure -j"$jobs"

echo "== lint"
"$VARNHOLT_ROOT/tools/lint.sh" "$build/native"

echo "== native with ASan/UBSan"
cmake -S "$VARNHOLT_ROOT" -B "$build/asan" -DCMAKE_BUILD_TYPE=Debug -DVARNHOLT_SANITIZE=ON >/dev/null
cmake --build "$build/asan" -j"$jobs"
ctest --test-dir "$build/asan" --output-on-failure -j"$jobs"

echo "== fuzzing (${VARNHOLT_FUZZ_SECONDS:-20}s a target)"
VARNHOLT_BUILD="$build" "$VARNHOLT_ROOT/fuzz/run.sh" "${VARNHOLT_FUZZ_SECONDS:-20}"

echo "== windows (under Wine)"
build_windows "$build/windows"
trap wine_stop EXIT
wine_start "$build/windows/wineprefix"
ctest --test-dir "$build/windows" --output-on-failure --timeout 300
