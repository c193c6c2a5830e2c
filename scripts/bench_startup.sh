#!/usr/bin/env bash
# Time from process start to the main window on the screen, under Wine, for Runsweep.exe with its
# built-in catalogue and the demo entries in the Run keys, beside two floors on the same Wine:
#   - the plain floor: the smallest program that shows a window (tests/minwindow.exe);
#   - the themed floor: the same window with the program's manifest (common controls 6) and one
#     push button, the least any program with visual styles does (tests/minwindow_themed.exe).
# "Shown" is the moment the X server maps the window: an X client blocked on the root window's
# events stamps it, so nothing polls and takes processor time from the program being timed.
# Two settings, each alternating the three programs run after run:
#   - desktop running: a helper program keeps Wine's desktop process alive, as the shell keeps the
#     desktop on Windows; this times the program's own start-up;
#   - desktop started: each run waits until the previous run's desktop process has ended, so every
#     start also starts the desktop, as the first program of a Wine session does. Wine's desktop
#     process then takes most of the time, whatever the program; the figures are for information.
# Prints the median and the best run of each, and the ratios to both floors; the goal of 1.2 times
# the plain floor is judged with the desktop running.
#   scripts/bench_startup.sh [path/to/Runsweep.exe] [runs]
# Builds the mingw preset when no program is given. Uses $WINEPREFIX and $DISPLAY when they are set
# (leaving their registry as the demo seed makes it), a throwaway prefix and display otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

exe=${1:-}
runs=${2:-15}
if [ -z "$exe" ]; then
    cmake --preset mingw -S "$root" >/dev/null
    cmake --build --preset mingw -j "$(nproc 2>/dev/null || echo 2)" --target Runsweep minwindow minwindow_themed \
        >/dev/null
    exe="$root/build/mingw/Runsweep.exe"
fi
exe=$(realpath "$exe")
floor="$(dirname "$exe")/tests/minwindow.exe"
themed="$(dirname "$exe")/tests/minwindow_themed.exe"
for f in "$floor" "$themed"; do
    [ -f "$f" ] || { echo "bench: $f is missing (targets minwindow, minwindow_themed)" >&2; exit 1; }
done

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

keeper_pid=
xev_pid=
cleanup() {
    [ -n "$keeper_pid" ] && kill "$keeper_pid" 2>/dev/null
    [ -n "$xev_pid" ] && kill "$xev_pid" 2>/dev/null
    return 0
}
trap cleanup EXIT

# Every window mapped on the screen, as the X server reports it, one event per line.
coproc MAPS { exec stdbuf -oL xev -root -event substructure 2>/dev/null; }
xev_pid=$MAPS_PID
sleep 0.3

desktop_alive() {
    ps -eo stat=,args= | awk '$1 !~ /^Z/ && /explorer\.exe/ { found = 1 } END { exit !found }'
}

# One start: milliseconds from launching the program to the X server mapping its window.
time_one() { # exe wait-for-desktop-exit
    local line start end="" pid
    while read -r -t 0.05 line <&"${MAPS[0]}"; do :; done
    start=$EPOCHREALTIME
    wine "$1" >/dev/null 2>&1 &
    pid=$!
    while read -r -t 30 line <&"${MAPS[0]}"; do
        if [[ $line == MapNotify* ]]; then
            end=$EPOCHREALTIME
            break
        fi
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    [ -n "$end" ] || { echo "bench: $(basename "$1") showed no window" >&2; return 1; }
    if [ "$2" = 1 ]; then
        local i
        for i in $(seq 1 250); do
            desktop_alive || break
            sleep 0.02
        done
    fi
    # Lets the ended process's last requests drain before the next start.
    sleep 0.2
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%d\n", (e - s) * 1000 + 0.5 }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
best() { sort -n | head -n 1; }

setting() { # title wait-for-desktop-exit goal-note
    local p f t program_times=() floor_times=() themed_times=()
    # Warms the file cache and the server for all three.
    for p in "$floor" "$themed" "$exe"; do time_one "$p" "$2" >/dev/null; done
    for _ in $(seq 1 "$runs"); do
        floor_times+=("$(time_one "$floor" "$2")")
        themed_times+=("$(time_one "$themed" "$2")")
        program_times+=("$(time_one "$exe" "$2")")
    done
    f=$(printf '%s\n' "${floor_times[@]}" | median)
    t=$(printf '%s\n' "${themed_times[@]}" | median)
    p=$(printf '%s\n' "${program_times[@]}" | median)
    local fb tb pb
    fb=$(printf '%s\n' "${floor_times[@]}" | best)
    tb=$(printf '%s\n' "${themed_times[@]}" | best)
    pb=$(printf '%s\n' "${program_times[@]}" | best)
    echo "$1"
    echo "  plain floor (minimal window):        median $f ms, best $fb ms   (runs: ${floor_times[*]})"
    echo "  themed floor (manifest + a button):  median $t ms, best $tb ms   (runs: ${themed_times[*]})"
    echo "  Runsweep.exe:                        median $p ms, best $pb ms   (runs: ${program_times[*]})"
    awk -v p="$p" -v f="$f" -v t="$t" -v pb="$pb" -v fb="$fb" -v tb="$tb" -v note="$3" 'BEGIN {
        printf "  Runsweep / plain floor:  %.2f median, %.2f best%s\n", p / f, pb / fb, note
        printf "  Runsweep / themed floor: %.2f median, %.2f best\n", p / t, pb / tb
        printf "  themed / plain floor:    %.2f median, %.2f best\n", t / f, tb / fb
    }'
}

echo "start-up to window shown, $runs runs of each under $(wine --version), window mapped as the X server sees it"
# A program whose window keeps the desktop process alive between runs.
wine "$floor" >/dev/null 2>&1 &
keeper_pid=$!
sleep 1
setting "desktop running (as on Windows):" 0 " (goal: within 1.20)"
kill "$keeper_pid" 2>/dev/null
wait "$keeper_pid" 2>/dev/null || true
keeper_pid=
setting "desktop started by each run (the first program of a Wine session; mostly Wine's desktop process):" 1 ""
echo "  load average:        $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  size of Runsweep.exe: $(stat -c %s "$exe") bytes"

cleanup
xev_pid=
[ "$own_prefix" = 1 ] && wine_stop
exit 0
