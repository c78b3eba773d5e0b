#!/usr/bin/env bash
# Native benchmark of target-path composition: bash bench/run-native.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VARNHOLT_BUILD:-$root/build}/native"
"$root/tools/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target bench_compose
"$build/bench_compose"
