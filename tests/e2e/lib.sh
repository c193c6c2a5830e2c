#!/usr/bin/env bash
# Shared helpers of the end-to-end tests. A test sources this file with the path of Runsweep.exe as
# its first argument, inside a prepared Wine prefix and X display (WINEPREFIX and DISPLAY set):
#
#   source "$(dirname "$0")/lib.sh" "$1"
#   e2e_reset_registry
#   e2e_seed HKLM qttask 'C:\QuickTime\qttask.exe'
#   e2e_start
#   e2e_click Continue
#   e2e_expect_message information "All actions executed succesfully! ..."
#   e2e_dismiss
#   e2e_wait_exit
#   e2e_expect_absent HKLM qttask
#   e2e_done
#
# The program's windows are read and operated through tests/uidriver.exe, built beside the tests;
# the registry is set up and checked with Wine's reg. Every process a test starts is stopped when
# the test ends, whatever the outcome.
set -uo pipefail

E2E_EXE=$(realpath "${1:?usage: test_*.sh path/to/Runsweep.exe}")
E2E_BUILD=$(dirname "$E2E_EXE")
E2E_DRIVER="$E2E_BUILD/tests/uidriver.exe"
E2E_REGTOOL="$E2E_BUILD/tests/registry_tool.exe"
E2E_NAME=$(basename "$0" .sh)
# E2E_LOG_DIR: where the detailed log goes (the test command keeps them beside its own logs).
E2E_LOG=$(mktemp "${E2E_LOG_DIR:-/tmp}/runsweep-e2e-$E2E_NAME.XXXXXX.log")
E2E_PID=""
E2E_FAILURES=0
E2E_TEMP_DIRS=()

MAIN_CAPTION="Quorvane' Runsweep"
RUN_PATH='Software\Microsoft\Windows\CurrentVersion\Run'
RECORDS_KEY='HKLM\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg'
PLACES_KEY='HKCU\Software\Quorvane\Runsweep'
APPROVED_PATH='Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved'
SUCCESS_MESSAGE="All actions executed succesfully! Changes will take effect after the system is restarted."

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}

e2e_log() { printf '%s\n' "$*" >>"$E2E_LOG"; }

# A text's lines for a `grep -q` to search: grep leaves as soon as it finds a match, and under
# pipefail the write it cut short would fail the whole test; what grep did not read is not needed.
e2e_lines() {
    trap '' PIPE
    printf '%s\n' "$1" 2>/dev/null
    return 0
}

e2e_fail() {
    E2E_FAILURES=$((E2E_FAILURES + 1))
    echo "FAIL [$E2E_NAME]: $*" >&2
    e2e_log "FAIL: $*"
}

e2e_cleanup() {
    if [ -n "$E2E_PID" ] && kill -0 "$E2E_PID" 2>/dev/null; then
        kill "$E2E_PID" 2>/dev/null
        wait "$E2E_PID" 2>/dev/null
    fi
    E2E_PID=""
    local dir
    for dir in "${E2E_TEMP_DIRS[@]}"; do
        rm -rf "$dir"
    done
}
trap e2e_cleanup EXIT

if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
    echo "FAIL [$E2E_NAME]: WINEPREFIX and DISPLAY must name a prepared Wine prefix and X display" >&2
    exit 1
fi
for f in "$E2E_EXE" "$E2E_DRIVER" "$E2E_REGTOOL"; do
    if [ ! -f "$f" ]; then
        echo "FAIL [$E2E_NAME]: $f is missing; build the mingw preset first" >&2
        exit 1
    fi
done

# The Wine that runs the 64-bit test tools (the driver, reg). Where Wine's 32-bit loader is
# installed, plain "wine" runs builtin programs such as reg as 32-bit ones, which see HKLM's 32-bit
# view: E2E_TOOL_WINE=wine64 keeps them 64-bit.
E2E_TOOL_WINE=${E2E_TOOL_WINE:-wine}

# Runs one of the project's test tools (the driver, registry_tool) and passes on its stdout and
# status. On a loaded machine Wine now and then fails to start a process at all, silently; that
# must read neither as the tool's "not found" nor as a failed write. The tools end every failure
# with "<tool>: exit N" on stderr, so a failure without it is a run that never answered: tried
# again after a growing pause (such spells last seconds), up to five runs. Status 125 when none
# answered.
E2E_RETRY_PAUSES="0.5 1 2 4"
e2e_tool() { # exe arguments...
    local err status attempt=1 pause
    err=$(mktemp /tmp/runsweep-e2e-err.XXXXXX)
    for pause in $E2E_RETRY_PAUSES end; do
        status=0
        "$E2E_TOOL_WINE" "$@" 2>"$err" || status=$?
        cat "$err" >>"$E2E_LOG"
        if [ "$status" = 0 ] || grep -q "^[a-z_]*: exit $status" "$err"; then
            rm -f "$err"
            return "$status"
        fi
        e2e_log "e2e: $(basename "$1") $2 gave no answer (status $status, attempt $attempt)"
        [ "$pause" = end ] || sleep "$pause"
        attempt=$((attempt + 1))
    done
    rm -f "$err"
    return 125
}

# The driver's output, or its failure. Its stdout is UTF-8 without carriage returns.
drv() { e2e_tool "$E2E_DRIVER" "$@"; }

# HKLM32 names HKLM's Run key in the 32-bit view, where 64-bit Windows keeps 32-bit programs'
# entries; 64-bit programs (Wine's reg and the driver) reach it under Wow6432Node.
e2e_run_key() { # HKCU|HKLM|HKLM32
    case $1 in
    HKLM32) printf 'HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run' ;;
    *) printf '%s\\%s' "$1" "$RUN_PATH" ;;
    esac
}

# Empty Run keys in every place and no disabled-item records: the state every scenario starts from.
# Keys a test made read-only or volatile are replaced too.
e2e_reset_registry() {
    drv empty-key "$(e2e_run_key HKCU)" >>"$E2E_LOG" || e2e_fail "cannot empty the HKCU Run key"
    drv empty-key "$(e2e_run_key HKLM)" >>"$E2E_LOG" || e2e_fail "cannot empty the HKLM Run key"
    drv empty-key "$(e2e_run_key HKLM32)" >>"$E2E_LOG" || e2e_fail "cannot empty the HKLM 32-bit Run key"
    drv clear-key "$RECORDS_KEY" >>"$E2E_LOG" || e2e_fail "cannot delete the disabled-item records"
    # Every scenario opens the windows as the first start does, not where the last one left them.
    drv clear-key "$PLACES_KEY" >>"$E2E_LOG" || e2e_fail "cannot delete the windows' kept places"
    # Windows' own switches of the entries: one switched off would change what a test sees.
    drv clear-key "HKCU\\$APPROVED_PATH" >>"$E2E_LOG" || e2e_fail "cannot delete the HKCU startup switches"
    drv clear-key "HKLM\\$APPROVED_PATH" >>"$E2E_LOG" || e2e_fail "cannot delete the HKLM startup switches"
}

# Wine's reg, tried again when it ends without an answer of its own: on a loaded machine it now and
# then fails to start, and that must read neither as a missing key or value nor as a failed write.
# Prints reg's output (UTF-8, no carriage returns). Status 0; 1 when reg says the key or value does
# not exist; 2 when no run of it answered.
e2e_reg() { # reg arguments...
    local out attempt=1 pause
    for pause in $E2E_RETRY_PAUSES end; do
        if out=$("$E2E_TOOL_WINE" reg "$@" 2>>"$E2E_LOG"); then
            printf '%s\n' "$out" | iconv -f CP437 -t UTF-8 | tr -d '\r'
            return 0
        fi
        case $out in
        *"Unable to find the specified registry"*) return 1 ;;
        esac
        echo "e2e: wine reg $1 gave no answer (attempt $attempt): $(printf '%s' "$out" | tr -d '\r' | head -c 200)" \
            >>"$E2E_LOG"
        [ "$pause" = end ] || sleep "$pause"
        attempt=$((attempt + 1))
    done
    return 2
}

# Imports a .reg file (a Windows path) with regedit. An import is idempotent, so a failed one is
# simply tried again: regedit gives no word of its own when Wine did not start it.
e2e_import() { # windows-path
    local pause
    for pause in $E2E_RETRY_PAUSES end; do
        wine regedit /S "$1" >>"$E2E_LOG" 2>&1 && return 0
        e2e_log "e2e: regedit import failed"
        [ "$pause" = end ] || sleep "$pause"
    done
    return 1
}

e2e_seed() { # HKCU|HKLM|HKLM32 name command
    e2e_reg add "$(e2e_run_key "$1")" /v "$2" /t REG_SZ /d "$3" /f >/dev/null ||
        e2e_fail "cannot seed $1 Run value $2"
}

# The data of a REG_SZ value, on stdout; status 1 when the value does not exist, 2 when the
# registry could not be read.
e2e_reg_value() { # key name
    local out status=0
    out=$(e2e_reg query "$1" /v "$2") || status=$?
    [ "$status" = 0 ] || return "$status"
    printf '%s\n' "$out" | awk -v name="$2" '
        { line = $0; sub(/^    /, "", line) }
        index(line, name "    REG_SZ") == 1 { print substr(line, length(name "    REG_SZ    ") + 1); found = 1 }
        END { exit found ? 0 : 1 }'
}

e2e_expect_present() { # HKCU|HKLM name
    e2e_reg_value "$(e2e_run_key "$1")" "$2" >/dev/null || e2e_fail "$2 should still be in the $1 Run key"
}

e2e_expect_absent() { # HKCU|HKLM|HKLM32 name
    e2e_expect_gone "" "$(e2e_run_key "$1")" "$2"
}

# The one check that something is gone: values (with names) or a whole key (without). It asks the
# registry tool, which tells a missing key ("absent") from a query that failed, and it fails the
# test when the query fails or never answered: "could not look" never passes as "gone".
# The key is a registry tool argument (HKCU\\..., HKLM\\..., HKLM32\\... or @file); value names are
# compared without regard to letter case, as the registry compares them.
e2e_expect_gone() { # label key [name...]
    local label=${1:+$1: } key=$2 out status=0 name escaped
    shift 2
    out=$(e2e_tool "$E2E_REGTOOL" dump "$key") || status=$?
    if [ "$status" = 1 ] && [ "$out" = absent ]; then
        return 0
    fi
    if [ "$status" != 0 ]; then
        e2e_fail "${label}cannot read $key to see that ${*:-it} is gone (status $status: $(printf '%s' "$out" | head -c 200))"
        return 1
    fi
    if [ $# = 0 ]; then
        e2e_fail "${label}$key should be gone"
        return 1
    fi
    status=0
    for name in "$@"; do
        # The tool's escaping of names: units below U+0020, U+007F and '%' as %XX.
        escaped=$(printf '%s' "$name" | perl -CS -pe 's/([\x00-\x1f\x7f%])/sprintf("%%%02X", ord $1)/ge')
        if printf '%s\n' "$out" | cut -f1 | grep -Fxiq -- "$escaped"; then
            e2e_fail "${label}$name should be gone from $key"
            status=1
        fi
    done
    return $status
}

# The record MSConfig keeps of a disabled entry: all five values, exactly. The run key defaults to
# the one MSConfig writes for HKCU's and HKLM's 64-bit Run keys.
e2e_expect_record() { # name command hive [run-key]
    local key="$RECORDS_KEY\\$1" field expected actual
    local run_key=${4:-'SOFTWARE\Microsoft\Windows\CurrentVersion\Run'}
    for field in command hkey inimapping item key; do
        case $field in
        command) expected=$2 ;;
        hkey) expected=$3 ;;
        inimapping) expected=0 ;;
        item) expected=$1 ;;
        key) expected=$run_key ;;
        esac
        if ! actual=$(e2e_reg_value "$key" "$field"); then
            e2e_fail "record of $1 has no value $field"
        elif [ "$actual" != "$expected" ]; then
            e2e_fail "record of $1: $field is '$actual', expected '$expected'"
        fi
    done
}

e2e_expect_no_record() { # name
    e2e_expect_gone "record of $1" "$RECORDS_KEY\\$1"
}

# Starts the program (by default the one under test) and waits for its main window. A start that
# ends without a window and without a word (Wine did not start it; see e2e_tool) is tried again.
e2e_start() { # [exe]
    local exe=${1:-$E2E_EXE} pause i status
    for pause in $E2E_RETRY_PAUSES end; do
        e2e_launch "$exe"
        for i in $(seq 1 30); do
            drv wait "$MAIN_CAPTION" 1000 >/dev/null 2>&1 && return 0
            kill -0 "$E2E_PID" 2>/dev/null || break
        done
        if kill -0 "$E2E_PID" 2>/dev/null || [ "$pause" = end ]; then
            break
        fi
        status=0
        wait "$E2E_PID" || status=$?
        E2E_PID=""
        e2e_log "e2e: the program ended without a window (status $status)"
        sleep "$pause"
    done
    e2e_fail "the main window did not appear"
    return 1
}

# Starts the program without waiting for anything.
e2e_launch() { # [exe]
    local exe=${1:-$E2E_EXE}
    wine "$exe" >>"$E2E_LOG" 2>&1 &
    E2E_PID=$!
}

e2e_wait_main() {
    if ! drv wait "$MAIN_CAPTION" 30000 >/dev/null; then
        e2e_fail "the main window did not appear"
        return 1
    fi
}

# Every control of the main window, one per line: class, id, visible, enabled, check state,
# screen rectangle, text (tab-separated).
e2e_controls() { drv controls "$MAIN_CAPTION"; }

# The line of the first control with exactly this text.
e2e_control() { # text [controls-output]
    local listing=${2:-$(e2e_controls)}
    printf '%s\n' "$listing" | awk -F'\t' -v text="$1" '$7 == text { print; exit }'
}

e2e_field() { # line field-number
    printf '%s\n' "$1" | cut -f"$2"
}

e2e_click() { # text [nth]
    drv click "$MAIN_CAPTION" "$@" >/dev/null || e2e_fail "cannot click '$1'"
}

# A real pointer click through the X server, at the control's centre.
e2e_xclick() { # text [nth]
    local at
    if ! at=$(drv center "$MAIN_CAPTION" "$@"); then
        e2e_fail "cannot find '$1' to click"
        return 1
    fi
    # shellcheck disable=SC2086
    xdotool mousemove --sync $at click 1
}

# Waits for a message box and checks its icon and text.
e2e_expect_message() { # icon text
    local out icon text
    if ! out=$(drv msgbox 20000); then
        e2e_fail "no message box appeared (expected: $2)"
        return 1
    fi
    icon=$(printf '%s\n' "$out" | head -n 1)
    text=$(printf '%s\n' "$out" | tail -n +2 | tr -d '\r')
    [ "$icon" = "$1" ] || e2e_fail "message '$text': icon $icon, expected $1"
    [ "$text" = "$2" ] || e2e_fail "message text: '$text', expected '$2'"
}

# The text of the message box now open, on stdout, without checking it.
e2e_message_text() {
    drv msgbox 20000 | tail -n +2 | tr -d '\r'
}

e2e_dismiss() {
    drv dismiss 20000 >/dev/null || e2e_fail "cannot dismiss the message box"
}

# No message box is open now.
e2e_expect_no_message() {
    if drv msgbox 0 >/dev/null; then
        e2e_fail "unexpected message box: $(e2e_message_text)"
    fi
}

# Waits until the program's process has ended.
e2e_wait_exit() {
    local i
    for i in $(seq 1 100); do
        if ! kill -0 "$E2E_PID" 2>/dev/null; then
            wait "$E2E_PID" 2>/dev/null
            E2E_PID=""
            return 0
        fi
        sleep 0.1
    done
    e2e_fail "the program did not end"
    return 1
}

# A folder that is removed when the test ends.
e2e_temp_dir() {
    local dir
    dir=$(mktemp -d /tmp/runsweep-e2e.XXXXXX)
    E2E_TEMP_DIRS+=("$dir")
    printf '%s\n' "$dir"
}

e2e_screenshot() { # file
    import -window root "$1" 2>>"$E2E_LOG" || e2e_fail "cannot take a screenshot"
}

# The main window alone, cut out of the screen.
e2e_screenshot_window() { # file
    local left top width height
    read -r left top width height _ <<<"$(drv rect "$MAIN_CAPTION")"
    import -window root -crop "${width}x${height}+${left}+${top}" +repage "$1" 2>>"$E2E_LOG" ||
        e2e_fail "cannot take a screenshot"
}

# Every value of the keys, with their subkeys, one per line: key, name, type, data (tab-separated),
# as Wine's reg shows them, into file. A key written "?KEY" may be absent; any other key that is
# missing, or a query that gives no answer, fails the test rather than reading as an empty key.
e2e_snapshot() { # file key...
    local file=$1 key optional out status
    shift
    out=$(mktemp /tmp/runsweep-e2e-query.XXXXXX)
    : >"$file"
    for key in "$@"; do
        optional=0
        if [ "${key:0:1}" = "?" ]; then
            optional=1
            key=${key:1}
        fi
        status=0
        e2e_reg query "$key" /s >"$out" || status=$?
        case $status in
        0) ;;
        1)
            [ $optional = 1 ] || e2e_fail "$key is missing"
            continue
            ;;
        *)
            e2e_fail "cannot read $key"
            continue
            ;;
        esac
        awk <"$out" '
            /^HKEY_/ { key = $0; next }
            /^    / {
                line = substr($0, 5); i = index(line, "    REG_")
                if (i == 0) next
                name = substr(line, 1, i - 1); rest = substr(line, i + 4); j = index(rest, "    ")
                if (j) { type = substr(rest, 1, j - 1); data = substr(rest, j + 4) } else { type = rest; data = "" }
                print key "\t" name "\t" type "\t" data
            }' >>"$file"
    done
    rm -f "$out"
}

# For tests that end programs on purpose: waits for the program to end and sets OUTCOME to its exit
# code, "message" when a message box shows instead, or "timeout". (Not in a subshell: only this
# shell can collect its child's exit code.) A loaded machine gets 30 s.
OUTCOME=""
wait_end() {
    local _
    for _ in $(seq 1 600); do
        if ! kill -0 "$E2E_PID" 2>/dev/null; then
            wait "$E2E_PID"
            OUTCOME=$?
            E2E_PID=""
            return 0
        fi
        if drv msgbox 0 >/dev/null; then
            OUTCOME=message
            return 0
        fi
        sleep 0.05
    done
    OUTCOME=timeout
}

# Counts a run's end in the caller's "runs", and in its "crashes" unless it is one of the expected.
count_end() { # expected-outcomes...
    local expected
    runs=$((runs + 1))
    for expected in "$@"; do
        [ "$OUTCOME" = "$expected" ] && return 0
    done
    crashes=$((crashes + 1))
    return 1
}

# A test that cannot run here (a build or tool it needs is missing) says so and ends with status 77,
# which the test command counts as a failure unless it names the test as optional.
E2E_CANNOT_RUN=77
e2e_cannot_run() { # reason
    echo "[$E2E_NAME] cannot run: $*" >&2
    e2e_cleanup
    rm -f "$E2E_LOG"
    exit "$E2E_CANNOT_RUN"
}

# A tool a check needs: when it is missing the check cannot run, which fails the test.
e2e_need() { # command what-for
    command -v "$1" >/dev/null && return 0
    e2e_fail "cannot check $2: $1 is not installed"
    return 1
}

e2e_done() {
    e2e_cleanup
    if [ "$E2E_FAILURES" -gt 0 ]; then
        echo "[$E2E_NAME] $E2E_FAILURES failure(s); log: $E2E_LOG" >&2
        exit 1
    fi
    rm -f "$E2E_LOG"
    echo "[$E2E_NAME] passed"
    exit 0
}
