#!/usr/bin/env bash
# A custom.txt beside the program: announced before it is read, a corrupt line reported and
# skipped, its good entries found in the Run keys, listed after the built-in ones and carried out
# like them. An empty custom.txt is announced and reported as empty.
source "$(dirname "$0")/lib.sh" "$1"

folder=$(e2e_temp_dir)
cp "$E2E_EXE" "$folder/Runsweep.exe"
# CR LF lines: a good entry, a line without a comma, an empty line, an entry with a third field
# (dropped), and a final line end (one more, empty, line).
printf '%s\r\n' 'MyUpdater,Updates My Program at every start; not needed.' 'BrokenLine' '' \
    'AnotherTool,Another tool,with a third field' >"$folder/custom.txt"

e2e_reset_registry
e2e_seed HKCU AnotherTool 'C:\Tools\another.exe'
e2e_seed HKLM MyUpdater 'C:\Program Files\My Program\updater.exe'
e2e_seed HKCU qttask 'C:\Program Files\QuickTime\qttask.exe'

e2e_launch "$folder/Runsweep.exe"
e2e_expect_message information "Using custom list (custom.txt)"
e2e_dismiss
e2e_expect_message error "Corrupt entry found in custom.txt. Format: Startup,Description"
e2e_dismiss
e2e_wait_main
e2e_expect_no_message
controls=$(e2e_controls)
rows=$(printf '%s\n' "$controls" |
    awk -F'\t' '$7 == "qttask" || $7 == "MyUpdater" || $7 == "AnotherTool" || $7 == "Another tool" { print $7 }' |
    tr '\n' '|')
# Built-in entries first; then the custom ones in line order, each description as its line gave it.
[ "$rows" = "qttask|MyUpdater|AnotherTool|Another tool|" ] || e2e_fail "rows: $rows"
e2e_control "Updates My Program at every start; not needed." "$controls" | grep -q . ||
    e2e_fail "MyUpdater's description is missing"

e2e_click Remove 2 # AnotherTool
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
e2e_expect_absent HKLM MyUpdater
e2e_expect_record MyUpdater 'C:\Program Files\My Program\updater.exe' HKLM
e2e_expect_absent HKCU AnotherTool
e2e_expect_no_record AnotherTool
e2e_expect_absent HKCU qttask

# --- An empty custom.txt -------------------------------------------------------------------------
: >"$folder/custom.txt"
e2e_reset_registry
e2e_launch "$folder/Runsweep.exe"
e2e_expect_message information "Using custom list (custom.txt)"
e2e_dismiss
e2e_expect_message error "Custom list is empty."
e2e_dismiss
e2e_wait_main
e2e_expect_no_message
drv syscommand "$MAIN_CAPTION" close
e2e_wait_exit

e2e_done
