#!/usr/bin/env bash
# Times "runsweepc list" under Wine beside the least a console program does (print a line, end),
# run after run in turn in the same prefix, so both meet the same load. The prefix is a throwaway
# one seeded with the demo entries. Prints both medians, their ratio and runsweepc.exe's size.
#   scripts/bench_console.sh [--busy] [--folders] [--compare OTHER_RUNSWEEPC] [RUNS]   (30 runs each by default)
# --busy seeds a busy machine of today instead, with Wine reporting Windows 10: 36 Run values in
# HKCU, HKLM and HKLM's 32-bit view (22 the catalogue knows), each with Windows' startup switch as
# Task Manager leaves it, a third of them switched off. --folders adds four shortcuts in the
# Startup folders (two the catalogue knows, whose targets the list reads through the shell's link
# object) beside each folder's desktop.ini. --compare times another runsweepc.exe (an
# earlier build, say) in the same rounds, so the two are measured side by side.
# Builds the mingw preset's runsweepc and minconsole first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
busy=0
folders=0
other=""
while [ $# -gt 0 ]; do
    case $1 in
    --busy) busy=1 ;;
    --folders) folders=1 ;;
    --compare)
        other=$(realpath "${2:?--compare needs a runsweepc.exe}")
        shift
        ;;
    *) break ;;
    esac
    shift
done
runs=${1:-30}

cmake --preset mingw -S "$root" >/dev/null
cmake --build --preset mingw -j "$(nproc 2>/dev/null || echo 2)" --target runsweepc minconsole registry_tool >/dev/null
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

# The busy machine: name, then where (U HKCU, M HKLM, W HKLM's 32-bit view).
seed_busy() {
    local names=(
        Steam:U EpicGamesLauncher:U Discord:U Spotify:U 'Opera Browser Assistant':U Skype:U uTorrent:U EADM:U
        Battle.net:U GogGalaxy:U RiotClient:U Overwolf:U 'Google Update':M 'Microsoft Edge Update':M iTunesHelper:M
        qttask:M Greenshot:M qBittorrent:M 'Adobe Reader Speed Launch':W SunJavaUpdateSched:W NeroCheck:W
        'QuickTime Task':W 'Unknown tool 1':U 'Unknown tool 2':U 'Unknown tool 3':U 'Unknown tool 4':U
        'Unknown tool 5':U 'Unknown tool 6':U SecurityHealth:M RtkAudUniversalService:M 'Unknown service 1':M
        'Unknown service 2':M 'Unknown agent 1':W 'Unknown agent 2':W 'Unknown agent 3':W 'Unknown agent 4':W
    )
    local file
    file=$(mktemp --suffix=.reg /tmp/bench-busy.XXXXXX)
    local approved='Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved'
    local run='Software\Microsoft\Windows\CurrentVersion\Run'
    {
        printf 'Windows Registry Editor Version 5.00\r\n'
        local entry name where i=0 key switch state
        for entry in "${names[@]}"; do
            name=${entry%:*}
            where=${entry##*:}
            case $where in
            U) key="HKEY_CURRENT_USER\\$run" switch="HKEY_CURRENT_USER\\$approved\\Run" ;;
            M) key="HKEY_LOCAL_MACHINE\\$run" switch="HKEY_LOCAL_MACHINE\\$approved\\Run" ;;
            W) key="HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"
               switch="HKEY_LOCAL_MACHINE\\$approved\\Run32" ;;
            esac
            # Task Manager writes 02 for every entry it has seen, 03 and the time for one switched off.
            state="02,00,00,00,00,00,00,00,00,00,00,00"
            [ $((i % 3)) = 0 ] && state="03,00,00,00,00,60,4f,b3,ec,d2,db,01"
            printf '\r\n[%s]\r\n"%s"="C:\\\\Program Files\\\\%s\\\\%s.exe /background"\r\n' "$key" "$name" "$name" "$name"
            printf '\r\n[%s]\r\n"%s"=hex:%s\r\n' "$switch" "$name" "$state"
            i=$((i + 1))
        done
    } >"$file"
    wine regedit /S "$(winepath -w "$file")" >/dev/null 2>&1
    rm -f "$file"
}
# Shortcuts written through the shell's link object, as installers write them.
seed_folders() {
    local tool="$root/build/mingw/tests/registry_tool.exe" user common
    user=$(wine "$tool" folder user 2>/dev/null | tr -d '\r')
    common=$(wine "$tool" folder common 2>/dev/null | tr -d '\r')
    wine "$tool" shortcut "$user\\Telegram.lnk" 'C:\Users\me\AppData\Roaming\Telegram Desktop\Telegram.exe' -autostart
    wine "$tool" shortcut "$user\\ShareX.lnk" 'C:\Program Files\ShareX\ShareX.exe' -silent
    wine "$tool" shortcut "$user\\Unknown notes.lnk" 'C:\Tools\notes.exe'
    wine "$tool" shortcut "$common\\Unknown agent.lnk" 'C:\Program Files\Agent\agent.exe'
    local folder
    for folder in "$user" "$common"; do
        printf '[.ShellClassInfo]\r\n' >"$(winepath -u "$folder")/desktop.ini"
    done
}
if [ "$busy" = 1 ]; then
    wine winecfg -v win10 >/dev/null 2>&1
    seed_busy
else
    bash "$root/scripts/seed-demo.sh" >/dev/null
fi
[ "$folders" = 0 ] || seed_folders

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
[ -z "$other" ] || wine "$other" list >/dev/null 2>&1
rows=$(wine "$console" list --format csv 2>/dev/null | tail -n +2 | wc -l)
: >/tmp/bench_console.$$.floor
: >/tmp/bench_console.$$.console
: >/tmp/bench_console.$$.other
for _ in $(seq 1 "$runs"); do
    elapsed_ms "$floor" >>/tmp/bench_console.$$.floor
    elapsed_ms "$console" list >>/tmp/bench_console.$$.console
    [ -z "$other" ] || elapsed_ms "$other" list >>/tmp/bench_console.$$.other
done
floor_ms=$(median </tmp/bench_console.$$.floor)
console_ms=$(median </tmp/bench_console.$$.console)
[ -z "$other" ] || other_ms=$(median </tmp/bench_console.$$.other)
rm -f /tmp/bench_console.$$.floor /tmp/bench_console.$$.console /tmp/bench_console.$$.other

echo "bench: Wine $(wine --version 2>/dev/null), $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg), $runs runs of each, alternating"
printf 'minimal console program       median %8s ms\n' "$floor_ms"
printf 'runsweepc list (%s rows)       median %8s ms\n' "$rows" "$console_ms"
awk -v a="$console_ms" -v b="$floor_ms" 'BEGIN { printf "ratio runsweepc / minimal      %8.2f\n", a / b }'
if [ -n "$other" ]; then
    printf 'the other runsweepc list      median %8s ms  (%s)\n' "$other_ms" "$other"
    awk -v a="$other_ms" -v b="$floor_ms" 'BEGIN { printf "ratio other / minimal          %8.2f\n", a / b }'
fi
printf 'runsweepc.exe                 %8d bytes (static, stripped)\n' "$(stat -c %s "$console")"
