#!/usr/bin/env bash
# Soak and cost figures of the plug-in under Wine:
#   bash bench/run-wine.sh [tick|start|soak|housekeeping|all]   or   bash bench/run-wine.sh dialogs N
set -euo pipefail
export VARNHOLT_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
build="${VARNHOLT_BUILD:-$VARNHOLT_ROOT/build}/windows"
"$VARNHOLT_ROOT/tools/setup.sh"
. "$VARNHOLT_ROOT/tools/wine-env.sh"
build_windows "$build" plugin_bench
trap wine_stop EXIT
wine_start "$build/bench-prefix"
cd "$build/bin" && "$VARNHOLT_ROOT/tools/wine-exec.sh" plugin_bench.exe "${@:-all}"
