#!/usr/bin/env bash
# The main job: builds Varnholt.dll and runs it in the stand-in host under Wine with
# automatic backup on, lets three backups happen and shows what they left on disk.
#   bash tools/demo.sh             three timed backups
#   bash tools/demo.sh --settings  also opens the settings dialog, the backup management dialog
#                                  and its copy list (Xvfb when there is no display) and saves
#                                  pictures of all three
set -euo pipefail
export VARNHOLT_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
build="${VARNHOLT_BUILD:-$VARNHOLT_ROOT/build}"
"$VARNHOLT_ROOT/tools/setup.sh"
. "$VARNHOLT_ROOT/tools/wine-env.sh"

build_windows "$build/windows" host VarnholtCleanup
bin="$build/windows/bin"

trap wine_stop EXIT
wine_start "$build/demo-prefix"
run() { "$VARNHOLT_ROOT/tools/wine-exec.sh" "$@"; }
key='HKCU\SOFTWARE\Quarnstead\VYL\Varnholt'

drive_c="$WINEPREFIX/drive_c"
mkdir -p "$drive_c/work"
printf 'sample drawing made %s\n' "$(date -u +%FT%TZ)" > "$drive_c/work/plan.dwg"
rm -rf "$drive_c/Backup"
run reg delete "$key" /f >/dev/null 2>&1 || true
run reg add "$key" /v mIsAutoBackup /t REG_SZ /d 1 /f >/dev/null
run reg add "$key" /v mTime /t REG_DWORD /d 10 /f >/dev/null
run reg add "$key" /v mFolder /t REG_SZ /d 'C:\Backup' /f >/dev/null
run reg add "$key" /v mMainItemNo /t REG_DWORD /d 1 /f >/dev/null

echo "== settings the plug-in will load"
run reg query "$key" | tr -d '\r' | sed -n '/mIsAutoBackup\|mTime\|mFolder\|mMainItemNo/p'

echo "== stand-in host: automatic backup every 10 minutes, run every second on a clock that moves 10 minutes per backup"
(cd "$bin" && "$VARNHOLT_ROOT/tools/wine-exec.sh" host.exe --drawing 'C:\work\plan.dwg' \
    --backups 3 --tick-ms 1000 --simulated-clock)

echo "== backup tree under C:\\Backup"
(cd "$drive_c/Backup" && find . -type f | sort | sed 's|^\./||')
cmp -s "$drive_c/work/plan.dwg" "$(find "$drive_c/Backup" -type f | head -1)" && echo "(each copy is identical to C:\\work\\plan.dwg)"

# "Now" for the tool is the simulated clock's last backup, read off the newest copy's path.
last=$(cd "$drive_c/Backup" && find . -type f | sort | tail -1 |
    sed -E 's|^\./([0-9]{4})/([0-9]{2})/([0-9]{2})/.*_([0-9]{2})([0-9]{2})\..*$|\1-\2-\3 \4:\5|')
echo "== cleanup tool over that tree at $last: what keeping the newest 2 copies would delete (a dry run)"
(cd "$bin" && "$VARNHOLT_ROOT/tools/wine-exec.sh" VarnholtCleanup.exe 'C:\Backup' --keep-count 2 --now "$last" | tr -d '\r')

if [ "${1:-}" = "--settings" ]; then
    # The copies above are stamped on the simulated clock, ahead of the real one the dialogs read,
    # so the list would call them future-dated. C:\Backup gets copies of the last few days instead,
    # in layout 1, each a little smaller than the next one as the drawing grew.
    rm -rf "$drive_c/Backup"
    base=$(( $(date +%s) / 600 * 600 ))
    for copy in "10 1523712" "20 1519616" "30 1519616" "50 1503232" "1450 1486848" "1460 1482752" \
        "1490 1474560" "2890 1433600" "2910 1429504" "4330 1392640"; do
        read -r minutes size <<<"$copy"
        stamp=$(( base - minutes * 60 ))
        file="$drive_c/Backup/$(date -d "@$stamp" +%Y/%m/%d/plan_%H%M.dwg)"
        mkdir -p "$(dirname "$file")"
        head -c "$size" /dev/urandom > "$file"
        touch -d "@$stamp" "$file"
    done
    echo "== backup tree under C:\\Backup for the copy list"
    (cd "$drive_c/Backup" && find . -type f | sort | sed 's|^\./||')

    echo "== settings dialog, backup management dialog and copy list"
    (cd "$bin" && "$VARNHOLT_ROOT/tools/wine-exec.sh" host.exe --drawing 'C:\work\plan.dwg' --settings \
        --screenshot 'settings-dialog.bmp' --manage-screenshot 'backup-manage-dialog.bmp' \
        --list-screenshot 'copy-list-dialog.bmp')
    for shot in settings-dialog backup-manage-dialog copy-list-dialog; do
        convert "$bin/$shot.bmp" "$build/$shot.png" && echo "screenshot: $build/$shot.png"
    done
fi
