#!/usr/bin/env bash
# Times "runsweepc list" under Wine beside the least a console program does (print a line, end),
# run after run in turn in the same prefix, so both meet the same load. The prefix is a throwaway
# one seeded with the demo entries. Prints both medians, their ratio and runsweepc.exe's size.
#   scripts/bench_console.sh [RUNS]        (30 runs of each by default)
# Builds the mingw preset's runsweepc and minconsole first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-30}

cmake --preset mingw -S "$root" >/dev/null
cmake --build --preset mingw -j "$(nproc 2>/dev/null || echo 2)" --target runsweepc minconsole >/dev/null
console="$root/build/mingw/runsweepc.exe"
floor="$root/build/mingw/tests/minconsole.exe"

# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
unset WINEPREFIX
wine_prefix_init || true
cleanup() {
    wine_stop
    case ${WINEPREFIX:-} in
    /tmp/runsweep-prefix.*) rm -rf "$WINEPREFIX" ;;
    esac
}
trap cleanup EXIT
bash "$root/scripts/seed-demo.sh" >/dev/null

elapsed_ms() { # program arguments...
    local start end
    start=$(date +%s%N)
    wine "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f", m / 1000 }'; }

# One of each first, unmeasured: the first start of a program fills Wine's caches.
wine "$floor" >/dev/null 2>&1
wine "$console" list >/dev/null 2>&1
rows=$(wine "$console" list --format csv 2>/dev/null | tail -n +2 | wc -l)
: >/tmp/bench_console.$$.floor
: >/tmp/bench_console.$$.console
for _ in $(seq 1 "$runs"); do
    elapsed_ms "$floor" >>/tmp/bench_console.$$.floor
    elapsed_ms "$console" list >>/tmp/bench_console.$$.console
done
floor_ms=$(median </tmp/bench_console.$$.floor)
console_ms=$(median </tmp/bench_console.$$.console)
rm -f /tmp/bench_console.$$.floor /tmp/bench_console.$$.console

echo "bench: Wine $(wine --version 2>/dev/null), $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg), $runs runs of each, alternating"
printf 'minimal console program       median %8s ms\n' "$floor_ms"
printf 'runsweepc list (%s rows)       median %8s ms\n' "$rows" "$console_ms"
awk -v a="$console_ms" -v b="$floor_ms" 'BEGIN { printf "ratio runsweepc / minimal      %8.2f\n", a / b }'
printf 'runsweepc.exe                 %8d bytes (static, stripped)\n' "$(stat -c %s "$console")"
