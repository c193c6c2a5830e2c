#!/usr/bin/env bash
# When the registry refuses a change, "Continue" says so instead of claiming success: the entries
# that were not changed are named with the reason, the rest are done. Wine lets everyone write to
# HKLM, so the refusals are made real ones: a Run key that only allows reading (what a standard
# user meets on Windows), and a volatile record key, below which no lasting key can be created.
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

e2e_reset_registry
e2e_done
