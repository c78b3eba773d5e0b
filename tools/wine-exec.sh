#!/usr/bin/env bash
# Runs a Windows executable under Wine in the build's own prefix and passes on its
# output and exit code. WINEPREFIX must point at a prefix made by tools/wine-prefix.sh.
#
# Wine starts helper processes (services, the desktop window) that outlive the program
# and inherit its output handles; they would keep a caller's pipe (CTest's) open until
# the caller times out. So the program writes to a file, which is copied out afterwards.
set -u
: "${WINEPREFIX:?WINEPREFIX is not set}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
/usr/lib/wine/wine64 "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
exit $rc
