#!/usr/bin/env bash
# Times the Run-key scan against Wine's registry: the built-in catalogue and one of 32,767 entries
# (the top index 32,766), with 0, 50 and 1,000 catalogue names present in the three Run keys (HKCU,
# and HKLM in both views). Prints the time per scan (median) and the registry calls one scan makes,
# beside the name-by-name way.
#   scripts/bench_scan.sh [path/to/bench_scan.exe]
# Builds the mingw preset's bench_scan target when no program is given. Always runs in a throwaway
# prefix of its own, since it replaces the Run keys.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

exe=${1:-}
if [ -z "$exe" ]; then
    cmake --preset mingw -S "$root" >/dev/null
    cmake --build --preset mingw -j "$(nproc 2>/dev/null || echo 2)" --target bench_scan >/dev/null
    exe="$root/build/mingw/tests/bench_scan.exe"
fi
exe=$(realpath "$exe")

# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
unset WINEPREFIX
# Not under errexit: "wineserver -p" fails harmlessly when the server of the fresh prefix still runs.
wine_prefix_init || true
cleanup() {
    wine_stop
    case ${WINEPREFIX:-} in
    /tmp/runsweep-prefix.*) rm -rf "$WINEPREFIX" ;;
    esac
}
trap cleanup EXIT

echo "bench: Wine $(wine --version 2>/dev/null), $(nproc) cores"
RUNSWEEP_THROWAWAY_PREFIX=1 wine "$exe"
