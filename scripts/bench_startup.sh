#!/usr/bin/env bash
# Time from process start to the main window on the screen, under Wine, for Runsweep.exe with its
# built-in catalogue and the demo entries in the Run keys, beside the same for the smallest window
# program on the same Wine (the floor). Prints the median and the best of each over several runs,
# alternating the two, and their ratios; on a busy machine the best runs are the steadier figure.
#   scripts/bench_startup.sh [path/to/Runsweep.exe] [runs]
# Builds the mingw preset when no program is given. Uses $WINEPREFIX and $DISPLAY when they are set
# (leaving their registry as the demo seed makes it), a throwaway prefix and display otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

exe=${1:-}
runs=${2:-15}
if [ -z "$exe" ]; then
    cmake --preset mingw -S "$root" >/dev/null
    cmake --build --preset mingw -j "$(nproc 2>/dev/null || echo 2)" --target Runsweep minwindow >/dev/null
    exe="$root/build/mingw/Runsweep.exe"
fi
exe=$(realpath "$exe")
floor="$(dirname "$exe")/tests/minwindow.exe"
[ -f "$floor" ] || { echo "bench: $floor is missing (target minwindow)" >&2; exit 1; }

# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
own_prefix=0
if [ -z "${WINEPREFIX:-}" ]; then
    own_prefix=1
    wine_xvfb_start
    wine_prefix_init
elif [ -z "${DISPLAY:-}" ]; then
    wine_xvfb_start
fi
bash "$root/scripts/seed-demo.sh" >/dev/null

now_ms() { date +%s%3N; }

# One start: milliseconds until a visible X window of that name exists.
time_one() { # exe caption
    local start pid elapsed
    start=$(now_ms)
    wine "$1" >/dev/null 2>&1 &
    pid=$!
    until xdotool search --onlyvisible --name "^$2\$" >/dev/null 2>&1; do
        if [ $(($(now_ms) - start)) -gt 30000 ]; then
            echo "bench: '$2' did not appear" >&2
            kill "$pid" 2>/dev/null
            return 1
        fi
    done
    elapsed=$(($(now_ms) - start))
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    # Until the window is gone, the next search would find it.
    while xdotool search --name "^$2\$" >/dev/null 2>&1; do sleep 0.02; done
    echo "$elapsed"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# Warm the server and the file cache for both programs, then alternate them.
time_one "$floor" "Runsweep start-up floor" >/dev/null
time_one "$exe" "Quorvane' Runsweep" >/dev/null
floor_times=()
program_times=()
for _ in $(seq 1 "$runs"); do
    floor_times+=("$(time_one "$floor" "Runsweep start-up floor")")
    program_times+=("$(time_one "$exe" "Quorvane' Runsweep")")
done
floor_ms=$(printf '%s\n' "${floor_times[@]}" | median)
program_ms=$(printf '%s\n' "${program_times[@]}" | median)
floor_best=$(printf '%s\n' "${floor_times[@]}" | sort -n | head -n 1)
program_best=$(printf '%s\n' "${program_times[@]}" | sort -n | head -n 1)

echo "start-up to window shown, median of $runs runs under $(wine --version):"
echo "  minimal Win32 window: $floor_ms ms   (runs: ${floor_times[*]})"
echo "  Runsweep.exe:         $program_ms ms   (runs: ${program_times[*]})"
awk -v p="$program_ms" -v f="$floor_ms" -v pb="$program_best" -v fb="$floor_best" 'BEGIN {
    printf "  ratio of medians:     %.2f (goal: within 1.20)\n", p / f
    printf "  ratio of best runs:   %.2f (%d ms against %d ms; other load on the machine shows less here)\n", pb / fb, pb, fb
}'
echo "  load average:        $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  size of Runsweep.exe: $(stat -c %s "$exe") bytes"

[ "$own_prefix" = 1 ] && wine_stop
exit 0
