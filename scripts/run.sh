#!/usr/bin/env bash
# Builds Runsweep.exe and starts it under Wine.
#   scripts/run.sh          on your own Wine prefix (WINEPREFIX, or Wine's default ~/.wine)
#   scripts/run.sh --demo   on a throwaway prefix seeded with typical startup entries, in a
#                           virtual display when no X display is available; when Runsweep ends,
#                           or Ctrl+C (or kill) ends the script, the prefix and that display go too.
#                           Without a display of your own there is nothing to look at: it prints
#                           what runsweepc lists, saves a screenshot of the window as a PNG, prints
#                           its path and cleans up.
#   scripts/run.sh --help   says this; any other argument says it on stderr and exits 2
set -euo pipefail

usage() {
    cat <<'USAGE'
usage: bash scripts/run.sh [--demo | --help]
  (no argument)  build Runsweep.exe and start it on your own Wine prefix
                 ($WINEPREFIX, or Wine's default ~/.wine)
  --demo         build it and start it on a throwaway prefix seeded with typical startup
                 entries; the prefix, and any virtual display started for it, go when it ends
  --help, -h     print this and exit
USAGE
}

# Every argument is understood before anything is installed, built or started: a mistyped option
# must not start Runsweep on the user's own prefix.
demo=0
case $# in
0) ;;
1)
    case $1 in
    --demo) demo=1 ;;
    --help | -h)
        usage
        exit 0
        ;;
    *)
        echo "run.sh: unknown argument: $1" >&2
        usage >&2
        exit 2
        ;;
    esac
    ;;
*)
    echo "run.sh: one argument at most" >&2
    usage >&2
    exit 2
    ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
cmake --preset mingw >/dev/null
targets=(Runsweep)
[ "$demo" = 1 ] && targets+=(runsweepc)
cmake --build --preset mingw -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"
exe="$root/build/mingw/Runsweep.exe"

if [ "$demo" = 1 ]; then
    # shellcheck source=scripts/wine-env.sh
    source scripts/wine-env.sh
    unset WINEPREFIX
    demo_cleanup() {
        trap - EXIT INT TERM HUP
        # Stopping the prefix's Wine server ends Runsweep too; then the Xvfb this script started.
        wine_stop
        # Only ever the folder wine_prefix_init made for this run (some 700 MB).
        case ${WINEPREFIX:-} in
        /tmp/runsweep-prefix.*) rm -rf "$WINEPREFIX" ;;
        esac
    }
    trap demo_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
    headless=1
    [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 && headless=0
    wine_xvfb_start
    wine_prefix_init
    bash scripts/seed-demo.sh
    echo "run: throwaway prefix $WINEPREFIX on display $DISPLAY"
    if [ "$headless" = 1 ]; then
        echo "run: no display to show the window on; what runsweepc lists in the demo prefix:"
        echo
        wine "$root/build/mingw/runsweepc.exe" list | tr -d '\r'
        echo
        wine "$exe" &
        # The main window, once it is on the screen and has drawn itself.
        window=$(timeout 60 xdotool search --sync --onlyvisible --name "Runsweep" 2>/dev/null | head -n 1) || true
        if [ -z "$window" ]; then
            echo "run: the window did not appear within a minute" >&2
            exit 1
        fi
        sleep 2
        shot="$root/build/demo-window.png"
        import -window "$window" "$shot"
        echo "run: the window, as it would show: $shot"
        exit 0
    fi
    echo "run: Ctrl+C here ends the demo and removes the prefix and any virtual display it started"
    # In the background, so that a signal reaches the trap at once rather than when Runsweep ends.
    wine "$exe" &
    wait $!
else
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    exec wine "$exe"
fi
