#!/usr/bin/env bash
# Re-enabling what was disabled, as a new user would: three entries (HKCU, HKLM, HKLM's 32-bit
# view) are disabled with "Continue"; the next start finds nothing; "Re-enable disabled items" opens
# the Disabled items window with three rows; two of them are re-enabled, each value comes back in
# its own key and view with its type and data, their records go and the third stays; the main list
# shows the two again. Then a record written the way MSConfig writes it comes back too, while a
# record that names no Run key and one whose name the Run key holds again are reported and left.
# The entries re-enabled come back in the main list at "No action", and Continue leaves them be.
source "$(dirname "$0")/lib.sh" "$1"

DISABLED_CAPTION="Disabled items"
RUN32_KEY='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'
QT_COMMAND='"%ProgramFiles%\QuickTime\qttask.exe" -atboottime'
JAVA_COMMAND='"C:\Program Files (x86)\Java\jre6\bin\jusched.exe"'
JU_COMMAND='C:\Users\me\AppData\jusched.exe'

# "TYPE<tab>data" of a value as reg lists it; status 1 when there is none.
reg_typed() { # key name [/reg:32]
    local out status=0
    out=$(e2e_reg query "$1" /v "$2" ${3:+"$3"}) || status=$?
    [ "$status" = 0 ] || return "$status"
    printf '%s\n' "$out" | awk -v name="$2" '
        { line = $0; sub(/^    /, "", line) }
        index(line, name "    REG_") == 1 {
            rest = substr(line, length(name "    ") + 1)
            type = substr(rest, 1, index(rest, "    ") - 1)
            print type "\t" substr(rest, length(type "    ") + 1); found = 1
        }
        END { exit found ? 0 : 1 }'
}

expect_typed() { # label key name type data [/reg:32]
    local actual
    actual=$(reg_typed "$2" "$3" ${6:+"$6"}) || { e2e_fail "$1: $3 is not back"; return; }
    [ "$actual" = "$4	$5" ] || e2e_fail "$1: $3 is '$actual', expected '$4	$5'"
}

expect_gone() { # label key name [/reg:32|/reg:64]
    local key=$2
    [ "${4:-}" = /reg:32 ] && key="HKLM32\\${key#HKLM\\}"
    e2e_expect_gone "$1" "$key" "$3"
}

expect_record() { # name
    e2e_reg query "$RECORDS_KEY\\$1" >/dev/null || e2e_fail "the record of $1 should still be there"
}

disabled_controls() { drv controls "$DISABLED_CAPTION"; }

# Rows of the Disabled items window, in order: the name of each (the list's value-name items).
disabled_rows() {
    disabled_controls | awk -F'\t' '$1 == "text" && $2 % 4 == 1 { print $7 }'
}

# Checks "Re-enable" in the row whose name is given.
choose_reenable() { # row name
    local row
    row=$(disabled_rows | awk -v name="$1" '$0 == name { print NR - 1; exit }')
    if [ -z "$row" ]; then
        e2e_fail "no row '$1' in the Disabled items window"
        return 1
    fi
    drv click "$DISABLED_CAPTION" "Re-enable" "$row" >/dev/null || e2e_fail "cannot check Re-enable of '$1'"
}

# The Windows version Wine reports to programs: win7 (MSConfig could re-enable, but Wine has none,
# so it fails to start) or win10 (MSConfig cannot re-enable).
wine_version() { # win7|win10
    e2e_reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d "$1" /f >/dev/null || e2e_fail "cannot set Wine's version"
    WINE_VERSION=$1
}
restore_version() { e2e_reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null; }
trap 'restore_version; e2e_cleanup' EXIT

open_disabled_items() {
    e2e_click "Re-enable disabled items"
    if [ "$WINE_VERSION" = win7 ]; then
        # Where MSConfig should do it, its failure to start is told first.
        e2e_expect_message error "MSConfig failed to open properly."
        e2e_dismiss
    fi
    drv wait "$DISABLED_CAPTION" 20000 >/dev/null || e2e_fail "the Disabled items window did not open"
}

reset_all() {
    e2e_reset_registry
    drv empty-key "$RUN32_KEY" >>"$E2E_LOG" || e2e_fail "cannot empty the 32-bit HKLM Run key"
}

# --- Three entries disabled, two of them re-enabled ------------------------------------------------
wine_version win10
reset_all
e2e_reg add "$(e2e_run_key HKLM)" /v qttask /t REG_EXPAND_SZ /d "$QT_COMMAND" /f >/dev/null ||
    e2e_fail "cannot seed qttask"
e2e_reg add "$(e2e_run_key HKLM)" /v SunJavaUpdateSched /t REG_SZ /d "$JAVA_COMMAND" /f /reg:32 >/dev/null ||
    e2e_fail "cannot seed SunJavaUpdateSched in the 32-bit view"
e2e_seed HKCU jusched "$JU_COMMAND"

e2e_start
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
expect_gone "disabled" "$(e2e_run_key HKLM)" qttask
expect_gone "disabled" "$RUN32_KEY" SunJavaUpdateSched
expect_gone "disabled" "$(e2e_run_key HKCU)" jusched

e2e_start
panel=$(e2e_control "No unnecessary startups found!")
[ "$(e2e_field "$panel" 3)" = visible ] || e2e_fail "the nothing-found panel should show after everything was disabled"
[ "$(e2e_field "$(e2e_control Continue)" 4)" = disabled ] || e2e_fail "Continue should be disabled"

open_disabled_items
rows=$(disabled_rows | sort | tr '\n' ' ')
[ "$rows" = "SunJavaUpdateSched jusched qttask " ] || e2e_fail "Disabled items rows: '$rows'"
# The list's name, as a screen reader announces it (the standard accessible object reads the window text).
list_name=$(disabled_controls | awk -F'\t' '$1 == "Runsweep.ctlListbox" { print $7 }')
[ "$list_name" = "Disabled items" ] || e2e_fail "the list of disabled items is named '$list_name'"
[ "$(drv enabled "$MAIN_CAPTION")" = disabled ] || e2e_fail "the main window should take no input meanwhile"
boxes=$(disabled_controls | awk -F'\t' '$1 == "checkbox" { n[$5 "/" $7]++ } END { for (b in n) print n[b] " " b }' |
    sort | tr '\n' ';')
[ "$boxes" = "3 checked/Keep disabled;3 unchecked/Re-enable;" ] ||
    e2e_fail "each row should offer Re-enable and Keep disabled, the latter checked: '$boxes'"
choose_reenable qttask
choose_reenable SunJavaUpdateSched
if [ -n "${RUNSWEEP_SHOTS:-}" ]; then
    sleep 0.5
    read -r left top width height _ <<<"$(drv rect "$DISABLED_CAPTION")"
    import -window root -crop "${width}x${height}+${left}+${top}" +repage "$RUNSWEEP_SHOTS/disabled-items.png"
fi
e2e_click_disabled() { drv click "$DISABLED_CAPTION" "$1" >/dev/null || e2e_fail "cannot click '$1'"; }
e2e_click_disabled "Re-enable chosen"
message=$(drv msgbox 20000)
# Reporting Windows 10, Continue switched each place off in Task Manager too; re-enabling switches
# it on again and says so.
case $message in
information*"qttask: re-enabled in HKLM; switched on again in Task Manager for HKLM."*) ;;
*) e2e_fail "closing message: $message" ;;
esac
case $message in
*"SunJavaUpdateSched: re-enabled in HKLM (32-bit); switched on again in Task Manager for HKLM (32-bit)."*"Changes will take effect after the system is restarted.") ;;
*) e2e_fail "closing message: $message" ;;
esac
e2e_dismiss
drv gone "$DISABLED_CAPTION" 10000 >/dev/null || e2e_fail "the Disabled items window should close"

expect_typed "re-enabled" "$(e2e_run_key HKLM)" qttask REG_EXPAND_SZ "$QT_COMMAND"
expect_gone "re-enabled in its own view only" "$(e2e_run_key HKLM)" qttask /reg:32
expect_typed "re-enabled" "$(e2e_run_key HKLM)" SunJavaUpdateSched REG_SZ "$JAVA_COMMAND" /reg:32
expect_gone "re-enabled in its own view only" "$(e2e_run_key HKLM)" SunJavaUpdateSched /reg:64
expect_gone "kept disabled" "$(e2e_run_key HKCU)" jusched
approved_state() { # hive leaf name: the state byte of Windows' switch, as reg prints it
    e2e_reg query "$1\\$APPROVED_PATH\\$2" /v "$3" /reg:64 | awk -v name="$3" '
        { line = $0; sub(/^    /, "", line) }
        index(line, name "    REG_BINARY    ") == 1 { print substr(line, length(name) + 19, 2) }'
}
[ "$(approved_state HKLM Run qttask)" = 02 ] || e2e_fail "qttask's switch should say on again"
[ "$(approved_state HKLM Run32 SunJavaUpdateSched)" = 02 ] || e2e_fail "SunJavaUpdateSched's switch should say on again"
[ "$(approved_state HKCU Run jusched)" = 03 ] || e2e_fail "jusched, kept disabled, should stay switched off"
e2e_expect_no_record qttask
e2e_expect_no_record SunJavaUpdateSched
e2e_expect_record jusched "$JU_COMMAND" HKCU

listing=$(e2e_controls)
names=$(printf '%s\n' "$listing" | awk -F'\t' '$1 == "text" && $2 % 5 == 1 { print $7 }' | tr '\n' ' ')
[ "$names" = "SunJavaUpdateSched qttask " ] || e2e_fail "the main list should show the two again: '$names'"
# Just switched back on: they wait at "No action", so Continue does not switch them off again.
preset=$(printf '%s\n' "$listing" | awk -F'\t' '$1 == "checkbox" && $5 == "checked" { print $7 }' | tr '\n' ',')
[ "$preset" = "No action,No action," ] || e2e_fail "the entries just re-enabled should come back at No action: '$preset'"
[ "$(e2e_field "$(e2e_control "No unnecessary startups found!" "$listing")" 3)" = hidden ] ||
    e2e_fail "the nothing-found panel should be hidden again"
[ "$(e2e_field "$(e2e_control Continue "$listing")" 4)" = enabled ] || e2e_fail "Continue should be enabled again"

# The keyboard: the list has the focus on its first box, Space chooses it, Tab goes on to the
# buttons; Esc closes the window and changes nothing.
open_disabled_items
[ "$(drv focus "$DISABLED_CAPTION")" = $'checkbox\tRe-enable' ] || e2e_fail "the list's first box should have the focus"
# Larger, its list takes the room and its buttons follow the bottom edge.
list_of() { disabled_controls | awk -F'\t' '$1 == "Runsweep.ctlListbox" { print $6; exit }'; }
button_of() { disabled_controls | awk -F'\t' -v t="$1" '$7 == t { print $6; exit }'; }
read -r _ _ _ small_height <<<"$(list_of)"
read -r _ close_top _ _ <<<"$(button_of Close)"
drv resize "$DISABLED_CAPTION" 900 700
sleep 0.5
read -r _ _ width height _ <<<"$(drv rect "$DISABLED_CAPTION")"
read -r _ _ _ large_height <<<"$(list_of)"
read -r _ close_top_now _ _ <<<"$(button_of Close)"
[ "$width x $height" = "900 x 700" ] || e2e_fail "the Disabled items window is $width x $height, asked for 900 x 700"
[ $((large_height - small_height)) = $((close_top_now - close_top)) ] && [ "$large_height" -gt "$small_height" ] ||
    e2e_fail "the list grew from $small_height to $large_height, Close moved from $close_top to $close_top_now"
xdotool key space
[ "$(disabled_controls | awk -F'\t' '$1 == "checkbox" && $7 == "Re-enable" { print $5 }')" = checked ] ||
    e2e_fail "Space should check Re-enable"
xdotool key Tab
[ "$(drv focus "$DISABLED_CAPTION")" = $'Button\tClose' ] || e2e_fail "Tab should reach Close"
xdotool key Escape
drv gone "$DISABLED_CAPTION" 10000 >/dev/null || e2e_fail "Esc should close the Disabled items window"
e2e_expect_no_message
# Opened again, it has the size it was closed at.
open_disabled_items
read -r _ _ width height _ <<<"$(drv rect "$DISABLED_CAPTION")"
[ "$width x $height" = "900 x 700" ] || e2e_fail "the Disabled items window came back at $width x $height, not 900 x 700"
xdotool key Escape
drv gone "$DISABLED_CAPTION" 10000 >/dev/null || e2e_fail "Esc should close the Disabled items window again"
expect_gone "closed with Esc" "$(e2e_run_key HKCU)" jusched
e2e_expect_record jusched "$JU_COMMAND" HKCU
# Continue leaves alone what was just re-enabled.
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
expect_typed "re-enabled, then Continue" "$(e2e_run_key HKLM)" qttask REG_EXPAND_SZ "$QT_COMMAND"
expect_typed "re-enabled, then Continue" "$(e2e_run_key HKLM)" SunJavaUpdateSched REG_SZ "$JAVA_COMMAND" /reg:32
e2e_expect_no_record qttask

# --- MSConfig's record, a malformed one and a name that is back in the Run key -----------------
wine_version win7
reset_all
nero="$RECORDS_KEY\\NeroCheck"
e2e_reg add "$nero" /v command /t REG_SZ /d 'C:\WINDOWS\system32\NeroCheck.exe' /f >/dev/null
e2e_reg add "$nero" /v hkey /t REG_SZ /d HKLM /f >/dev/null
e2e_reg add "$nero" /v inimapping /t REG_SZ /d 0 /f >/dev/null
e2e_reg add "$nero" /v item /t REG_SZ /d NeroCheck.exe /f >/dev/null
e2e_reg add "$nero" /v key /t REG_SZ /d 'SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /f >/dev/null
for part in YEAR:2025 MONTH:3 DAY:14 HOUR:9 MINUTE:5 SECOND:59; do
    e2e_reg add "$nero" /v "${part%%:*}" /t REG_DWORD /d "${part#*:}" /f >/dev/null
done
broken="$RECORDS_KEY\\Broken"
e2e_reg add "$broken" /v command /t REG_SZ /d 'C:\broken.exe' /f >/dev/null
e2e_reg add "$broken" /v hkey /t REG_SZ /d HKCR /f >/dev/null
ctf="$RECORDS_KEY\\ctfmon"
e2e_reg add "$ctf" /v command /t REG_SZ /d 'C:\old\ctfmon.exe' /f >/dev/null
e2e_reg add "$ctf" /v hkey /t REG_SZ /d HKCU /f >/dev/null
e2e_reg add "$ctf" /v item /t REG_SZ /d ctfmon /f >/dev/null
e2e_seed HKCU ctfmon 'C:\new\ctfmon.exe'

e2e_start
open_disabled_items
listing=$(disabled_controls)
e2e_lines "$listing" | grep -q $'\tNeroCheck.exe (NeroCheck)$' || e2e_fail "MSConfig's record should show its item"
e2e_lines "$listing" | grep -q $'\tBack to HKLM, disabled 2025-03-14 09:05: C:\\\\WINDOWS\\\\system32\\\\NeroCheck.exe$' ||
    e2e_fail "MSConfig's record should show where it goes, its date and command"
e2e_lines "$listing" | grep -q $'\tCannot be re-enabled: it names no Run key' ||
    e2e_fail "the malformed record should be marked"
choose_reenable "NeroCheck.exe (NeroCheck)"
choose_reenable Broken
choose_reenable ctfmon
e2e_click_disabled "Re-enable chosen"
message=$(drv msgbox 20000)
for expected in "error" "Not every item could be re-enabled:" \
    "NeroCheck.exe (NeroCheck): re-enabled in HKLM." \
    "Broken: not re-enabled: its record cannot be understood (it names no Run key" \
    "ctfmon: not re-enabled: HKCU already holds a value of this name with another command, so nothing was changed."; do
    case $message in
    *"$expected"*) ;;
    *) e2e_fail "closing message lacks '$expected': $message" ;;
    esac
done
e2e_dismiss
drv gone "$DISABLED_CAPTION" 10000 >/dev/null || e2e_fail "the Disabled items window should close"
expect_typed "MSConfig's record" "$(e2e_run_key HKLM)" NeroCheck REG_SZ 'C:\WINDOWS\system32\NeroCheck.exe'
expect_gone "named after the key" "$(e2e_run_key HKLM)" NeroCheck.exe
e2e_expect_no_record NeroCheck
expect_record Broken
expect_gone "malformed" "$(e2e_run_key HKCU)" Broken
expect_gone "malformed" "$(e2e_run_key HKLM)" Broken
expect_record ctfmon
expect_typed "conflict" "$(e2e_run_key HKCU)" ctfmon REG_SZ 'C:\new\ctfmon.exe'
drv close "$MAIN_CAPTION" >/dev/null
e2e_wait_exit

restore_version
trap e2e_cleanup EXIT
e2e_done
