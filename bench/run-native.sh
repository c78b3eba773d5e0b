#!/usr/bin/env bash
# Native benchmarks: target-path composition, and the cleanup tool over 100,000 files.
#   bash bench/run-native.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VARNHOLT_BUILD:-$root/build}/native"
"$root/tools/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target bench_compose varnholt-cleanup
"$build/bench_compose"

# 100,000 files over 1,000 day folders: 25 copies a day of each of two drawings, and 50 other files.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
python3 - "$tree" <<'PY'
import datetime, os, sys
root = sys.argv[1]
day = datetime.date(2026, 12, 8)
for d in range(1000):
    folder = os.path.join(root, f"{day.year:04}", f"{day.month:02}", f"{day.day:02}")
    os.makedirs(folder, exist_ok=True)
    for k in range(25):
        for name in ("plan", "site"):
            open(os.path.join(folder, f"{name}_{k // 2:02}{(k % 2) * 30:02}.dwg"), "wb").close()
    for k in range(50):
        open(os.path.join(folder, f"note{k}.txt"), "wb").close()
    day -= datetime.timedelta(days=1)
PY
files=$(find "$tree" -type f | wc -l)
sync
for run in 1 2 3; do
    start=$(date +%s.%N)
    "$build/varnholt-cleanup" "$tree" --keep-count 100 --thin-out --now "2026-12-09 09:05" >/dev/null
    end=$(date +%s.%N)
    python3 -c "import sys; f, s = int(sys.argv[1]), float(sys.argv[3]) - float(sys.argv[2]); print(f'cleanup tool, dry run over {f} files (2 drawings, 50,000 copies planned): {s:.2f} s, {f / s:,.0f} files/s')" "$files" "$start" "$end"
done
