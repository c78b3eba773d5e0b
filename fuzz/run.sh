#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 20) on its
# committed seed corpus. New inputs go to a scratch corpus beside the build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-20}"
build="${VARNHOLT_BUILD:-$root/build}/fuzz"
mkdir -p "$build"
common=(-std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$root")
core=("$root/backup/BackupPath.cpp" "$root/backup/CopyName.cpp" "$root/backup/RetentionPlan.cpp" "$root/settings/SettingsStore.cpp"
    "$root/backup/Journal.cpp" "$root/backup/JournalLine.cpp" "$root/backup/Utf8.cpp" "$root/backup/Housekeeping.cpp")
for target in ComposeFuzz SplitFuzz ChainFuzz RegistryDecodeFuzz CopyNameFuzz RetentionPlanFuzz JournalLineFuzz; do
    clang++ "${common[@]}" "$root/fuzz/$target.cpp" "${core[@]}" -lz -o "$build/$target"
    mkdir -p "$build/corpus-$target"
    echo "== $target for ${seconds}s"
    log="$build/$target.log"
    if ! "$build/$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/$target-" \
        "$build/corpus-$target" "$root/fuzz/corpus/$target" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "$target found a failing input (saved as $build/$target-*)" >&2
        exit 1
    fi
    grep -E "^stat::(number_of_executed_units|new_units_added)" "$log"
done
