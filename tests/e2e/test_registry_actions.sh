#!/usr/bin/env bash
# The scan, "Disable" and "Remove" on Wine's real registry, through tests/registry_tool.exe (built
# beside the program), checked with Wine's reg after the server has written the registry to disk
# and ended: what the checks see is what a restart of the machine would see.
#
# It works on a copy of the prepared prefix's registry (sharing its drive_c), so its server can be
# stopped and restarted without disturbing the prefix the other tests use.
#   tests/e2e/test_registry_actions.sh path/to/Runsweep.exe
set -uo pipefail

build=$(dirname "$(realpath "${1:?usage: test_registry_actions.sh path/to/Runsweep.exe}")")
tool="$build/tests/registry_tool.exe"
name=$(basename "$0" .sh)
if [ ! -f "$tool" ]; then
    echo "FAIL [$name]: $tool is missing; build the mingw preset first" >&2
    exit 1
fi
base=${WINEPREFIX:?WINEPREFIX must name a prepared Wine prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}

prefix=$(mktemp -d /tmp/runsweep-e2e-registry.XXXXXX)
work=$(mktemp -d /tmp/runsweep-e2e-registry-out.XXXXXX)
log="$work/log"
cleanup() {
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
    WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1
    rm -rf "$prefix" "$work" # rm does not follow the drive_c link
}
trap cleanup EXIT

cp "$base"/*.reg "$prefix"/
cp "$base"/.update-timestamp "$prefix"/ 2>/dev/null
cp -a "$base/dosdevices" "$prefix"/
ln -s "$base/drive_c" "$prefix/drive_c"
export WINEPREFIX=$prefix

failures=0
fail() {
    failures=$((failures + 1))
    echo "FAIL [$name]: $*" >&2
}

RUN='Software\Microsoft\Windows\CurrentVersion\Run'
RECORDS='HKLM\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg'

# Every Wine command writes to a file, never to a pipe: a server and its services started by the
# command would otherwise hold the pipe open after it ends.
# Wine's reg, its output in $work/reg, tried again when it ends without an answer of its own: on a
# loaded machine it now and then fails to start, and that must read neither as a missing key or
# value nor as a failed write. Status 0; 1 when reg says the key or value does not exist; 2 when no
# run of it answered.
reg() {
    local attempt
    for attempt in 1 2 3; do
        if wine reg "$@" >"$work/reg" 2>&1; then
            cat "$work/reg" >>"$log"
            return 0
        fi
        cat "$work/reg" >>"$log"
        grep -q "Unable to find the specified registry" "$work/reg" && return 1
        echo "wine reg $1 gave no answer (attempt $attempt)" >>"$log"
        sleep 0.3
    done
    return 2
}

# HKLM32: HKLM's Run key in the 32-bit view, as 64-bit programs reach it.
RUN32='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'
run_key() { # HKCU|HKLM|HKLM32
    [ "$1" = HKLM32 ] && printf '%s' "$RUN32" || printf '%s\\%s' "$1" "$RUN"
}

seed() { # HKCU|HKLM|HKLM32 name data
    reg add "$(run_key "$1")" /v "$2" /t REG_SZ /d "$3" /f || fail "cannot seed $1 $2"
}

# The data of a REG_SZ value; status 1 when there is no such value.
value() { # key name
    local status=0
    reg query "$1" /v "$2" || status=$?
    [ "$status" = 0 ] || return "$status"
    iconv -f CP437 -t UTF-8 <"$work/reg" | tr -d '\r' | awk -v name="$2" '
        { line = $0; sub(/^    /, "", line) }
        index(line, name "    REG_SZ") == 1 {
            data = substr(line, length(name "    REG_SZ") + 1); sub(/^    /, "", data); print data; found = 1
        }
        END { exit found ? 0 : 1 }'
}

expect_value() { # key name data
    local actual
    if ! actual=$(value "$1" "$2"); then
        fail "$1 has no value $2"
    elif [ "$actual" != "$3" ]; then
        fail "$1 value $2 is '$actual', expected '$3'"
    fi
}

expect_no_value() { # key name
    local status=0
    value "$1" "$2" >/dev/null || status=$?
    case $status in
    0) fail "$1 should not hold $2" ;;
    2) fail "cannot read $1 to see that it does not hold $2" ;;
    esac
}

expect_record() { # name command hive [run-key]
    local key="$RECORDS\\$1"
    expect_value "$key" command "$2"
    expect_value "$key" hkey "$3"
    expect_value "$key" inimapping 0
    expect_value "$key" item "$1"
    expect_value "$key" key "${4:-SOFTWARE\Microsoft\Windows\CurrentVersion\Run}"
}

expect_no_key() { # key
    local status=0
    reg query "$1" || status=$?
    case $status in
    0) fail "$1 should not exist" ;;
    2) fail "cannot read the registry to see that $1 does not exist" ;;
    esac
}

expect_output() { # file expected-text
    local actual
    actual=$(tr -d '\r' <"$1")
    [ "$actual" = "$2" ] || fail "tool said:"$'\n'"$actual"$'\n'"expected:"$'\n'"$2"
}

tool() { # output-file args...
    local out=$1
    shift
    wine "$tool" "$@" >"$out" 2>>"$log" || fail "registry_tool $* failed"
}

# --- Seed: the Run keys as a user might have them.
for key in "HKCU\\$RUN" "HKLM\\$RUN" "$RUN32" "$RECORDS"; do
    reg delete "$key" /f
done
long_command="\"C:\\Program Files\\Java\\jre\\bin\\jusched.exe\" /background $(printf 'x%.0s' $(seq 1 400)) /end"
accented="Démarrage d'Office"
seed HKCU SunJavaUpdateSched "$long_command"
seed HKCU jusched 'C:\Java\jusched.exe'
seed HKLM QTTASK 'C:\QuickTime\qttask.exe'
seed HKCU NVIEW 'rundll32 nview.dll'
seed HKLM NVIEW 'rundll32 nview.dll,machine'
seed HKCU CTDVDDet 'C:\Creative\ctdvddet.exe user'
seed HKLM CTDVDDet 'C:\Creative\ctdvddet.exe machine'
seed HKCU NeroCheck ''
seed HKLM NeroCheck 'C:\Nero\NeroCheck.exe'
seed HKCU InCD ''
seed HKLM "$accented" 'C:\Office\osa.exe -b'
seed HKCU 'Vendor\Agent' 'C:\Vendor\agent.exe'
seed HKCU KeepMe 'C:\keep.exe'
seed HKLM32 'QuickTime Task' 'C:\Program Files (x86)\QuickTime\QTTask.exe -atboottime'
seed HKLM32 KeepMe32 'C:\keep32.exe'

# --- The scan: catalogue order, catalogue spelling, the name the catalogue holds twice once.
tool "$work/scan" scan
expect_output "$work/scan" "SunJavaUpdateSched
QuickTime Task
jusched
qttask
NVIEW
CTDVDDet
NeroCheck
InCD
$accented"

# --- The actions, as "Continue" would call them row by row.
tool "$work/disable" disable SunJavaUpdateSched 'QuickTime Task' jusched qttask CTDVDDet NeroCheck InCD CTDVDDet \
    "$accented" 'Vendor\Agent'
expect_output "$work/disable" "Done 0
Done 0
Done 0
Done 0
Done 0
Done 0
Done 0
AlreadyGone 0
Done 0
NameNotRecordable 87"
tool "$work/remove" remove NVIEW 'Vendor\Agent' NVIEW
expect_output "$work/remove" "Done 0
Done 0
AlreadyGone 0"

# --- Let the server write the registry and end; every check below starts it afresh from disk.
wineserver -w

expect_record SunJavaUpdateSched "$long_command" HKCU
expect_record jusched 'C:\Java\jusched.exe' HKCU
expect_record qttask 'C:\QuickTime\qttask.exe' HKLM
expect_record CTDVDDet 'C:\Creative\ctdvddet.exe user' HKCU
expect_value "$RECORDS\\CTDVDDet" RunsweepCommandHKLM 'C:\Creative\ctdvddet.exe machine'
expect_record 'QuickTime Task' 'C:\Program Files (x86)\QuickTime\QTTask.exe -atboottime' HKLM \
    'SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'
expect_no_value "$RUN32" 'QuickTime Task'
expect_value "$RUN32" KeepMe32 'C:\keep32.exe'

expect_record NeroCheck 'C:\Nero\NeroCheck.exe' HKLM
expect_record InCD '' HKCU
expect_record "$accented" 'C:\Office\osa.exe -b' HKLM
expect_no_key "$RECORDS\\Vendor"
expect_no_key "$RECORDS\\NVIEW"

for hive in HKCU HKLM; do
    for gone in SunJavaUpdateSched jusched qttask NVIEW CTDVDDet NeroCheck InCD "$accented" 'Vendor\Agent'; do
        expect_no_value "$hive\\$RUN" "$gone"
    done
done
expect_value "HKCU\\$RUN" KeepMe 'C:\keep.exe'

tool "$work/rescan" scan
expect_output "$work/rescan" ""

if [ "$failures" -gt 0 ]; then
    echo "[$name] $failures failure(s); wine log:" >&2
    tail -n 20 "$log" >&2
    exit 1
fi
echo "[$name] passed"
