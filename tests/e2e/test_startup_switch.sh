#!/usr/bin/env bash
# Windows' own startup switch (the StartupApproved values of Task Manager and Settings), with Wine
# reporting Windows 10 and then Windows 7:
#   - Run values in HKCU, HKLM and HKLM's 32-bit view whose switches say on, off (03 and 07), are
#     missing or hold data no Windows writes; the main list says which are switched off, in the row
#     and through the list's items, and presets them to "No action"; the rest stay at "Disable";
#   - the Disabled items window lists the entries only switched off, marked so; re-enabling one
#     switches it on (02 and zeros) and changes nothing else, and the main list then presets it to
#     "No action", as every entry re-enabled in the same run;
#   - the default "Continue" leaves the switched-off entries and their switches alone, and switches
#     off (03 and a time within the run) every place it takes a value out of, unless it is off
#     already or holds data no Windows writes;
#   - runsweepc: list --format json gives each entry's state and each place's switch when the
#     programs write their values back, disabled lists an entry only switched off, and enable
#     switches it, and a recorded entry, on;
#   - reporting Windows 7, no row speaks of the switch, every row starts at "Disable", runsweepc
#     says every entry is on, and neither Continue nor enable writes a switch value.
# RUNSWEEP_SCREENSHOTS=folder keeps screenshots of both lists.
source "$(dirname "$0")/lib.sh" "$1"

shots=${RUNSWEEP_SCREENSHOTS:-}
APPROVED=$APPROVED_PATH
JUNE_FIRST=00604FB3ECD2DB01 # 2025-06-01 12:00 UTC as a FILETIME, low byte first

# The Windows version Wine reports to programs, set as winecfg sets it for one user; taken out
# again when the test ends.
set_wine_version() { # win10|win7
    e2e_reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d "$1" /f >/dev/null || e2e_fail "cannot make Wine report $1"
}
restore_version() {
    e2e_cleanup
    e2e_reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null
}
trap restore_version EXIT

switch_key() { # HKCU|HKLM|HKLM32
    case $1 in
    HKLM32) printf 'HKLM\\%s\\Run32' "$APPROVED" ;;
    *) printf '%s\\%s\\Run' "$1" "$APPROVED" ;;
    esac
}
set_switch() { # place name type data
    e2e_reg add "$(switch_key "$1")" /v "$2" /t "$3" /d "$4" /f /reg:64 >/dev/null ||
        e2e_fail "cannot set the switch of $2 in $1"
}
# The switch's data as reg prints it (hex digits for REG_BINARY), its type before it; nothing when
# the value does not exist.
switch_of() { # place name
    local out status=0
    out=$(e2e_reg query "$(switch_key "$1")" /v "$2" /reg:64) || status=$?
    [ "$status" = 2 ] && e2e_fail "cannot read the switch of $2 in $1"
    printf '%s\n' "$out" | awk -v name="$2" '
        { line = $0; sub(/^    /, "", line) }
        index(line, name "    REG_") == 1 { rest = substr(line, length(name) + 5); sub(/    /, " ", rest); print rest }'
}
# The time now as a FILETIME (100 ns since 1601, UTC).
filetime_now() { echo $((($(date +%s) + 11644473600) * 10000000)); }
# Switched off by this run: 03 00 00 00, then a time between the two given (whole seconds).
expect_switched_off_between() { # place name from to
    local actual hex time=0 i
    actual=$(switch_of "$1" "$2")
    case $actual in
    "REG_BINARY 03000000"????????????????) ;;
    *)
        e2e_fail "switch of $2 in $1 is '$actual', expected 03 and the time"
        return
        ;;
    esac
    hex=${actual#REG_BINARY 03000000}
    for i in 7 6 5 4 3 2 1 0; do
        time=$((time * 256 + 16#${hex:$((i * 2)):2}))
    done
    [ "$time" -ge $(($3 - 10000000)) ] && [ "$time" -le $(($4 + 10000000)) ] ||
        e2e_fail "switch of $2 in $1 is dated $time, not within the run ($3 to $4)"
}
# runsweepc beside Runsweep.exe; sets OUT, ERR and STATUS. A run that says nothing at all is one
# Wine never started (it happens on a loaded machine): tried again.
console() { # arguments...
    local out_file err_file attempt
    out_file=$(mktemp /tmp/runsweep-switch-out.XXXXXX)
    err_file=$(mktemp /tmp/runsweep-switch-err.XXXXXX)
    for attempt in 1 2 3; do
        STATUS=0
        wine "$E2E_BUILD/runsweepc.exe" "$@" >"$out_file" 2>"$err_file" || STATUS=$?
        [ "$STATUS" = 0 ] || [ -s "$out_file" ] || [ -s "$err_file" ] && break
        e2e_log "runsweepc $1 gave no answer (status $STATUS, attempt $attempt)"
        sleep 0.5
    done
    OUT=$(tr -d '\r' <"$out_file")
    ERR=$(tr -d '\r' <"$err_file")
    rm -f "$out_file" "$err_file"
}
# Each listed entry as "name state place:state:date ..." from runsweepc list --format json.
listed_states() {
    printf '%s\n' "$OUT" | python3 -c '
import json, sys
for o in json.load(sys.stdin):
    print(o["name"], o["state"], " ".join("%s:%s:%s" % (s["place"], s["state"], s["off_since"] or "null") for s in o["switches"]))'
}
expect_listed() { # name "state place:state:date ..." (a date may be given as "now": any of this day)
    local line
    line=$(listed_states | awk -v name="$1" '$1 == name { sub(/^[^ ]+ /, ""); print; exit }')
    line=$(printf '%s' "$line" | sed "s/:$(date -u +%Y-%m-%d)T[0-9:]*Z/:now/g")
    [ "$line" = "$2" ] || e2e_fail "runsweepc lists $1 as '$line', expected '$2'"
}

expect_switch() { # place name "TYPE data"|""
    local actual
    if [ -z "$3" ]; then
        e2e_expect_gone "switch of $2 in $1" "$(switch_key "$1")" "$2"
        return
    fi
    actual=$(switch_of "$1" "$2")
    [ "$actual" = "$3" ] || e2e_fail "switch of $2 in $1 is '$actual', expected '$3'"
}

# Each row in view of the list: name, description and the caption of its checked box, tab-separated.
# Child ids run five to a row: name, description, then the three boxes.
rows_in_view() {
    e2e_controls | awk -F'\t' '
        $1 == "text" || $1 == "checkbox" {
            row = int(($2 - 1) / 5); part = ($2 - 1) % 5
            if (part == 0) { name[row] = $7; order[++n] = row }
            else if (part == 1) desc[row] = $7
            else if ($5 == "checked") box[row] = $7
        }
        END { for (i = 1; i <= n; i++) { r = order[i]; print name[r] "\t" desc[r] "\t" box[r] } }'
}
# Every row of the list, top and bottom screens together (the list holds a few more than a screen).
all_rows() {
    e2e_xclick "$1" # a row in view: the focus goes into the list
    xdotool key Home
    sleep 0.3
    rows_in_view
    xdotool key End
    sleep 0.3
    rows_in_view
}
expect_row() { # rows name description-start checked-box
    local line
    # A row cut by the list's edge shows only some of its items; the whole one is taken.
    line=$(printf '%s\n' "$1" | awk -F'\t' -v name="$2" '$1 == name && $2 != "" && $3 != "" { print; exit }')
    if [ -z "$line" ]; then
        e2e_fail "no row for $2"
        return
    fi
    case $(e2e_field "$line" 2) in
    "$3"*) ;;
    *) e2e_fail "row $2 says '$(e2e_field "$line" 2)', expected it to begin '$3'" ;;
    esac
    [ "$(e2e_field "$line" 3)" = "$4" ] || e2e_fail "row $2 starts at '$(e2e_field "$line" 3)', expected '$4'"
}

seed() {
    e2e_reset_registry
    e2e_seed HKCU qttask '"C:\Program Files\QuickTime\qttask.exe" -atboottime'
    set_switch HKCU qttask REG_BINARY "03000000$JUNE_FIRST"
    e2e_seed HKLM32 NeroCheck 'C:\Windows\system32\NeroCheck.exe'
    set_switch HKLM32 NeroCheck REG_BINARY "07000000$JUNE_FIRST"
    e2e_seed HKLM jusched 'C:\Program Files\Java\jre\bin\jusched.exe'
    set_switch HKLM jusched REG_BINARY 020000000000000000000000
    e2e_seed HKCU ctfmon 'C:\WINDOWS\system32\ctfmon.exe' # no switch at all
    e2e_seed HKCU SunJavaUpdateSched 'C:\Program Files\Java\jre\bin\jusched.exe'
    set_switch HKCU SunJavaUpdateSched REG_BINARY 0300 # too short to be one
    e2e_seed HKLM NvCplDaemon 'RUNDLL32.EXE C:\Windows\system32\NvCpl.dll,NvStartup'
    set_switch HKLM NvCplDaemon REG_DWORD 3 # not binary
    # Off in one place, on in the other: Windows still starts it.
    e2e_seed HKCU CTDVDDet 'C:\Program Files\Creative\CTDVDDet.exe'
    e2e_seed HKLM CTDVDDet 'C:\Program Files\Creative\CTDVDDet.exe'
    set_switch HKCU CTDVDDet REG_BINARY "03000000$JUNE_FIRST"
}

OFF_TEXT="Switched off in Task Manager on 2025-06-01. "

# --- Windows 10: the list -----------------------------------------------------------------------
set_wine_version win10
seed
e2e_start
rows=$(all_rows qttask)
expect_row "$rows" qttask "${OFF_TEXT}QuickTime" "No action"
expect_row "$rows" NeroCheck "${OFF_TEXT}Nero" "No action"
expect_row "$rows" jusched "Java update scheduler" Disable
expect_row "$rows" ctfmon "Microsoft text services" Disable
expect_row "$rows" SunJavaUpdateSched "Java update scheduler" Disable
expect_row "$rows" NvCplDaemon "NVIDIA" Disable
expect_row "$rows" CTDVDDet "Switched off in Task Manager for HKCU on 2025-06-01; still on for HKLM. Found in: HKCU and HKLM. Auto-detect" Disable
[ -n "$shots" ] && e2e_screenshot_window "$shots/list-switched-off.png"

# The Disabled items window: the three entries only switched off (no record yet), marked so.
DISABLED_CAPTION="Disabled items"
e2e_click "Re-enable disabled items"
drv wait "$DISABLED_CAPTION" 20000 >/dev/null || e2e_fail "the Disabled items window did not open"
listed=$(drv controls "$DISABLED_CAPTION" | awk -F'\t' '$1 == "text" && $2 % 4 == 1 { n = $7 } $1 == "text" && $2 % 4 == 2 { print n ": " $7 }')
expected="qttask: Switched off in Task Manager for HKCU on 2025-06-01: \"C:\\Program Files\\QuickTime\\qttask.exe\" -atboottime
CTDVDDet: Switched off in Task Manager for HKCU on 2025-06-01: C:\\Program Files\\Creative\\CTDVDDet.exe
NeroCheck: Switched off in Task Manager for HKLM (32-bit) on 2025-06-01: C:\\Windows\\system32\\NeroCheck.exe"
[ "$(printf '%s\n' "$listed" | sort)" = "$(printf '%s\n' "$expected" | sort)" ] ||
    e2e_fail "Disabled items rows: $listed"
[ -n "$shots" ] && sleep 0.5 && import -window root -crop "$(drv rect "$DISABLED_CAPTION" |
    awk '{ print $3 "x" $4 "+" $1 "+" $2 }')" +repage "$shots/disabled-switched-off.png"
row=$(printf '%s\n' "$listed" | awk '/^qttask:/ { print NR - 1; exit }')
drv click "$DISABLED_CAPTION" "Re-enable" "$row" >/dev/null || e2e_fail "cannot check Re-enable of qttask"
drv click "$DISABLED_CAPTION" "Re-enable chosen" >/dev/null || e2e_fail "cannot click Re-enable chosen"
e2e_expect_message information $'qttask: switched on again in HKCU.\n\nChanges will take effect after the system is restarted.'
e2e_dismiss
drv gone "$DISABLED_CAPTION" 10000 >/dev/null || e2e_fail "the Disabled items window should close"
expect_switch HKCU qttask "REG_BINARY 020000000000000000000000"
expect_switch HKLM32 NeroCheck "REG_BINARY 07000000$JUNE_FIRST"
e2e_expect_present HKCU qttask
e2e_expect_no_record qttask
# The main list is scanned again: qttask starts with Windows once more, and waits at "No action"
# so that Continue does not switch off what the user just switched on.
expect_row "$(all_rows qttask)" qttask "QuickTime" "No action"

# The default Continue: the switched-off entry stays as it is, switch and all.
before=$(filetime_now)
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
after=$(filetime_now)
e2e_expect_present HKLM32 NeroCheck
e2e_expect_no_record NeroCheck
expect_switch HKLM32 NeroCheck "REG_BINARY 07000000$JUNE_FIRST"
expect_switch HKCU SunJavaUpdateSched "REG_BINARY 0300"
expect_switch HKLM NvCplDaemon "REG_DWORD 0x3"
e2e_expect_present HKCU qttask
expect_switch HKCU qttask "REG_BINARY 020000000000000000000000"
for name in jusched ctfmon SunJavaUpdateSched NvCplDaemon CTDVDDet; do
    e2e_expect_absent HKCU "$name"
    e2e_expect_absent HKLM "$name"
done
# Every place taken out is switched off now, so that Windows does not start the entry should its
# program write the value back; an earlier switch-off keeps its date.
expect_switched_off_between HKLM jusched "$before" "$after"
expect_switched_off_between HKCU ctfmon "$before" "$after"
expect_switched_off_between HKLM CTDVDDet "$before" "$after"
expect_switch HKCU CTDVDDet "REG_BINARY 03000000$JUNE_FIRST"

# --- Windows 10: runsweepc ----------------------------------------------------------------------
# The programs write themselves back: ctfmon where it was, jusched in HKLM and now in HKCU too.
e2e_seed HKCU ctfmon 'C:\WINDOWS\system32\ctfmon.exe'
e2e_seed HKLM jusched 'C:\Program Files\Java\jre\bin\jusched.exe'
e2e_seed HKCU jusched 'C:\Program Files\Java\jre\bin\jusched.exe'
console list --format json
[ "$STATUS" = 0 ] || e2e_fail "list: exit $STATUS ($ERR)"
expect_listed qttask "on HKCU:on:null"
expect_listed NeroCheck "off HKLM (32-bit):off:2025-06-01T12:00:00Z"
expect_listed ctfmon "off HKCU:off:now"
expect_listed jusched "mixed HKCU:on:null HKLM:off:now"
console list
e2e_lines "$OUT" | grep -q '^NeroCheck  *HKLM (32-bit)  *off since 2025-06-01 ' ||
    e2e_fail "list's text does not say NeroCheck is off: $OUT"

# NeroCheck was only switched off in Task Manager: listed so, and switched on with nothing else
# changed. ctfmon's record puts its place back: the value is there, so enable only switches it on
# and deletes the record.
console disabled --format csv
e2e_lines "$OUT" | grep -q '^NeroCheck,2025-06-01T[0-9:]*,HKLM (32-bit),C:\\Windows\\system32\\NeroCheck.exe,,switch$' ||
    e2e_fail "disabled does not list NeroCheck as switched off: $OUT"
e2e_lines "$OUT" | grep -q '^ctfmon,.*,record$' || e2e_fail "disabled does not list ctfmon's record: $OUT"
console enable NeroCheck ctfmon --dry-run
[ "$STATUS" = 0 ] || e2e_fail "enable --dry-run: exit $STATUS ($ERR)"
expect_switch HKLM32 NeroCheck "REG_BINARY 07000000$JUNE_FIRST"
console enable NeroCheck ctfmon
[ "$STATUS" = 0 ] || e2e_fail "enable: exit $STATUS ($ERR, $OUT)"
expect_switch HKLM32 NeroCheck "REG_BINARY 020000000000000000000000"
expect_switch HKCU ctfmon "REG_BINARY 020000000000000000000000"
e2e_expect_present HKLM32 NeroCheck
e2e_expect_present HKCU ctfmon
e2e_expect_no_record ctfmon
console list --format json
expect_listed NeroCheck "on HKLM (32-bit):on:null"
expect_listed ctfmon "on HKCU:on:null"

# --- Windows 7: no switch -----------------------------------------------------------------------
set_wine_version win7
seed
console list --format json
expect_listed qttask "on HKCU:on:null"
expect_listed NeroCheck "on HKLM (32-bit):on:null"
expect_listed CTDVDDet "on HKCU:on:null HKLM:on:null"
e2e_start
rows=$(all_rows qttask)
expect_row "$rows" qttask "QuickTime" Disable
expect_row "$rows" NeroCheck "Nero" Disable
expect_row "$rows" CTDVDDet "Found in: HKCU and HKLM. Auto-detect" Disable
# Continue disables every entry and writes no switch value: the seeded ones stay as they were.
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
e2e_expect_absent HKCU ctfmon
e2e_expect_record ctfmon 'C:\WINDOWS\system32\ctfmon.exe' HKCU
expect_switch HKCU ctfmon ""
expect_switch HKLM jusched "REG_BINARY 020000000000000000000000"
expect_switch HKCU qttask "REG_BINARY 03000000$JUNE_FIRST"
expect_switch HKLM CTDVDDet ""
console enable ctfmon
[ "$STATUS" = 0 ] || e2e_fail "enable on Windows 7: exit $STATUS ($ERR)"
e2e_expect_present HKCU ctfmon
expect_switch HKCU ctfmon ""

e2e_reset_registry
e2e_done
