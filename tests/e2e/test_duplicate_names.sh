#!/usr/bin/env bash
# One Run value, one row: the built-in catalogue names CTDVDDet twice, and a custom list may repeat
# a built-in name in other letter case. Two rows would carry two choices for one value, and the
# later row's default would override what the user chose on the first.
source "$(dirname "$0")/lib.sh" "$1"

rows() {
    e2e_controls | awk -F'\t' '$1 == "text" && ($2 - 1) % 5 == 0 { print $7 }'
}

folder=$(e2e_temp_dir)
cp "$E2E_EXE" "$folder/Runsweep.exe"
printf '%s\r\n' 'CTFMON,A custom line repeating a built-in name' 'MyAgent,An agent of my own' \
    'myagent,The same agent again' >"$folder/custom.txt"

e2e_reset_registry
e2e_seed HKLM CTDVDDet 'C:\Program Files\Creative\CTDVDDet.exe'
e2e_seed HKCU ctfmon 'C:\WINDOWS\system32\ctfmon.exe'
e2e_seed HKLM32 ctfmon 'C:\WINDOWS\SysWOW64\ctfmon.exe'
e2e_seed HKCU MyAgent 'C:\agent.exe'

e2e_launch "$folder/Runsweep.exe"
e2e_expect_message information "Using custom list (custom.txt)"
e2e_dismiss
e2e_wait_main
listed=$(rows | tr '\n' '|')
[ "$listed" = "ctfmon|CTDVDDet|MyAgent|" ] || e2e_fail "rows: $listed"

# "No action" on the one CTDVDDet row keeps it; nothing else overrides that choice.
e2e_click "No action" 1
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
e2e_expect_present HKLM CTDVDDet
e2e_expect_no_record CTDVDDet
e2e_expect_absent HKCU ctfmon
e2e_expect_absent HKLM32 ctfmon
e2e_expect_record ctfmon 'C:\WINDOWS\system32\ctfmon.exe' HKCU
e2e_expect_absent HKCU MyAgent
e2e_expect_record MyAgent 'C:\agent.exe' HKCU

e2e_reset_registry
e2e_done
