#!/usr/bin/env bash
# When the registry refuses a change, "Continue" says so instead of claiming success: the entries
# that were not changed are named with the reason, the rest are done. Wine lets everyone write to
# HKLM, so the refusals are made real ones: a Run key that only allows reading (what a standard
# user meets on Windows), and a volatile record key, below which no lasting key can be created; a Run
# key nobody may read; the lock another copy holds while it changes entries; a second start.
source "$(dirname "$0")/lib.sh" "$1"

# --- No rights to the per-machine Run key --------------------------------------------------------
e2e_reset_registry
e2e_seed HKLM qttask 'C:\Program Files\QuickTime\qttask.exe'
e2e_seed HKCU qttask 'C:\Users\me\qttask.exe'
e2e_seed HKLM jusched 'C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe'
e2e_seed HKCU jusched 'C:\Users\me\jusched.exe'
e2e_seed HKCU ctfmon 'C:\WINDOWS\system32\ctfmon.exe'
drv read-only-key "$(e2e_run_key HKLM)" || e2e_fail "cannot make the HKLM Run key read-only"

e2e_start
# ctfmon: Disable (HKCU, works); jusched: Remove (HKCU works, HKLM refused); qttask: Disable (recorded,
# HKCU works, HKLM refused).
e2e_click Remove 1
e2e_click Continue
expected="Not every action could be carried out:

jusched (Remove): removed from HKCU; not removed from HKLM, which needs administrator rights. Close Runsweep and run it as administrator to change it there.

qttask (Disable): recorded for re-enabling; removed from HKCU; not removed from HKLM, which needs administrator rights. Close Runsweep and run it as administrator to change it there.

The other chosen action was carried out. Changes will take effect after the system is restarted."
e2e_expect_message error "$expected"
e2e_dismiss
e2e_wait_exit
e2e_expect_absent HKCU ctfmon
e2e_expect_record ctfmon 'C:\WINDOWS\system32\ctfmon.exe' HKCU
e2e_expect_present HKLM jusched
e2e_expect_absent HKCU jusched
e2e_expect_present HKLM qttask
e2e_expect_absent HKCU qttask
e2e_expect_record qttask 'C:\Users\me\qttask.exe' HKCU
# HKLM's value could not be taken out, so the record keeps HKCU's command alone: nothing shows both
# as starting and as disabled.
if e2e_reg_value "$RECORDS_KEY\\qttask" RunsweepCommandHKLM >/dev/null; then
    e2e_fail "qttask's record keeps the HKLM command that still starts"
fi

# --- The record cannot be created --------------------------------------------------------------
e2e_reset_registry
e2e_seed HKCU qttask 'C:\Program Files\QuickTime\qttask.exe'
e2e_seed HKCU jusched 'C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe'
drv volatile-key "$RECORDS_KEY" || e2e_fail "cannot create a volatile record key"

e2e_start
# jusched: Remove (works); qttask: Disable (its record cannot be created).
e2e_click Remove 0
e2e_click Continue
e2e_expect_message error "Error on value: qttask. There was an error creating a MSConfig key."
e2e_dismiss
expected="Not every action could be carried out:

qttask (Disable): not changed: its MSConfig record could not be written (error 1021), so the entry was left in place rather than lost.

The other chosen action was carried out. Changes will take effect after the system is restarted."
e2e_expect_message error "$expected"
e2e_dismiss
e2e_wait_exit
e2e_expect_absent HKCU jusched
e2e_expect_present HKCU qttask
e2e_expect_no_record qttask

# --- Nothing could be taken out: no record remains, an earlier record stays as it was -----------
e2e_reset_registry
e2e_seed HKLM qttask 'C:\Program Files\QuickTime\qttask.exe'
e2e_seed HKLM NeroCheck 'C:\Program Files\Nero\NeroCheck.exe'
e2e_reg add "$RECORDS_KEY\\NeroCheck" /v command /t REG_SZ /d 'C:\Old\NeroCheck.exe' /f >/dev/null
e2e_reg add "$RECORDS_KEY\\NeroCheck" /v hkey /t REG_SZ /d HKCU /f >/dev/null
earlier=$(e2e_reg query "$RECORDS_KEY\\NeroCheck")
drv read-only-key "$(e2e_run_key HKLM)" || e2e_fail "cannot make the HKLM Run key read-only"
e2e_start
e2e_click Continue
message=$(e2e_message_text)
for name in qttask NeroCheck; do
    printf '%s\n' "$message" | grep -q "^$name (Disable): not removed from HKLM, which needs administrator rights" ||
        e2e_fail "$name: the message says: $message"
done
printf '%s\n' "$message" | grep -q 'recorded for re-enabling' && e2e_fail "nothing was recorded, yet: $message"
e2e_dismiss
e2e_wait_exit
e2e_expect_present HKLM qttask
e2e_expect_no_record qttask
[ "$(e2e_reg query "$RECORDS_KEY\\NeroCheck")" = "$earlier" ] || e2e_fail "NeroCheck's earlier record was changed"

# --- A Run key nobody may read is named, never taken for an empty one ---------------------------
e2e_reset_registry
e2e_seed HKCU qttask 'C:\Program Files\QuickTime\qttask.exe'
e2e_seed HKLM jusched 'C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe'
drv unreadable-key "$(e2e_run_key HKLM)" || e2e_fail "cannot take the rights to the HKLM Run key away"
e2e_launch
e2e_expect_message error "The Run key of HKLM (error 5) could not be read, so the entries there are not listed. Close Runsweep and run it as administrator to see them."
e2e_dismiss
e2e_wait_main
[ -n "$(e2e_control qttask)" ] || e2e_fail "the readable HKCU entry is not listed"
[ -z "$(e2e_control 'No unnecessary startups found!')" ] || e2e_fail "nothing found was said"
drv close "$MAIN_CAPTION" >/dev/null
e2e_wait_exit

# --- Another copy changing entries: Continue waits, then says so and changes nothing -------------
e2e_reset_registry
e2e_seed HKCU qttask 'C:\Program Files\QuickTime\qttask.exe'
held=$(e2e_temp_dir)/held
( wine "$E2E_BUILD/tests/registry_tool.exe" hold-lock 12000 >"$held" 2>/dev/null ) &
holder=$!
for _ in $(seq 1 100); do
    grep -q held "$held" 2>/dev/null && break
    sleep 0.1
done
grep -q held "$held" || e2e_fail "the lock could not be taken for the test"
e2e_start
e2e_click Continue
e2e_expect_message error "Another copy of Runsweep or runsweepc is changing startup entries. Nothing was changed: try again when it has finished."
e2e_dismiss
drv wait "$MAIN_CAPTION" 2000 >/dev/null || e2e_fail "the window closed although nothing was done"
e2e_expect_present HKCU qttask
wait "$holder"
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
e2e_expect_absent HKCU qttask

# --- A second start shows the first window and ends ----------------------------------------------
e2e_reset_registry
e2e_seed HKCU qttask 'C:\Program Files\QuickTime\qttask.exe'
e2e_start
drv syscommand "$MAIN_CAPTION" minimize >/dev/null
second=0
timeout 60 wine "$E2E_EXE" >>"$E2E_LOG" 2>&1 || second=$?
[ "$second" = 0 ] || e2e_fail "the second start ended with $second"
[ "$(drv state "$MAIN_CAPTION")" = normal ] || e2e_fail "the first window was not brought back: $(drv state "$MAIN_CAPTION")"
drv close "$MAIN_CAPTION" >/dev/null
e2e_wait_exit

e2e_reset_registry
e2e_done
