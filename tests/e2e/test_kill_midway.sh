#!/usr/bin/env bash
# "Continue" killed mid-way: the fault-injection build (RUNSWEEP_FAULTS_EXE, the mingw-faults
# preset's Runsweep.exe) ends itself with exit code 99 right after its N-th registry change when
# RUNSWEEP_KILL_AFTER_WRITES=N. Three entries across HKCU and HKLM's two views are disabled, one of
# them in all three places and one with an earlier record, killing after change 1, 2, 3, ... until
# a run gets through. After each kill Wine's reg must show every command that was in a Run key or a
# record before (for a place, its newest: the Run value, else the earlier record's) still in a Run
# key or in the entry's record (which keeps one command per place). The normal program then runs on
# what the kill left: it must finish the job, keep every command in
# the records, and leave the records of entries already done exactly as they were.
#   RUNSWEEP_FAULTS_EXE=build/mingw-faults/Runsweep.exe tests/e2e/test_kill_midway.sh build/mingw/Runsweep.exe
# Prints "kills K, checks C, entries lost L, program runs R, crashes X" before its verdict.
source "$(dirname "$0")/lib.sh" "$1"

faults_exe=${RUNSWEEP_FAULTS_EXE:-}
if [ -z "$faults_exe" ] || [ ! -f "$faults_exe" ]; then
    echo "[$E2E_NAME] skipped: no fault-injection build (RUNSWEEP_FAULTS_EXE=${faults_exe:-unset});" \
        "build the mingw-faults preset and point RUNSWEEP_FAULTS_EXE at its Runsweep.exe"
    e2e_cleanup
    rm -f "$E2E_LOG"
    exit 0
fi
faults_exe=$(realpath "$faults_exe")

work=$(e2e_temp_dir)
RECORDS_REG='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg'
RUN_REG_HKCU='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'
RUN_REG_HKLM='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run'
# HKLM's 32-bit view, as 64-bit programs (reg, regedit) reach it.
RUN_REG_HKLM32='HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'
RECORD_RUN_KEY='SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
RECORD_RUN_KEY32='SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'
PLACES=(HKCU HKLM HKLM32)

# The entries, as "name|HKCU command|HKLM command|HKLM 32-bit command|earlier record"; "-" for no
# value; the earlier record as "place:command". A kill between the deletes of ctfmon (two places)
# and SunJavaUpdateSched (three) is the hard case; QuickTime Task's earlier record must keep its
# command whatever happens.
ENTRIES=(
    'ctfmon|C:\WINDOWS\system32\ctfmon.exe /user|C:\WINDOWS\system32\ctfmon.exe /machine|-|-'
    'SunJavaUpdateSched|C:\Users\me\jusched.exe|C:\Program Files\Java\jusched.exe|"C:\Program Files (x86)\Java\jusched.exe"|-'
    'QuickTime Task|-|-|C:\Program Files (x86)\QuickTime\QTTask.exe|HKLM:C:\Old\QTTask.exe'
)

run_reg_of() { # place
    case $1 in
    HKCU) printf '%s' "$RUN_REG_HKCU" ;;
    HKLM) printf '%s' "$RUN_REG_HKLM" ;;
    HKLM32) printf '%s' "$RUN_REG_HKLM32" ;;
    esac
}

# One .reg file puts back the starting state in one call: the three Run keys with the entries and a
# bystander each, and no records but the earlier one.
reg_escape() { printf '%s' "$1" | sed -e 's/\\/\\\\/g' -e 's/"/\\"/g'; }
{
    printf 'REGEDIT4\r\n\r\n'
    printf '[-%s]\r\n[-%s]\r\n[-%s]\r\n[-%s]\r\n\r\n' "$RUN_REG_HKCU" "$RUN_REG_HKLM" "$RUN_REG_HKLM32" "$RECORDS_REG"
    for i in 0 1 2; do
        printf '[%s]\r\n' "$(run_reg_of "${PLACES[$i]}")"
        for entry in "${ENTRIES[@]}"; do
            IFS='|' read -r -a fields <<<"$entry"
            command=${fields[$((i + 1))]}
            [ "$command" = - ] || printf '"%s"="%s"\r\n' "${fields[0]}" "$(reg_escape "$command")"
        done
        printf '"Bystander %s"="C:\\\\keep.exe"\r\n\r\n' "${PLACES[$i]}"
    done
    for entry in "${ENTRIES[@]}"; do
        IFS='|' read -r -a fields <<<"$entry"
        earlier=${fields[4]}
        [ "$earlier" = - ] && continue
        printf '[%s\\%s]\r\n' "$RECORDS_REG" "${fields[0]}"
        printf '"command"="%s"\r\n"hkey"="%s"\r\n"inimapping"="0"\r\n"item"="%s"\r\n"key"="%s"\r\n\r\n' \
            "$(reg_escape "${earlier#*:}")" "${earlier%%:*}" "${fields[0]}" "$(reg_escape "$RECORD_RUN_KEY")"
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

has_line() { # file line
    grep -qxF -- "$2" "$1"
}

# The record values of an entry as a snapshot shows them, sorted.
record_lines() { # file name
    grep -F -- "$RECORDS_REG\\$2"$'\t' "$1" | sort
}

# True when the entry's record keeps this command for this place: its own value of the place
# (RunsweepCommandHKCU, ...HKLM, ...HKLM32, written after its type), which wins, or else its five
# standard values when they name the place.
record_keeps() { # file name place command
    local hkey=HKLM run_key=$RECORD_RUN_KEY
    [ "$3" = HKCU ] && hkey=HKCU
    [ "$3" = HKLM32 ] && run_key=$RECORD_RUN_KEY32
    # Through the environment: awk would read backslashes in -v values as escapes.
    record_lines "$1" "$2" | HKEY=$hkey RUN_KEY=$run_key PLACE=$3 COMMAND=$4 awk -F'\t' '
        { value[$2] = $4; seen[$2] = 1 }
        END {
            hkey = ENVIRON["HKEY"]; run_key = ENVIRON["RUN_KEY"]; command = ENVIRON["COMMAND"]
            own = "RunsweepCommand" ENVIRON["PLACE"]
            if (seen[own]) exit (value[own] == command ? 0 : 1)
            if (seen["command"] && value["command"] == command && value["hkey"] == hkey &&
                (value["key"] == run_key || (!seen["key"] && run_key !~ /Wow6432Node/))) exit 0
            exit 1
        }'
}

kills=0
checks=0
lost=0
runs=0
crashes=0 # runs that ended any other way than killed (99) or by themselves (0)

# Checks every entry against a snapshot and sets DONE_NAMES to the entries completely done.
# final=1: every entry must be done, its record keeping every command it had.
DONE_NAMES=""
check_state() { # snapshot-file final label
    local entry name command earlier i place run_key kept in_run
    local -a fields
    DONE_NAMES=""
    for entry in "${ENTRIES[@]}"; do
        IFS='|' read -r -a fields <<<"$entry"
        name=${fields[0]}
        earlier=${fields[4]}
        kept=0
        # Every (place, command) the entry had before: its Run values, and its earlier record's.
        local -a had=()
        for i in 0 1 2; do
            [ "${fields[$((i + 1))]}" = - ] || had+=("${PLACES[$i]}|${fields[$((i + 1))]}")
        done
        [ "$earlier" = - ] || had+=("${earlier%%:*}|${earlier#*:}")
        for pair in "${had[@]}"; do
            place=${pair%%|*}
            command=${pair#*|}
            checks=$((checks + 1))
            run_key=$(run_reg_of "$place")
            in_run=0
            if has_line "$1" "$run_key"$'\t'"$name"$'\t'REG_SZ$'\t'"$command"; then
                in_run=1
                kept=$((kept + 1))
            elif grep -qF -- "$run_key"$'\t'"$name"$'\t' "$1" && ! record_keeps "$1" "$name" "$place" "$command"; then
                e2e_fail "$3: $name in the $place Run key was changed instead of kept or deleted"
            fi
            if ! record_keeps "$1" "$name" "$place" "$command"; then
                if [ $in_run = 0 ]; then
                    lost=$((lost + 1))
                    e2e_fail "$3: $name's $place command is neither in a Run key nor in its record; the record is:"$'\n'"$(record_lines "$1" "$name")"
                elif [ "$2" = 1 ]; then
                    e2e_fail "$3: $name's record does not keep its $place command"
                fi
            fi
        done
        if [ "$2" = 1 ] && [ $kept -gt 0 ]; then
            e2e_fail "$3: $name is still in a Run key"
        fi
        [ $kept -eq 0 ] && DONE_NAMES="$DONE_NAMES|$name"
    done
    for place in "${PLACES[@]}"; do
        has_line "$1" "$(run_reg_of "$place")"$'\t'"Bystander $place"$'\t'REG_SZ$'\t''C:\keep.exe' ||
            e2e_fail "$3: the bystander value in the $place Run key was touched"
    done
}

e2e_reset_registry # also undoes keys another test left read-only or volatile
n=0
completed=0
while [ $completed = 0 ] && [ $n -lt 120 ]; do
    n=$((n + 1))
    seed
    export RUNSWEEP_KILL_AFTER_WRITES=$n
    e2e_start "$faults_exe" || break
    unset RUNSWEEP_KILL_AFTER_WRITES
    e2e_click Continue
    wait_end
    [ "$OUTCOME" = message ] || count_end 99
    case $OUTCOME in
    99)
        kills=$((kills + 1))
        ;;
    message)
        # More changes allowed than a whole run makes: it must end as a run without the switch does.
        completed=1
        e2e_expect_message information "$SUCCESS_MESSAGE"
        e2e_dismiss
        wait_end
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
    done_at_kill=$DONE_NAMES

    # Finish the job with the normal program.
    e2e_start || break
    e2e_click Continue
    e2e_expect_message information "$SUCCESS_MESSAGE"
    e2e_dismiss
    wait_end
    count_end 0 || e2e_fail "N=$n: the finishing run ended with $OUTCOME"
    snapshot "$work/finished"
    check_state "$work/finished" 1 "finishing after a kill at change $n"
    IFS='|' read -r -a done_names <<<"${done_at_kill#|}"
    for name in "${done_names[@]}"; do
        [ -n "$name" ] || continue
        [ "$(record_lines "$work/killed" "$name")" = "$(record_lines "$work/finished" "$name")" ] ||
            e2e_fail "N=$n: the finishing run changed the record of $name, which the killed run had finished"
    done
done
[ $completed = 1 ] || e2e_fail "no run got through without being killed (last N=$n)"
[ $kills -gt 0 ] || e2e_fail "no run was killed: is $faults_exe the fault-injection build?"

echo "[$E2E_NAME] kills $kills, checks $checks, entries lost $lost, program runs $runs, crashes $crashes"
e2e_reset_registry
e2e_done
