#!/usr/bin/env bash
# Source this file to get a quiet, fast Wine environment on a throwaway prefix (or the one in
# WINEPREFIX when RUNSWEEP_KEEP_PREFIX=1). It defines:
#   wine_prefix_init   create/prepare the prefix (idempotent) and start its server
#   wine_xvfb_start    start an Xvfb display unless DISPLAY already works
#   wine_stop          wait for the server to write the registry and stop it
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=C.UTF-8
export WINEARCH=win64

wine_prefix_init() {
    if [ -z "${WINEPREFIX:-}" ]; then
        WINEPREFIX=$(mktemp -d /tmp/runsweep-prefix.XXXXXX)
        export WINEPREFIX
    fi
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot --init </dev/null >/dev/null 2>&1 || true
        wineserver -w
    fi
    if [ ! -f "$WINEPREFIX/.runsweep-ready" ]; then
        # Without a window manager, a managed window makes Wine wait for every hide and draws no frame.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
        # Wine's own TrueType fonts, or captions and caption buttons fall back to glyph boxes.
        local fonts="$WINEPREFIX/drive_c/windows/Fonts"
        mkdir -p "$fonts"
        cp -n /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
        touch "$WINEPREFIX/.runsweep-ready"
    fi
    # A persistent server and its services up front: otherwise each process pays for them and
    # background services keep output pipes open.
    wineserver -p 2>/dev/null || true  # 2 when a server is already up
    wine wineboot </dev/null >/dev/null 2>&1 || true
}

wine_xvfb_start() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    # The server picks a free display number itself (-displayfd): two scripts starting at once
    # never end up on one display.
    local number i
    number=$(mktemp /tmp/runsweep-xvfb.XXXXXX)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
    RUNSWEEP_XVFB_PID=$!
    for i in $(seq 1 100); do
        if [ -s "$number" ]; then
            export DISPLAY=":$(tr -dc 0-9 <"$number")"
            rm -f "$number"
            xdpyinfo >/dev/null 2>&1 && return 0
            echo "wine-env: Xvfb on $DISPLAY does not answer" >&2
            return 1
        fi
        kill -0 "$RUNSWEEP_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$number"
    echo "wine-env: Xvfb did not start" >&2
    return 1
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    if [ -n "${RUNSWEEP_XVFB_PID:-}" ]; then
        kill "$RUNSWEEP_XVFB_PID" 2>/dev/null || true
        unset RUNSWEEP_XVFB_PID
    fi
}
