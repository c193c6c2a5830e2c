#!/usr/bin/env bash
# A 64-bit machine as a new user has it: startup entries in HKCU's Run key and in HKLM's Run key in
# both registry views (32-bit programs' installers write to the 32-bit one). The list shows each
# known name once, whichever places hold it; Disable records every place's command in one record
# in the 64-bit view (the way the System Configuration utility records 32-bit entries) and leaves
# no known value in any view; Remove, No action and a mix likewise; unknown values stay untouched.
source "$(dirname "$0")/lib.sh" "$1"

TOOL="$E2E_BUILD/tests/registry_tool.exe"
RUN64="HKLM\\$RUN_PATH"
RUN32='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'
RUNCU="HKCU\\$RUN_PATH"
WOW_KEY='SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'
LONG_COMMAND='"C:\Program Files (x86)\QuickTime\QTTask.exe" -atboottime'$(printf ' /option%03d' $(seq 1 30))

regtool() { e2e_tool "$TOOL" "$@"; }
dump() { regtool dump "$1" | sort; }

# The rows' names, top to bottom.
rows() {
    e2e_controls | awk -F'\t' '$1 == "text" && ($2 - 1) % 5 == 0 { print $7 }'
}

seed_machine() {
    e2e_reset_registry
    e2e_seed HKCU jusched 'C:\Users\me\jusched.exe'
    e2e_seed HKLM jusched 'C:\Program Files\Java\jusched.exe'
    e2e_seed HKLM32 jusched 'C:\Program Files (x86)\Java\jusched.exe'
    e2e_seed HKLM32 SunJavaUpdateSched '"C:\Program Files (x86)\Common Files\Java\Java Update\jusched.exe"'
    e2e_seed HKLM qttask 'C:\Program Files\QuickTime\qttask.exe'
    e2e_seed HKLM32 'QuickTime Task' "$LONG_COMMAND"
    e2e_seed HKCU 'Unknown user tool' 'C:\u.exe'
    e2e_seed HKLM 'Unknown machine tool' 'C:\m.exe'
    e2e_seed HKLM32 'Unknown 32-bit tool' 'C:\m32.exe'
    # The 32-bit seeds really are in the 32-bit view, as a 32-bit installer would put them, and
    # only there.
    e2e_reg query "HKLM\\$RUN_PATH" /v SunJavaUpdateSched /reg:32 >/dev/null ||
        e2e_fail "the 32-bit view does not show the 32-bit seed"
    if e2e_reg query "HKLM\\$RUN_PATH" /v SunJavaUpdateSched /reg:64 >/dev/null; then
        e2e_fail "the 64-bit view shows a 32-bit seed"
    fi
}

expect_unknown_untouched() { # label
    local label=$1
    [ "$(dump "$RUNCU" | grep -c '^Unknown user tool'$'\t''1'$'\t''C:\\u.exe%00$')" = 1 ] ||
        e2e_fail "$label: the unknown HKCU value changed"
    [ "$(dump "$RUN64" | grep -c '^Unknown machine tool'$'\t''1'$'\t''C:\\m.exe%00$')" = 1 ] ||
        e2e_fail "$label: the unknown HKLM value changed"
    [ "$(dump "$RUN32" | grep -c '^Unknown 32-bit tool'$'\t''1'$'\t''C:\\m32.exe%00$')" = 1 ] ||
        e2e_fail "$label: the unknown 32-bit HKLM value changed"
}

known_left() { # the known names still in any Run key
    { dump "$RUNCU"; dump "$RUN64"; dump "$RUN32"; } | cut -f1 | grep -v '^Unknown' | sort
}

# --- The list shows each known name once, in catalogue order ---------------------------------
seed_machine
e2e_start
listed=$(rows | tr '\n' '|')
[ "$listed" = "SunJavaUpdateSched|QuickTime Task|jusched|qttask|" ] || e2e_fail "rows: $listed"

# --- Default Disable ------------------------------------------------------------------------
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
[ -z "$(known_left)" ] || e2e_fail "known values left after Disable: $(known_left | tr '\n' ' ')"
expect_unknown_untouched "Disable"
e2e_expect_record SunJavaUpdateSched '"C:\Program Files (x86)\Common Files\Java\Java Update\jusched.exe"' HKLM "$WOW_KEY"
e2e_expect_record qttask 'C:\Program Files\QuickTime\qttask.exe' HKLM
e2e_expect_record 'QuickTime Task' "$LONG_COMMAND" HKLM "$WOW_KEY"
# One name in three places: HKCU's command in the five values, the other two kept beside them.
e2e_expect_record jusched 'C:\Users\me\jusched.exe' HKCU
[ "$(e2e_reg_value "$RECORDS_KEY\\jusched" RunsweepCommandHKLM)" = 'C:\Program Files\Java\jusched.exe' ] ||
    e2e_fail "jusched's HKLM command is not in its record"
[ "$(e2e_reg_value "$RECORDS_KEY\\jusched" RunsweepCommandHKLM32)" = 'C:\Program Files (x86)\Java\jusched.exe' ] ||
    e2e_fail "jusched's 32-bit HKLM command is not in its record"
# The records live in the 64-bit view, where the 64-bit configuration utility reads them.
if e2e_reg query 'HKLM\Software\Wow6432Node\Microsoft\Shared Tools\MSConfig\startupreg\jusched' >/dev/null; then
    e2e_fail "a record was written in the 32-bit view"
fi

# --- Remove on every row ----------------------------------------------------------------------
seed_machine
e2e_start
for i in 0 1 2 3; do
    e2e_click Remove "$i"
done
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
[ -z "$(known_left)" ] || e2e_fail "known values left after Remove: $(known_left | tr '\n' ' ')"
expect_unknown_untouched "Remove"
for name in SunJavaUpdateSched 'QuickTime Task' jusched qttask; do
    e2e_expect_no_record "$name"
done

# --- No action everywhere: nothing changes -----------------------------------------------------
seed_machine
before="$(dump "$RUNCU")|$(dump "$RUN64")|$(dump "$RUN32")"
e2e_start
for i in 0 1 2 3; do
    e2e_click "No action" "$i"
done
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
[ "$before" = "$(dump "$RUNCU")|$(dump "$RUN64")|$(dump "$RUN32")" ] || e2e_fail "No action changed a Run key"
[ "$(dump "$RECORDS_KEY")" = absent ] || e2e_fail "No action wrote a record"

# --- A mix: Remove the 32-bit-only entry, keep the long one, disable the rest ----------------------
seed_machine
e2e_start
e2e_click Remove 0
e2e_click "No action" 1
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
e2e_expect_no_record SunJavaUpdateSched
[ "$(dump "$RUN32" | grep -c '^SunJavaUpdateSched')" = 0 ] || e2e_fail "mix: SunJavaUpdateSched was not removed"
[ "$(e2e_reg_value "$RUN32" 'QuickTime Task')" = "$LONG_COMMAND" ] || e2e_fail "mix: QuickTime Task changed"
e2e_expect_no_record 'QuickTime Task'
e2e_expect_record jusched 'C:\Users\me\jusched.exe' HKCU
e2e_expect_record qttask 'C:\Program Files\QuickTime\qttask.exe' HKLM
expect_unknown_untouched "mix"

e2e_reset_registry
e2e_done
