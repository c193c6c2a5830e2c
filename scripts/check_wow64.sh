#!/usr/bin/env bash
# Runs the end-to-end test of the registry views against the x86 build, under Wine's WOW64: the
# 32-bit Runsweep.exe must find, disable, remove and record exactly what the x64 build does, in
# HKCU and in both of HKLM's views.
#   scripts/check_wow64.sh
# Needs Wine's 32-bit loader (Debian: dpkg --add-architecture i386; apt-get install wine32:i386).
# It is not part of scripts/test.sh: with the 32-bit loader installed, plain "wine" runs Wine's
# builtin programs (reg, regedit) as 32-bit ones, which see HKLM's 32-bit view, so every other test
# that seeds the registry with "wine reg" would change the other view. Here the 64-bit test tools
# run through the 64-bit loader instead. Prints the test's verdict; exits non-zero when it fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"; then
    echo "check_wow64: skipped: Wine's 32-bit loader (wine32:i386) is not installed"
    exit 0
fi
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset mingw >/dev/null && cmake --build --preset mingw -j "$jobs" >/dev/null
cmake --preset mingw-i686 >/dev/null && cmake --build --preset mingw-i686 -j "$jobs" --target Runsweep >/dev/null

# The x86 program beside the x64 build's test tools, which the test finds next to the program.
run=$(mktemp -d /tmp/runsweep-wow64.XXXXXX)
cp build/mingw-i686/Runsweep.exe "$run/"
ln -s "$root/build/mingw/tests" "$run/tests"

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
unset WINEPREFIX
cleanup() {
    wine_stop
    case ${WINEPREFIX:-} in
    /tmp/runsweep-prefix.*) rm -rf "$WINEPREFIX" ;;
    esac
    rm -rf "$run"
}
trap cleanup EXIT
wine_xvfb_start
wine_prefix_init || true

E2E_TOOL_WINE=/usr/lib/wine/wine64 bash tests/e2e/test_registry_views.sh "$run/Runsweep.exe"
