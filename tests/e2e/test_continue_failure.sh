#!/usr/bin/env bash
# When the registry refuses a change, "Continue" says so instead of claiming success: the entries
# that were not changed are named with the reason, the rest are done. Wine lets everyone write to
# HKLM, so the refusals are made real ones: a Run key that only allows reading (what a standard
# user meets on Windows), and a volatile record key, below which no lasting key can be created; a Run
# key nobody may read; the lock another copy holds while it changes entries; a second start.
# Entries refused for the same reason are named one per line with the advice once, in a message
# that never grows taller than the screen.
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

Not changed where administrator rights are needed:
jusched (Remove): HKLM; removed from HKCU
qttask (Disable): HKLM; removed from HKCU
Close Runsweep and run it as administrator to change them there.

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
    e2e_lines "$message" | grep -qx "$name (Disable): HKLM" ||
        e2e_fail "$name: the message says: $message"
done
e2e_lines "$message" | grep -q 'recorded for re-enabling' && e2e_fail "nothing was recorded, yet: $message"
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

# --- Many entries the user may not change -------------------------------------------------------
# Six, then forty entries of the per-machine Run key, the key read-only: one message names each
# entry on a line of its own with the advice once, and never grows taller than the screen; beyond
# what fits it says how many more there are and where to see them all. RUNSWEEP_SCREENSHOTS=folder
# keeps both messages there (the six-entry one as docs/ shows it).
catalogue_src="$(dirname "$0")/../../catalogue/builtin_catalogue.cpp"
mapfile -t NAMES < <(grep -o '^    {L"[^"]*"' "$catalogue_src" | sed 's/^    {L"//; s/"$//' | awk '!seen[tolower($0)]++' |
    head -n 40)
[ "${#NAMES[@]}" = 40 ] || e2e_fail "found ${#NAMES[@]} catalogue names, expected 40"
read -r screen_width screen_height < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
work=$(e2e_temp_dir)
for count in 6 40; do
    e2e_reset_registry
    {
        printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\%s]\r\n' "$RUN_PATH"
        for name in "${NAMES[@]:0:$count}"; do
            printf '"%s"="C:\\\\Program Files\\\\%s.exe"\r\n' "$name" "$name"
        done
    } >"$work/many.reg"
    e2e_import "Z:$(printf '%s' "$work/many.reg" | tr '/' '\\')" || e2e_fail "cannot seed $count entries"
    drv read-only-key "$(e2e_run_key HKLM)" || e2e_fail "cannot make the HKLM Run key read-only"
    e2e_start
    e2e_click Continue
    text=$(e2e_message_text)
    read -r box_left box_top box_width box_height _ <<<"$(drv rect Runsweep)"
    e2e_log "$count entries refused: a message box of $box_width x $box_height at $box_left,$box_top"
    echo "[$E2E_NAME] $count entries refused: message box $box_width x $box_height pixels"
    [ "$box_top" -ge 0 ] && [ $((box_top + box_height)) -le "$screen_height" ] && [ "$box_left" -ge 0 ] &&
        [ $((box_left + box_width)) -le "$screen_width" ] ||
        e2e_fail "$count entries: the message box ($box_width x $box_height at $box_left,$box_top) leaves the screen"
    advice=$(printf '%s\n' "$text" | grep -c "run it as administrator")
    [ "$advice" = 1 ] || e2e_fail "$count entries: the advice is given $advice times"
    listed=$(printf '%s\n' "$text" | grep -c '^.* (Disable): HKLM$')
    if [ "$count" = 6 ]; then
        [ "$listed" = 6 ] || e2e_fail "six entries: $listed of them listed one per line: $text"
        [ "$box_height" -le 300 ] || e2e_fail "six entries: a message box $box_height pixels tall"
    else
        more=$(printf '%s\n' "$text" | sed -n 's/^\xE2\x80\xA6and \([0-9]*\) more$/\1/p')
        [ -n "$more" ] && [ $((listed + more)) = 40 ] || e2e_fail "forty entries: $listed listed and '$more' more: $text"
        e2e_lines "$text" | grep -qF 'Every entry still in a Run key: "runsweepc list".' ||
            e2e_fail "forty entries: the message does not say where to see them all"
    fi
    if [ -n "${RUNSWEEP_SCREENSHOTS:-}" ]; then
        sleep 0.5
        import -window root -crop "${box_width}x${box_height}+${box_left}+${box_top}" +repage \
            "$RUNSWEEP_SCREENSHOTS/failure-message$([ "$count" = 6 ] || echo "-$count").png"
    fi
    e2e_dismiss
    e2e_wait_exit
    e2e_expect_present HKLM "${NAMES[0]}"
done

e2e_reset_registry
e2e_done
