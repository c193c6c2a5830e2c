#!/usr/bin/env bash
# Builds Runsweep.exe and starts it under Wine.
#   scripts/run.sh          on your own Wine prefix (WINEPREFIX, or Wine's default ~/.wine)
#   scripts/run.sh --demo   on a throwaway prefix seeded with typical startup entries, in a
#                           virtual display when no X display is available
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

demo=0
[ "${1:-}" = "--demo" ] && demo=1

bash scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$(nproc 2>/dev/null || echo 2)" --target Runsweep
exe="$root/build/mingw/Runsweep.exe"

if [ "$demo" = 1 ]; then
    # shellcheck source=scripts/wine-env.sh
    source scripts/wine-env.sh
    unset WINEPREFIX
    wine_xvfb_start
    wine_prefix_init
    bash scripts/seed-demo.sh
    echo "run: throwaway prefix $WINEPREFIX on display $DISPLAY"
    wine "$exe"
    wine_stop
else
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    exec wine "$exe"
fi
