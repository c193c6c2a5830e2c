#!/usr/bin/env bash
# The main window closed from outside (a task manager's "End task", a posted WM_CLOSE) while
# Continue shows a per-entry message box: the close waits until Continue is done, every row is
# carried out or reported, and the program ends cleanly instead of reading its destroyed list.
source "$(dirname "$0")/lib.sh" "$1"

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
for name in $rows; do
    case $text in
    *"$name (Disable): its MSConfig record could not be written"*) ;;
    *) e2e_fail "the closing message does not report $name: $text" ;;
    esac
done
e2e_dismiss

# Ends by itself, and cleanly.
status=""
for _ in $(seq 1 100); do
    if ! kill -0 "$E2E_PID" 2>/dev/null; then
        wait "$E2E_PID" 2>/dev/null
        status=$?
        E2E_PID=""
        break
    fi
    sleep 0.1
done
[ "$status" = 0 ] || e2e_fail "the program did not end cleanly (exit status '${status:-still running}')"
if grep -Eiq 'page fault|exception|unhandled|backtrace' "$E2E_LOG"; then
    e2e_fail "the program's output tells of a fault: $(grep -Ei 'page fault|exception|unhandled' "$E2E_LOG" | head -3)"
fi
e2e_expect_no_message
for name in $rows; do
    e2e_expect_present HKCU "$name"
    e2e_expect_no_record "$name"
done

e2e_reset_registry
e2e_done
