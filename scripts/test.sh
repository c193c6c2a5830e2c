#!/usr/bin/env bash
# Builds everything and runs every test: the portable core's unit tests natively and under
# AddressSanitizer/UndefinedBehaviorSanitizer, the same tests plus the Win32 layer's tests built
# with mingw-w64 and run under Wine, the end-to-end tests of Runsweep.exe under Wine in Xvfb (one of
# them kills the fault-injection build mid-way), and short fuzzing runs. Exits non-zero when
# anything fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

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

end_to_end() {
    wine_up || return 1
    export RUNSWEEP_FAULTS_EXE=$faults_exe # empty: the kill test skips
    local script ok=0
    for script in tests/e2e/test_*.sh; do
        [ -e "$script" ] || continue
        echo "--- $script"
        if ! bash "$script" "$root/build/mingw/Runsweep.exe"; then
            echo "--- $script FAILED"
            ok=1
        fi
    done
    return $ok
}

fuzz() {
    [ -x scripts/fuzz.sh ] || return 0
    bash scripts/fuzz.sh --short
}

stage "native unit tests" native
stage "native unit tests (ASan+UBSan)" native_asan
stage "Windows build and unit tests under Wine" mingw
stage "Windows x86 build" mingw_i686
stage "Windows build with the registry kill switch" mingw_faults
if [ -f build/mingw/Runsweep.exe ]; then
    stage "end-to-end tests under Wine" end_to_end
fi
stage "fuzzing (short)" fuzz

[ "$wine_ready" = 1 ] && wine_stop

echo
if [ "$failed" -gt 0 ]; then
    printf 'failed stage: %s\n' "${failures[@]}"
fi
echo "stages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
