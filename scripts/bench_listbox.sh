#!/usr/bin/env bash
# Times the startup list under Wine with 37, 1,000 and 20,000 rows: adding the rows (to a hidden
# window, as the main window's scan does, and to a shown one), scrolling through all of them by
# trough and arrow clicks, and thumb-drag jumps; then the process's peak working set. Ends with the
# figures set against the goals: 20,000 rows added in under 1 s, a scroll step under 5 ms, a peak
# working set under 50 MB. Each size runs in a process of its own, so each peak is its own.
#   scripts/bench_listbox.sh [path/to/listbox_bench.exe]
# Builds the mingw preset's listbox_bench target when no program is given. Uses $WINEPREFIX and
# $DISPLAY when they are set, a throwaway prefix and display otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

exe=${1:-}
if [ -z "$exe" ]; then
    cmake --preset mingw -S "$root" >/dev/null
    cmake --build --preset mingw -j "$(nproc 2>/dev/null || echo 2)" --target listbox_bench >/dev/null
    exe="$root/build/mingw/tests/listbox_bench.exe"
fi
exe=$(realpath "$exe")

# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
own_prefix=0
if [ -z "${WINEPREFIX:-}" ]; then
    own_prefix=1
fi
wine_xvfb_start
# Not under errexit: "wineserver -p" fails harmlessly when the server of the prefix still runs.
wine_prefix_init || true
cleanup() {
    if [ "$own_prefix" = 1 ]; then
        wine_stop
        case ${WINEPREFIX:-} in
        /tmp/runsweep-prefix.*) rm -rf "$WINEPREFIX" ;;
        esac
    fi
}
trap cleanup EXIT

echo "bench: Wine $(wine --version 2>/dev/null), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
out=$(mktemp /tmp/runsweep-bench-listbox.XXXXXX)
for rows in 37 1000 20000; do
    wine "$exe" "$rows" | tr -d '\r' | tee -a "$out"
done

echo
awk '
    /rows=20000 add\(hidden window\)/ { add = $5 }
    /rows=20000 scroll by trough clicks/ { step = $12 }
    /rows=20000 child windows/ { for (i = 1; i <= NF; i++) if ($i == "set") peak = $(i + 1) }
    END {
        printf "goal: 20,000 rows added in under 1000 ms:   %8.1f ms  %s\n", add, (add < 1000 ? "met" : "MISSED")
        printf "goal: a scroll step under 5 ms (median):    %8.3f ms  %s\n", step, (step < 5 ? "met" : "MISSED")
        printf "goal: peak working set under 50 MB:          %8.1f MB  %s\n", peak, (peak < 50 ? "met" : "MISSED")
    }' "$out"
rm -f "$out"
