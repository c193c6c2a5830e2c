#!/usr/bin/env bash
# Evidence in figures that Runsweep keeps working on bad input and loses no startup entry under
# faults. Builds what it needs, then runs
#   - fuzzing of the custom-list reader and its decoding, 60 s per harness (scripts/fuzz.sh 60),
#   - the in-memory fault tests: every registry call of "Disable" and of Re-enable failed in turn,
#     and each cut short after each of its changes and then run again,
#   - the end-to-end test of hostile Run-key contents under Wine,
#   - the end-to-end tests that kill the fault-injection build after each registry change of
#     "Continue" and of "Re-enable chosen",
# and prints one summary: inputs tried, faults injected, entries lost, crashes. Exits non-zero
# unless every part passed with no entry lost and no crash.
#   scripts/reliability.sh                 everything (about ten minutes on two cores)
#   scripts/reliability.sh --reuse-fuzz    read the figures of the last fuzzing run instead
# Each part's whole output is kept in build/reliability/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

reuse_fuzz=0
case "${1:-}" in
--reuse-fuzz) reuse_fuzz=1 ;;
"") ;;
*)
    echo "usage: scripts/reliability.sh [--reuse-fuzz]" >&2
    exit 2
    ;;
esac

jobs=$(nproc 2>/dev/null || echo 2)
logs="$root/build/reliability"
mkdir -p "$logs"
problems=()

note() { printf '%s\n' "--- $*"; }
problem() { problems+=("$*"); }

# --- Builds ----------------------------------------------------------------------------------------
build() { # preset log targets...
    local preset=$1 log=$2
    shift 2
    note "building $preset"
    { cmake --preset "$preset" && cmake --build --preset "$preset" -j "$jobs" --target "$@"; } >"$log" 2>&1
}
build native "$logs/build-native.log" runsweep_tests || problem "the native build failed (build-native.log)"
build mingw "$logs/build-mingw.log" Runsweep uidriver registry_tool ||
    problem "the Windows build failed (build-mingw.log)"
build mingw-faults "$logs/build-mingw-faults.log" Runsweep ||
    problem "the kill-switch build failed (build-mingw-faults.log)"

# --- Fuzzing ---------------------------------------------------------------------------------------
fuzz_runs=0
fuzz_findings=0
fuzz_lines=()
if [ $reuse_fuzz = 0 ]; then
    note "fuzzing, 60 s per harness"
    bash scripts/fuzz.sh 60 >"$logs/fuzz.log" 2>&1
fi
for name in custom_list; do
    if [ $reuse_fuzz = 0 ]; then
        line=$(grep "^fuzz_$name: " "$logs/fuzz.log" | head -n 1)
    elif [ -f "build/fuzz/fuzz_$name.log" ]; then
        # The log of the last run: its own count, and whether it ended on a finding.
        runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "build/fuzz/fuzz_$name.log" | grep -Eo '[0-9]+$')
        if grep -q '^==[0-9]*==ERROR\|^SUMMARY: \|deadly signal' "build/fuzz/fuzz_$name.log"; then
            line="fuzz_$name: FINDING after ${runs:-?} executions (last run's log)"
        else
            line="fuzz_$name: ${runs:-?} executions, no finding (last run's log)"
        fi
    else
        line=""
    fi
    if [ -z "$line" ]; then
        problem "no fuzzing figures for fuzz_$name"
        fuzz_lines+=("fuzz_$name: no figures")
        continue
    fi
    fuzz_lines+=("$line")
    runs=$(printf '%s\n' "$line" | grep -Eo '[0-9]+ executions' | grep -Eo '[0-9]+')
    fuzz_runs=$((fuzz_runs + ${runs:-0}))
    if [[ $line == *FINDING* ]]; then
        fuzz_findings=$((fuzz_findings + 1))
        problem "fuzz_$name found a crash or a broken invariant"
    fi
done

# --- In-memory fault tests -------------------------------------------------------------------------
memory_faults=0
memory_kills=0
memory_lost=0
memory_crashes=0
memory_summary="not run"
if [ -x build/native/tests/runsweep_tests ]; then
    note "in-memory fault tests"
    build/native/tests/runsweep_tests \
        --gtest_filter='DisableUnderFaults.*:DisableInterrupted.*:RemoveUnderFaults.*:DisableWithoutRights.*:RemoveWithoutRights.*:ReenableUnderFaults.*:ReenableInterrupted.*' \
        >"$logs/memory-faults.log" 2>&1
    status=$?
    faults_line=$(grep -E '^DisableUnderFaults: [0-9]+ faults injected' "$logs/memory-faults.log")
    kills_line=$(grep -E '^DisableInterrupted: [0-9]+ kills simulated' "$logs/memory-faults.log")
    # Re-enable's figures, counted with Disable's.
    enable_faults_line=$(grep -E '^ReenableUnderFaults: [0-9]+ faults injected' "$logs/memory-faults.log")
    enable_kills_line=$(grep -E '^ReenableInterrupted: [0-9]+ kills simulated' "$logs/memory-faults.log")
    field() { printf '%s\n' "$1" | awk -v n="$2" '{ print $n + 0 }'; }
    memory_faults=$(($(field "$faults_line" 2) + $(field "$enable_faults_line" 2)))
    memory_kills=$(($(field "$kills_line" 2) + $(field "$enable_kills_line" 2)))
    memory_lost=$(($(field "$faults_line" 5) + $(field "$kills_line" 5) + $(field "$enable_faults_line" 5) + $(field "$enable_kills_line" 5)))
    tests=$(grep -Eo '^\[  PASSED  \] [0-9]+ test' "$logs/memory-faults.log" | grep -Eo '[0-9]+')
    if [ $status -gt 128 ]; then
        memory_crashes=1
        problem "the in-memory fault tests crashed (memory-faults.log)"
    elif [ $status -ne 0 ] || [ -z "$faults_line" ] || [ -z "$kills_line" ] || [ -z "$enable_faults_line" ] ||
        [ -z "$enable_kills_line" ]; then
        problem "the in-memory fault tests failed (memory-faults.log)"
    fi
    memory_summary="${tests:-0} tests passed; $memory_faults failed calls, $memory_kills interruptions, $memory_lost entries lost"
else
    problem "no native test program to run the in-memory fault tests"
fi

# --- End to end under Wine -------------------------------------------------------------------------
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
unset WINEPREFIX
finish() {
    wine_stop
    # The throwaway prefix wine_prefix_init made, and nothing else.
    [[ ${WINEPREFIX:-} == /tmp/runsweep-prefix.* ]] && rm -rf "$WINEPREFIX"
}
trap finish EXIT
wine_ready=0
if wine_xvfb_start && wine_prefix_init; then
    wine_ready=1
else
    problem "Wine could not be prepared"
fi

# Runs one end-to-end script and sets FIGURES to its last "[name] ..." figures line.
FIGURES=""
e2e() { # script log
    local script=$1 log=$2
    note "end to end: $script"
    bash "$script" "$root/build/mingw/Runsweep.exe" >"$log" 2>&1 || problem "$script failed ($(basename "$log"))"
    FIGURES=$(grep -E "^\[$(basename "$script" .sh)\] [a-z]" "$log" | grep -v ' passed$' | tail -n 1)
}
# The number after a label in a figures line ("kills 30, checks 244, ...").
num() { # line label
    printf '%s\n' "$1" | grep -Eo "$2 [0-9]+" | head -n 1 | grep -Eo '[0-9]+$'
}

hostile_cases=0
hostile_runs=0
hostile_crashes=0
kill_kills=0
kill_checks=0
kill_lost=0
kill_runs=0
kill_crashes=0
hostile_line="not run"
kill_line="not run"
if [ $wine_ready = 1 ] && [ -f build/mingw/Runsweep.exe ]; then
    e2e tests/e2e/test_hostile_registry.sh "$logs/hostile-registry.log"
    hostile_line=$FIGURES
    hostile_cases=$(num "$hostile_line" cases)
    hostile_runs=$(num "$hostile_line" 'program runs')
    hostile_crashes=$(num "$hostile_line" crashes)

    export RUNSWEEP_FAULTS_EXE="$root/build/mingw-faults/Runsweep.exe"
    e2e tests/e2e/test_kill_midway.sh "$logs/kill-midway.log"
    kill_line=$FIGURES
    kill_kills=$(num "$kill_line" kills)
    kill_checks=$(num "$kill_line" checks)
    kill_lost=$(num "$kill_line" 'entries lost')
    kill_runs=$(num "$kill_line" 'program runs')
    kill_crashes=$(num "$kill_line" crashes)
    [ "${kill_kills:-0}" -gt 0 ] || problem "the kill test killed nothing (kill-midway.log)"

    # Re-enable killed mid-way, counted with Disable's kills.
    e2e tests/e2e/test_reenable_kill_midway.sh "$logs/reenable-kill-midway.log"
    enable_kill_line=$FIGURES
    [ "$(num "$enable_kill_line" kills)" -gt 0 ] 2>/dev/null ||
        problem "the re-enable kill test killed nothing (reenable-kill-midway.log)"
    kill_kills=$((${kill_kills:-0} + $(num "$enable_kill_line" kills || echo 0)))
    kill_checks=$((${kill_checks:-0} + $(num "$enable_kill_line" checks || echo 0)))
    kill_lost=$((${kill_lost:-0} + $(num "$enable_kill_line" 'entries lost' || echo 0)))
    kill_runs=$((${kill_runs:-0} + $(num "$enable_kill_line" 'program runs' || echo 0)))
    kill_crashes=$((${kill_crashes:-0} + $(num "$enable_kill_line" crashes || echo 0)))
else
    problem "the end-to-end tests could not run"
fi

# --- Summary ---------------------------------------------------------------------------------------
inputs=$((fuzz_runs + ${hostile_cases:-0}))
faults=$((memory_faults + memory_kills + ${kill_kills:-0}))
lost=$((memory_lost + ${kill_lost:-0}))
crashes=$((fuzz_findings + memory_crashes + ${hostile_crashes:-0} + ${kill_crashes:-0}))
[ "$lost" -eq 0 ] || problem "$lost entries lost"
[ "$crashes" -eq 0 ] || problem "$crashes crashes"

echo
echo "=== Reliability summary"
echo "fuzzing (ASan+UBSan, invariants checked in the harness):"
printf '    %s\n' "${fuzz_lines[@]}"
echo "in-memory registry faults: $memory_summary"
echo "hostile Run-key contents under Wine: ${hostile_cases:-0} cases in ${hostile_runs:-0} program runs, ${hostile_crashes:-0} crashes"
echo "killed mid-way under Wine (Disable and Re-enable): ${kill_kills:-0} kills, ${kill_checks:-0} entry checks, ${kill_lost:-0} entries lost," \
    "${kill_runs:-0} program runs, ${kill_crashes:-0} crashes"
echo
printf '%-17s %s\n' "inputs tried:" "$inputs ($fuzz_runs fuzzed, ${hostile_cases:-0} hostile registry cases)"
printf '%-17s %s\n' "faults injected:" "$faults ($memory_faults failed registry calls, $memory_kills simulated kills, ${kill_kills:-0} real kills)"
printf '%-17s %s\n' "entries lost:" "$lost"
printf '%-17s %s\n' "crashes:" "$crashes"
if [ ${#problems[@]} -gt 0 ]; then
    echo
    printf 'PROBLEM: %s\n' "${problems[@]}"
    echo "logs: $logs"
    exit 1
fi
echo "all parts passed; logs: $logs"
