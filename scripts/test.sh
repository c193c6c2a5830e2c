#!/usr/bin/env bash
# Builds everything and runs every test: the portable core's unit tests natively and under
# AddressSanitizer/UndefinedBehaviorSanitizer, the same tests plus the Win32 layer's tests built
# with mingw-w64 and run under Wine, the end-to-end tests of Runsweep.exe under Wine in Xvfb (side by
# side, each lane on a prefix and display of its own; some kill the fault-injection build mid-way),
# and short fuzzing runs. Exits non-zero when
# anything fails.
#   scripts/test.sh                 every stage (what CI runs)
#   scripts/test.sh STAGE...        only these: native asan mingw x86 faults e2e fuzz; e2e builds
#                                   the Windows programs it drives (mingw, faults) without their tests
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

all_stages="native asan mingw x86 faults e2e fuzz"
chosen=" ${*:-$all_stages} "
for word in $chosen; do
    case " $all_stages " in
    *" $word "*) ;;
    *)
        echo "usage: scripts/test.sh [STAGE...]   (stages: $all_stages)" >&2
        exit 2
        ;;
    esac
done
wanted() { case $chosen in *" $1 "*) return 0 ;; esac; return 1; }

bash scripts/setup.sh || exit 1
jobs=$(nproc 2>/dev/null || echo 2)

passed=0
failed=0
failures=()
stage() { # name, command...
    local name=$1
    shift
    echo
    echo "=== $name"
    local start=$SECONDS
    if "$@"; then
        passed=$((passed + 1))
        echo "=== $name: passed ($((SECONDS - start)) s)"
    else
        failed=$((failed + 1))
        failures+=("$name")
        echo "=== $name: FAILED ($((SECONDS - start)) s)"
    fi
}

build_preset() {
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}

native() { build_preset native && ctest --preset native -j "$jobs"; }
native_asan() { build_preset native-asan && ctest --preset native-asan -j "$jobs"; }

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
wine_ready=0
wine_up() {
    [ "$wine_ready" = 1 ] && return 0
    unset WINEPREFIX
    wine_xvfb_start && wine_prefix_init && wine_ready=1
}

mingw() { build_preset mingw && wine_up && ctest --preset mingw; }
mingw_i686() { build_preset mingw-i686; }
# The program and runsweepc with the registry kill switch, for the end-to-end tests that kill them mid-way.
faults_exe=""
mingw_faults() {
    cmake --preset mingw-faults >/dev/null && cmake --build --preset mingw-faults -j "$jobs" --target Runsweep runsweepc &&
        faults_exe="$root/build/mingw-faults/Runsweep.exe"
}

# The end-to-end scripts, side by side in lanes (RUNSWEEP_E2E_LANES, 2 by default; 1 runs them one
# after another). Each lane has a Wine prefix and an X display of its own and takes the next script
# from one queue, the slowest of the last run first, so the lanes end close together. A script's
# output goes to a log of its own (build/e2e-logs), printed whole when the script ends, so lanes never
# interleave; a failed script's detailed log follows its output. A script that cannot run (status
# 77: a build or tool it needs is missing) fails the stage unless RUNSWEEP_E2E_OPTIONAL names it.
e2e_lanes=${RUNSWEEP_E2E_LANES:-2}
e2e_optional=" ${RUNSWEEP_E2E_OPTIONAL:-} "
e2e_logs="$root/build/e2e-logs"
e2e_times="$root/build/e2e-times" # "seconds script" of the last run, for the order of the queue

e2e_next() { # prints the next script of the queue, or fails when it is empty
    local next
    {
        flock 8
        next=$(head -n 1 "$e2e_logs/queue")
        [ -n "$next" ] && sed -i 1d "$e2e_logs/queue"
    } 8>"$e2e_logs/queue.lock"
    [ -n "$next" ] && printf '%s\n' "$next"
}

e2e_report() { # script lane status seconds
    local name verdict
    name=$(basename "$1" .sh)
    case $3 in
    0) verdict=passed ;;
    77) verdict="CANNOT RUN" ;;
    *) verdict="FAILED (status $3)" ;;
    esac
    {
        flock 8
        echo "--- $1 (lane $2, $4 s): $verdict"
        cat "$e2e_logs/$name.out"
        if [ "$3" != 0 ]; then
            local detail
            for detail in "$e2e_logs"/runsweep-e2e-"$name".*.log; do
                [ -s "$detail" ] || continue
                echo "    last lines of $detail:"
                tail -n 30 "$detail" | sed 's/^/    /'
            done
        fi
        printf '%s %s %s\n' "$3" "$4" "$1" >>"$e2e_logs/results"
    } 8>"$e2e_logs/report.lock"
}

e2e_lane() { # lane-number
    local script start status
    # A prefix and a display of the lane's own; never the ones the unit tests used.
    unset WINEPREFIX DISPLAY RUNSWEEP_XVFB_PID
    if ! wine_xvfb_start >"$e2e_logs/lane$1.out" 2>&1 || ! wine_prefix_init >>"$e2e_logs/lane$1.out" 2>&1; then
        echo "--- lane $1: no Wine prefix or display: $(cat "$e2e_logs/lane$1.out")"
        wine_stop
        return 1
    fi
    local prefix=$WINEPREFIX
    while script=$(e2e_next); do
        start=$SECONDS
        status=0
        E2E_LOG_DIR=$e2e_logs bash "$script" "$root/build/mingw/Runsweep.exe" >"$e2e_logs/$(basename "$script" .sh).out" 2>&1 ||
            status=$?
        e2e_report "$script" "$1" "$status" "$((SECONDS - start))"
    done
    wine_stop
    rm -rf "$prefix"
}

end_to_end() {
    export RUNSWEEP_FAULTS_EXE=$faults_exe # empty: the kill tests cannot run
    rm -rf "$e2e_logs"
    mkdir -p "$e2e_logs"
    local script lane ok=0
    # Slowest first by the last run's times (a clean clone has the checked-in ones); scripts not
    # timed yet go first of all.
    local times=$e2e_times
    [ -s "$times" ] || times=tests/e2e/durations.txt
    for script in tests/e2e/test_*.sh; do
        printf '%s %s\n' "$(awk -v s="$script" '$2 == s { print $1 }' "$times" 2>/dev/null | grep . || echo 100000)" \
            "$script"
    done | sort -k1,1nr | cut -d' ' -f2 >"$e2e_logs/queue"
    local lanes=()
    for lane in $(seq 1 "$e2e_lanes"); do
        e2e_lane "$lane" &
        lanes+=($!)
    done
    for lane in "${lanes[@]}"; do
        wait "$lane" || ok=1
    done
    # A lane that could not start leaves its scripts to the others; none may be left over.
    if [ -s "$e2e_logs/queue" ]; then
        echo "--- never run: $(tr '\n' ' ' <"$e2e_logs/queue")"
        ok=1
    fi
    awk '{ print $2, $3 }' "$e2e_logs/results" >"$e2e_times"
    local status seconds
    while read -r status seconds script; do
        case $status in
        0) ;;
        77) case $e2e_optional in *" $(basename "$script" .sh) "*) ;; *) echo "--- $script could not run"; ok=1 ;; esac ;;
        *) echo "--- $script FAILED"; ok=1 ;;
        esac
    done <"$e2e_logs/results"
    echo "--- $(wc -l <"$e2e_logs/results") scripts in $e2e_lanes lanes; logs in $e2e_logs"
    return $ok
}

fuzz() {
    [ -x scripts/fuzz.sh ] || return 0
    bash scripts/fuzz.sh --short
}

wanted native && stage "native unit tests" native
wanted asan && stage "native unit tests (ASan+UBSan)" native_asan
if wanted mingw; then
    stage "Windows build and unit tests under Wine" mingw
elif wanted e2e; then
    stage "Windows build" build_preset mingw
fi
wanted x86 && stage "Windows x86 build" mingw_i686
if wanted faults || wanted e2e; then
    stage "Windows build with the registry kill switch" mingw_faults
fi
if wanted e2e && [ -f build/mingw/Runsweep.exe ]; then
    # The unit tests' prefix and display are done with: the lanes make their own.
    [ "$wine_ready" = 1 ] && wine_stop && wine_ready=0
    stage "end-to-end tests under Wine" end_to_end
fi
wanted fuzz && stage "fuzzing (short)" fuzz

[ "$wine_ready" = 1 ] && wine_stop

echo
if [ "$failed" -gt 0 ]; then
    printf 'failed stage: %s\n' "${failures[@]}"
fi
echo "stages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
