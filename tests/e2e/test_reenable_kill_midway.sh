#!/usr/bin/env bash
# "Re-enable chosen" killed mid-way: the fault-injection build (RUNSWEEP_FAULTS_EXE) ends itself
# with exit code 99 right after its N-th registry change when RUNSWEEP_KILL_AFTER_WRITES=N. Three
# disabled entries (HKCU, HKLM, HKLM's 32-bit view) are re-enabled, killing after change 1, 2, 3,
# ... until a run gets through. After each kill Wine's reg must show every entry in its Run key
# with its command, or still in its complete record, or both. The normal program then runs on what
# the kill left: it must finish the job, every entry back and every record gone.
#   RUNSWEEP_FAULTS_EXE=build/mingw-faults/Runsweep.exe tests/e2e/test_reenable_kill_midway.sh build/mingw/Runsweep.exe
# Prints "kills K, checks C, entries lost L, program runs R, crashes X" before its verdict.
source "$(dirname "$0")/lib.sh" "$1"

faults_exe=${RUNSWEEP_FAULTS_EXE:-}
if [ -z "$faults_exe" ] || [ ! -f "$faults_exe" ]; then
    e2e_cannot_run "no fault-injection build (RUNSWEEP_FAULTS_EXE=${faults_exe:-unset});" \
        "build the mingw-faults preset and point RUNSWEEP_FAULTS_EXE at its Runsweep.exe"
fi
faults_exe=$(realpath "$faults_exe")

DISABLED_CAPTION="Disabled items"
work=$(e2e_temp_dir)
RECORDS_REG='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg'
RUN_REG_HKCU='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'
RUN_REG_HKLM='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run'
RUN_REG_HKLM32='HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'
RECORD_KEY='SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
RECORD_KEY32='SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'

# The entries, as "name|Run key as reg shows it|hkey|key|command".
ENTRIES=(
    "jusched|$RUN_REG_HKCU|HKCU|$RECORD_KEY|C:\\Program Files\\Java\\jre6\\bin\\jusched.exe"
    "qttask|$RUN_REG_HKLM|HKLM|$RECORD_KEY|\"C:\\Program Files\\QuickTime\\qttask.exe\" -atboottime"
    "SunJavaUpdateSched|$RUN_REG_HKLM32|HKLM|$RECORD_KEY32|C:\\Program Files (x86)\\Java\\jre6\\bin\\jusched.exe"
)

# Wine reports Windows 10: the Disabled items window opens straight away.
e2e_reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d win10 /f >/dev/null || e2e_fail "cannot set Wine's version"
restore_version() { e2e_reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null; }
trap 'restore_version; e2e_cleanup' EXIT

# The starting state in one import: the three records, Run keys without the entries but with a
# bystander each.
reg_escape() { printf '%s' "$1" | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g'; }
{
    printf 'REGEDIT4\r\n\r\n'
    printf '[-%s]\r\n[-%s]\r\n[-%s]\r\n[-%s]\r\n\r\n' "$RUN_REG_HKCU" "$RUN_REG_HKLM" "$RUN_REG_HKLM32" "$RECORDS_REG"
    for key in "$RUN_REG_HKCU" "$RUN_REG_HKLM" "$RUN_REG_HKLM32"; do
        printf '[%s]\r\n"Bystander"="C:\\\\keep.exe"\r\n\r\n' "$key"
    done
    for entry in "${ENTRIES[@]}"; do
        IFS='|' read -r name _ hkey key command <<<"$entry"
        printf '[%s\\%s]\r\n' "$RECORDS_REG" "$name"
        printf '"command"="%s"\r\n"hkey"="%s"\r\n"inimapping"="0"\r\n"item"="%s"\r\n"key"="%s"\r\n\r\n' \
            "$(reg_escape "$command")" "$hkey" "$name" "$(reg_escape "$key")"
    done
} >"$work/seed.reg"
seed_path="Z:$(printf '%s' "$work/seed.reg" | tr '/' '\\')"

seed() {
    e2e_import "$seed_path" || e2e_fail "cannot import the starting state"
}

# Every value of the three Run keys and of every record.
snapshot() { # file
    e2e_snapshot "$1" "$RUN_REG_HKCU" "$RUN_REG_HKLM" "$RUN_REG_HKLM32" "?$RECORDS_REG"
}

has_line() { grep -qxF -- "$2" "$1"; }

record_complete() { # file name hkey key command
    local key="$RECORDS_REG\\$2"
    has_line "$1" "$key"$'\t'command$'\t'REG_SZ$'\t'"$5" && has_line "$1" "$key"$'\t'hkey$'\t'REG_SZ$'\t'"$3" &&
        has_line "$1" "$key"$'\t'inimapping$'\t'REG_SZ$'\t'0 && has_line "$1" "$key"$'\t'item$'\t'REG_SZ$'\t'"$2" &&
        has_line "$1" "$key"$'\t'key$'\t'REG_SZ$'\t'"$4"
}

kills=0
checks=0
lost=0
runs=0
crashes=0

check_state() { # snapshot-file final label
    local entry name run_key hkey key command back recorded
    for entry in "${ENTRIES[@]}"; do
        IFS='|' read -r name run_key hkey key command <<<"$entry"
        checks=$((checks + 1))
        back=0
        recorded=0
        if has_line "$1" "$run_key"$'\t'"$name"$'\t'REG_SZ$'\t'"$command"; then
            back=1
        elif grep -qF -- "$run_key"$'\t'"$name"$'\t' "$1"; then
            e2e_fail "$3: $name in $run_key holds something else than its command"
        fi
        record_complete "$1" "$name" "$hkey" "$key" "$command" && recorded=1
        if [ $back = 0 ] && [ $recorded = 0 ]; then
            lost=$((lost + 1))
            e2e_fail "$3: $name is neither back in its Run key nor in its complete record"
        fi
        if [ "$2" = 1 ]; then
            [ $back = 1 ] || e2e_fail "$3: $name is not back"
            grep -qF -- "$RECORDS_REG\\$name"$'\t' "$1" && e2e_fail "$3: the record of $name is still there"
        fi
    done
    for run_key in "$RUN_REG_HKCU" "$RUN_REG_HKLM" "$RUN_REG_HKLM32"; do
        has_line "$1" "$run_key"$'\t'Bystander$'\t'REG_SZ$'\t''C:\keep.exe' ||
            e2e_fail "$3: the bystander value in $run_key was touched"
    done
}

# Opens the Disabled items window, chooses Re-enable in every row and presses "Re-enable chosen".
reenable_all() {
    local row rows
    e2e_click "Re-enable disabled items"
    drv wait "$DISABLED_CAPTION" 20000 >/dev/null || { e2e_fail "the Disabled items window did not open"; return 1; }
    rows=$(drv controls "$DISABLED_CAPTION" | awk -F'\t' '$1 == "checkbox" && $7 == "Re-enable"' | wc -l)
    for row in $(seq 0 $((rows - 1))); do
        drv click "$DISABLED_CAPTION" "Re-enable" "$row" >/dev/null || e2e_fail "cannot check Re-enable in row $row"
    done
    drv click "$DISABLED_CAPTION" "Re-enable chosen" >/dev/null || e2e_fail "cannot press Re-enable chosen"
}

# After the closing message the window closes; the program goes on until its main window closes.
finish_run() {
    e2e_dismiss
    drv gone "$DISABLED_CAPTION" 10000 >/dev/null || e2e_fail "the Disabled items window did not close"
    drv close "$MAIN_CAPTION" >/dev/null
    wait_end
}

e2e_reset_registry
n=0
completed=0
while [ $completed = 0 ] && [ $n -lt 40 ]; do
    n=$((n + 1))
    seed
    export RUNSWEEP_KILL_AFTER_WRITES=$n
    e2e_start "$faults_exe" || break
    unset RUNSWEEP_KILL_AFTER_WRITES
    reenable_all
    wait_end
    [ "$OUTCOME" = message ] || count_end 99
    case $OUTCOME in
    99)
        kills=$((kills + 1))
        ;;
    message)
        completed=1
        message=$(drv msgbox 0)
        case $message in
        information*) ;;
        *) e2e_fail "N=$n: the uninterrupted run said: $message" ;;
        esac
        finish_run
        count_end 0 || e2e_fail "N=$n: the uninterrupted run ended with $OUTCOME"
        snapshot "$work/after"
        check_state "$work/after" 1 "N=$n (not killed)"
        continue
        ;;
    *)
        e2e_fail "N=$n: the program ended with $OUTCOME, expected 99 (killed) or a closing message"
        break
        ;;
    esac

    snapshot "$work/killed"
    check_state "$work/killed" 0 "killed after change $n"

    # Finish the job with the normal program.
    e2e_start || break
    reenable_all
    message=$(drv msgbox 20000)
    case $message in
    information*) ;;
    *) e2e_fail "N=$n: the finishing run said: $message" ;;
    esac
    finish_run
    count_end 0 || e2e_fail "N=$n: the finishing run ended with $OUTCOME"
    snapshot "$work/finished"
    check_state "$work/finished" 1 "finishing after a kill at change $n"
done
[ $completed = 1 ] || e2e_fail "no run got through without being killed (last N=$n)"
[ $kills -gt 0 ] || e2e_fail "no run was killed: is $faults_exe the fault-injection build?"

echo "[$E2E_NAME] kills $kills, checks $checks, entries lost $lost, program runs $runs, crashes $crashes"
drv empty-key 'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run' >>"$E2E_LOG"
e2e_reset_registry
restore_version
trap e2e_cleanup EXIT
e2e_done
