#!/usr/bin/env bash
# "Continue" with every row left at its default, "Disable": each entry is recorded where MSConfig
# can re-enable it (all five values, the command from the hive that had one) and then taken out of
# both Run keys; the success message shows, and the program ends.
source "$(dirname "$0")/lib.sh" "$1"

e2e_reset_registry
e2e_seed HKLM qttask '"C:\Program Files\QuickTime\qttask.exe" -atboottime'
e2e_seed HKCU jusched 'C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe'
# In both hives: HKCU's command is the one recorded, and both values go.
e2e_seed HKCU ctfmon 'C:\WINDOWS\system32\ctfmon.exe'
e2e_seed HKLM ctfmon 'C:\WINDOWS\system32\ctfmon.exe /machine'
e2e_seed HKCU 'Not in the catalogue' 'C:\somewhere\else.exe'

e2e_start
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit

e2e_expect_absent HKLM qttask
e2e_expect_absent HKCU jusched
e2e_expect_absent HKCU ctfmon
e2e_expect_absent HKLM ctfmon
e2e_expect_present HKCU 'Not in the catalogue'
e2e_expect_record qttask '"C:\Program Files\QuickTime\qttask.exe" -atboottime' HKLM
e2e_expect_record jusched 'C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe' HKCU
e2e_expect_record ctfmon 'C:\WINDOWS\system32\ctfmon.exe' HKCU

e2e_done
