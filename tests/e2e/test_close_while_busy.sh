#!/usr/bin/env bash
# The main window closed from outside (a task manager's "End task", a posted WM_CLOSE) while one of
# its handlers waits in a message box. During Continue's per-entry box: the close waits until
# Continue is done, every row is carried out or reported, and the program ends cleanly instead of
# reading its destroyed list. During the MSConfig link's box, and during the About window's version
# history: the program ends cleanly.
source "$(dirname "$0")/lib.sh" "$1"

ABOUT_CAPTION="About Quorvane' Runsweep"

# The program ends by itself with exit code 0, and its output tells of no fault.
expect_clean_end() { # label
    local status="" _
    for _ in $(seq 1 100); do
        if ! kill -0 "$E2E_PID" 2>/dev/null; then
            wait "$E2E_PID" 2>/dev/null
            status=$?
            E2E_PID=""
            break
        fi
        sleep 0.1
    done
    if [ -z "$status" ]; then
        e2e_fail "$1: the program did not end"
        kill "$E2E_PID" 2>/dev/null
        wait "$E2E_PID" 2>/dev/null
        E2E_PID=""
    elif [ "$status" != 0 ]; then
        e2e_fail "$1: the program ended with exit status $status"
    fi
    if grep -Eiq 'page fault|exception|unhandled|backtrace' "$E2E_LOG"; then
        e2e_fail "$1: the program's output tells of a fault: $(grep -Ei 'page fault|exception|unhandled' "$E2E_LOG" | head -3)"
    fi
}

e2e_reset_registry
e2e_seed HKCU qttask 'C:\Program Files\QuickTime\qttask.exe'
e2e_seed HKCU jusched 'C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe'
e2e_seed HKCU ctfmon 'C:\WINDOWS\system32\ctfmon.exe'
# No record can be created below a volatile key: each Disable shows its own message box.
drv volatile-key "$RECORDS_KEY" || e2e_fail "cannot create a volatile record key"

e2e_start
rows=$(e2e_controls | awk -F'\t' '$7 == "qttask" || $7 == "jusched" || $7 == "ctfmon" { print $7 }')
[ "$(printf '%s\n' "$rows" | wc -l)" = 3 ] || e2e_fail "expected three rows, found: $rows"
e2e_click Continue

reported=""
first=1
for name in $rows; do
    e2e_expect_message error "Error on value: $name. There was an error creating a MSConfig key."
    if [ "$first" = 1 ]; then
        drv close "$MAIN_CAPTION" >/dev/null || e2e_fail "cannot post a close to the main window"
        sleep 1
        drv wait "$MAIN_CAPTION" 2000 >/dev/null || e2e_fail "the main window went while Continue was still working"
        first=0
    fi
    reported="$reported|$name"
    e2e_dismiss
done

text=$(e2e_message_text)
# One line per entry, the reason they share once.
e2e_lines "$text" | grep -q "^Each: not changed: its MSConfig record could not be written" ||
    e2e_fail "the closing message does not give the reason: $text"
for name in $rows; do
    printf '%s\n' "$text" | grep -Fxq "$name (Disable)" ||
        e2e_fail "the closing message does not report $name: $text"
done
e2e_dismiss

expect_clean_end "Continue"
e2e_expect_no_message
for name in $rows; do
    e2e_expect_present HKCU "$name"
    e2e_expect_no_record "$name"
done

# --- The MSConfig link's failure message ----------------------------------------------------------
e2e_reset_registry
e2e_seed HKCU qttask 'C:\Program Files\QuickTime\qttask.exe'
e2e_start
e2e_click "Re-enable disabled items"
e2e_expect_message error "MSConfig failed to open properly."
drv close "$MAIN_CAPTION" >/dev/null || e2e_fail "cannot post a close to the main window"
sleep 1
drv wait "$MAIN_CAPTION" 2000 >/dev/null || e2e_fail "the main window went while its message was shown"
e2e_dismiss
expect_clean_end "MSConfig message"
e2e_expect_present HKCU qttask

# --- The About window's version history ----------------------------------------------------------
e2e_start
e2e_click About
drv wait "$ABOUT_CAPTION" 10000 >/dev/null || e2e_fail "the About window did not appear"
drv click "$ABOUT_CAPTION" "Version History" >/dev/null || e2e_fail "cannot click Version History"
drv msgbox 10000 >/dev/null || e2e_fail "the version history did not appear"
drv close "$MAIN_CAPTION" >/dev/null || e2e_fail "cannot post a close to the main window"
# The main window's unload closes the About window, and its box with it: nothing waits.
expect_clean_end "About window's version history"
e2e_expect_present HKCU qttask

e2e_reset_registry
e2e_done
