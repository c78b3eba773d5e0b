# Sourced by the scripts: a prepared Wine prefix and a persistent Wine server for it.
# Usage: wine_start PREFIX_DIR ; ... ; wine_stop
wine_start() {
    export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$VARNHOLT_ROOT/tools/wine-prefix.sh" "$WINEPREFIX"
    # The server must not hold the caller's output open, or the caller never ends.
    /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1 &
}
wine_stop() {
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
}
