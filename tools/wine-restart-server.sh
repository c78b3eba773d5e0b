#!/usr/bin/env bash
# Restarts the persistent Wine server of WINEPREFIX, so that the next Wine process sees
# the registry as it was written to the prefix's files and loaded again.
set -eu
: "${WINEPREFIX:?WINEPREFIX is not set}"
export WINEPREFIX
server=/usr/lib/wine/wineserver
"$server" -k >/dev/null 2>&1 || true
"$server" -w >/dev/null 2>&1 || true
# Started the way tools/wine-env.sh starts it: the server must not hold the caller's output open.
"$server" -p </dev/null >/dev/null 2>&1 &
