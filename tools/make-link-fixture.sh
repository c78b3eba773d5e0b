#!/usr/bin/env bash
# Makes, on the Wine prefix's C: drive, a backup folder holding a link to a folder outside it
# (C:\vh_linked\backup\2023 -> C:\vh_linked\outside\2023). Wine cannot make such a link from
# Windows code; a Unix directory link made from here shows there as a reparse point.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX is not set}"
base="$WINEPREFIX/drive_c/vh_linked"
rm -rf "$base"
mkdir -p "$base/backup" "$base/outside/2023/01/01"
printf 'outside' > "$base/outside/2023/01/01/plan_0800.dwg"
ln -s ../outside/2023 "$base/backup/2023"

# A drive R: and a share \\varnholt-nas\backup whose roots are backup folders, for the listing of
# a root (not of the current folder on that drive).
mkdir -p "$WINEPREFIX/drive_c/vh_root" "$WINEPREFIX/drive_c/vh_share" "$WINEPREFIX/dosdevices/unc/varnholt-nas"
ln -sfn "$WINEPREFIX/drive_c/vh_root" "$WINEPREFIX/dosdevices/r:"
ln -sfn "$WINEPREFIX/drive_c/vh_share" "$WINEPREFIX/dosdevices/unc/varnholt-nas/backup"

# A scratch folder holding a link to a folder and a link to a file outside it, for the tests'
# clean-up, which must remove the links and leave what they point to.
mkdir -p "$base/scratch/inside" "$base/scratch/target"
printf 'kept' > "$base/scratch/target/file.txt"
printf 'kept' > "$base/scratch/target.txt"
ln -s ../target "$base/scratch/inside/folder-link"
ln -s ../target.txt "$base/scratch/inside/file-link"
