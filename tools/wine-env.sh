# Sourced by the scripts: the cross build, a display, a prepared Wine prefix and a persistent Wine server.
# Usage: wine_start PREFIX_DIR ; ... ; wine_stop
#
# One display serves the whole script: Wine's desktop process keeps its display, and a
# second display for the same server would leave new windows waiting for the old one.

# Configures the cross build in BUILD_DIR and builds the given targets (all when none).
build_windows() {
    local dir="$1"
    shift
    cmake -S "$VARNHOLT_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$VARNHOLT_ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
    if [ $# -gt 0 ]; then cmake --build "$dir" -j"$(nproc)" --target "$@"; else cmake --build "$dir" -j"$(nproc)"; fi
}

display_start() {
    if [ -n "${DISPLAY:-}" ]; then return; fi
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    VARNHOLT_XVFB_PID=$!
    export DISPLAY=":$n"
    local tries=0
    until [ -e "/tmp/.X11-unix/X$n" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 100 ] || ! kill -0 "$VARNHOLT_XVFB_PID" 2>/dev/null; then echo "Xvfb did not start" >&2; return 1; fi
        sleep 0.1
    done
}

wine_start() {
    display_start
    export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$VARNHOLT_ROOT/tools/wine-prefix.sh" "$WINEPREFIX"
    # The server must not hold the caller's output open, or the caller never ends.
    /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1 &
}

wine_stop() {
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
    if [ -n "${VARNHOLT_XVFB_PID:-}" ]; then kill "$VARNHOLT_XVFB_PID" 2>/dev/null || true; fi
}
