#!/usr/bin/env bash
# A mix of choices, made with real pointer clicks through the X server: "Remove" deletes without a
# record, "No action" leaves the entry alone, "Disable" records and deletes.
source "$(dirname "$0")/lib.sh" "$1"

e2e_reset_registry
e2e_seed HKCU ctfmon 'C:\WINDOWS\system32\ctfmon.exe'
e2e_seed HKLM jusched 'C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe'
e2e_seed HKCU qttask 'C:\Program Files\QuickTime\qttask.exe'
e2e_seed HKLM qttask 'C:\Program Files\QuickTime\qttask.exe'

e2e_start
# Rows in catalogue order: ctfmon, jusched, qttask.
e2e_xclick Remove 0
e2e_xclick "No action" 1
sleep 0.3
controls=$(e2e_controls)
states=$(printf '%s\n' "$controls" | awk -F'\t' '$7 == "Disable" || $7 == "Remove" || $7 == "No action" { print $7 "=" $5 }' |
    tr '\n' ' ')
expected="Disable=unchecked Remove=checked No action=unchecked Disable=unchecked Remove=unchecked No action=checked "
expected="${expected}Disable=checked Remove=unchecked No action=unchecked "
[ "$states" = "$expected" ] || e2e_fail "boxes after the clicks: $states"

e2e_xclick Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit

e2e_expect_absent HKCU ctfmon
e2e_expect_no_record ctfmon
e2e_expect_present HKLM jusched
e2e_expect_no_record jusched
e2e_expect_absent HKCU qttask
e2e_expect_absent HKLM qttask
e2e_expect_record qttask 'C:\Program Files\QuickTime\qttask.exe' HKCU

e2e_done
