#!/usr/bin/env bash
# Forty entries found: more than the list shows at once. All forty become rows in catalogue order
# (seen by paging through the list with the keyboard); dragging the scroll bar's thumb to the
# bottom shows the last row; choices made with real clicks on rows below the first screen are
# carried out by "Continue", and nothing else is. RUNSWEEP_SCREENSHOTS=folder keeps screenshots.
source "$(dirname "$0")/lib.sh" "$1"

shots=${RUNSWEEP_SCREENSHOTS:-}

# The first forty names of the built-in catalogue, in its order.
names=(
    "SoundMan" "TkBellExe" "SunJavaUpdateSched" "Microsoft Works Update Detection" "QuickTime Task"
    "SigmatelSysTrayApp" "IgfxTray" "HotKeysCmds" "Persistence" "RoxioDragToDisc"
    "RoxWatchTray" "Motive SmartBridge" "MSMSGS" "UpdReg" "KernelFaultCheck"
    "diagent" "Reminder" "MsnMsgr" "Microsoft Office" "CTFMON.EXE"
    "ctfmon" "dumprep 0 -k" "dumprep 0 -u" "UserFaultCheck" "Adobe Reader Speed Launch"
    "Cmaudio" "Logitech Desktop Messenger" "LDM" "LogitechSoftwareUpdate" "HP Component Manager"
    "HP Software Update" "LSBWatcher" "updateMgr" "ISUSPM Startup" "ISUSScheduler"
    "jusched" "Adobe Gamma Loader" "Adobe Reader Speed Lauch" "qttask" "nwiz"
)
command='C:\x.exe'

e2e_reset_registry
for name in "${names[@]}"; do
    e2e_seed HKCU "$name" "$command"
done

# The value names the list shows now, top to bottom. The driver lists the rows in view as items
# after the list window: per row five of them with child ids 5 * row + 1 .. 5 * row + 5, the value
# name first, then the description and the three boxes.
names_in_view() { # controls-output
    printf '%s\n' "$1" | awk -F'\t' '$1 == "text" && ($2 - 1) % 5 == 0 && $3 == "visible" {
        split($6, r, " "); print r[2] "\t" $7 }' | sort -n | cut -f2
}

# "x y" of the centre of a box in the row that shows this name.
box_centre() { # controls-output name box-text
    printf '%s\n' "$1" | awk -F'\t' -v name="$2" -v box="$3" '
        $1 == "text" && ($2 - 1) % 5 == 0 && $7 == name { row = int(($2 - 1) / 5) }
        $1 == "checkbox" { split($6, r, " "); at[int(($2 - 1) / 5) "/" $7] = (r[1] + int(r[3] / 2)) " " (r[2] + int(r[4] / 2)) }
        END { if (row != "" && ((row "/" box) in at)) print at[row "/" box]; else exit 1 }'
}

# The check states "Disable Remove No action" of the row that shows this name, e.g. "0 1 0".
row_states() { # controls-output name
    printf '%s\n' "$1" | awk -F'\t' -v name="$2" '
        $1 == "text" && ($2 - 1) % 5 == 0 && $7 == name { row = int(($2 - 1) / 5) }
        $1 == "checkbox" { state[$2] = ($5 == "checked") ? 1 : 0 }
        END { if (row == "") exit 1; b = 5 * row + 1; print state[b + 2] " " state[b + 3] " " state[b + 4] }'
}

# Clicks a box with a real pointer button (1 left, 3 right) and checks the row's boxes after it.
choose() { # name box-text button expected-states
    local controls at
    controls=$(e2e_controls)
    if ! at=$(box_centre "$controls" "$1" "$2"); then
        e2e_fail "row '$1' with its '$2' box is not in view"
        return 1
    fi
    # shellcheck disable=SC2086
    xdotool mousemove --sync $at click "$3"
    sleep 0.3
    local states
    states=$(row_states "$(e2e_controls)" "$1")
    [ "$states" = "$4" ] || e2e_fail "row '$1' after a click on '$2': boxes $states, expected $4"
}

e2e_start
controls=$(e2e_controls)
first_screen=$(names_in_view "$controls")
[ "$(printf '%s\n' "$first_screen" | head -n 1)" = "${names[0]}" ] || e2e_fail "the list does not start with ${names[0]}"
if e2e_lines "$first_screen" | grep -qxF "${names[39]}"; then
    e2e_fail "the last row is in view before any scrolling"
fi
[ "$(printf '%s\n' "$first_screen" | wc -l)" -le 6 ] || e2e_fail "more rows are reported than fit in view"
[ -n "$shots" ] && e2e_screenshot_window "$shots/list-app-top.png"

# Drag the scroll bar's thumb to the bottom with the real pointer.
bar=$(printf '%s\n' "$controls" | awk -F'\t' 'tolower($1) == "scrollbar" && $2 == 101 { print $6; exit }')
read -r bar_x bar_y bar_w bar_h <<<"$bar"
if [ -z "${bar_h:-}" ]; then
    e2e_fail "the list has no scroll bar"
else
    [ "$(e2e_field "$(printf '%s\n' "$controls" | awk -F'\t' 'tolower($1) == "scrollbar" && $2 == 101')" 4)" = enabled ] ||
        e2e_fail "the scroll bar should be enabled with 40 rows"
    x=$((bar_x + bar_w / 2))
    # Just below the up arrow, where the thumb stands at the top of the range.
    xdotool mousemove --sync "$x" $((bar_y + bar_w + 4)) mousedown 1
    sleep 0.2
    # Ends just above the down arrow: a pointer that strays far from the bar makes the thumb jump
    # back to where the drag began, as the system's scroll bars do.
    for y in $((bar_y + bar_h / 3)) $((bar_y + 2 * bar_h / 3)) $((bar_y + bar_h - bar_w - 2)); do
        xdotool mousemove --sync "$x" "$y"
        sleep 0.2
    done
    sleep 0.3
    # While the thumb is held the rows have followed it already.
    held=$(names_in_view "$(e2e_controls)")
    xdotool mouseup 1
    sleep 0.3
    e2e_lines "$held" | grep -qxF "${names[39]}" || e2e_fail "dragging the thumb down did not move the rows"
    end_view=$(names_in_view "$(e2e_controls)")
    [ "$(printf '%s\n' "$end_view" | tail -n 1)" = "${names[39]}" ] ||
        e2e_fail "at the end of the list the last row shown is '$(printf '%s\n' "$end_view" | tail -n 1)'"
    [ -n "$shots" ] && e2e_screenshot_window "$shots/list-app-end.png"
fi

# Every row, in catalogue order: from the top, a screenful at a time with the keyboard.
e2e_xclick "${names[39]}" # selects the row and puts the focus into the list
xdotool key Home
sleep 0.3
seen=()
declare -A shown=()
for _ in $(seq 1 20); do
    while IFS= read -r name; do
        if [ -n "$name" ] && [ -z "${shown[$name]:-}" ]; then
            shown[$name]=1
            seen+=("$name")
        fi
    done <<<"$(names_in_view "$(e2e_controls)")"
    [ "${seen[${#seen[@]} - 1]:-}" = "${names[39]}" ] && break
    xdotool key Next
    sleep 0.2
done
[ "${#seen[@]}" -eq 40 ] || e2e_fail "paging through the list showed ${#seen[@]} rows, expected 40"
[ "$(printf '%s|' "${seen[@]}")" = "$(printf '%s|' "${names[@]}")" ] ||
    e2e_fail "rows out of catalogue order: $(printf '%s|' "${seen[@]}")"

# The wheel scrolls without moving the keyboard focus: it stays on the first row's "Remove", out of
# sight, and Space chooses there, with the row brought back into view first. Real wheel notches.
xdotool key Home Right
sleep 0.3
# shellcheck disable=SC2046
xdotool mousemove --sync $(drv center "$MAIN_CAPTION" "${names[1]}") click 5 click 5
sleep 0.3
focused=$(drv focus "$MAIN_CAPTION")
case $focused in
checkbox*) e2e_fail "after two wheel notches the focus mark is on a row in view: $focused" ;;
esac
printf '%s\n' "$(names_in_view "$(e2e_controls)")" | grep -qxF "${names[0]}" &&
    e2e_fail "two wheel notches left the first row in view"
xdotool key space
sleep 0.3
controls=$(e2e_controls)
[ "$(row_states "$controls" "${names[0]}")" = "0 1 0" ] ||
    e2e_fail "Space after the wheel: '${names[0]}' is $(row_states "$controls" "${names[0]}"), expected 0 1 0"
[ "$(row_states "$controls" "${names[2]}")" = "1 0 0" ] ||
    e2e_fail "Space after the wheel changed '${names[2]}', a row the focus never reached"
[ "$(drv focus "$MAIN_CAPTION" | cut -f2)" = Remove ] || e2e_fail "the focus came back as '$(drv focus "$MAIN_CAPTION")'"
xdotool key Left space # back to "Disable", which the checks at the end expect
sleep 0.3
[ "$(row_states "$(e2e_controls)" "${names[0]}")" = "1 0 0" ] || e2e_fail "'${names[0]}' did not go back to Disable"

# Choices below the first screen: at the end of the list, and in its middle.
xdotool key End
sleep 0.3
choose "Adobe Gamma Loader" "No action" 1 "0 0 1"
choose "qttask" "Remove" 1 "0 1 0"
choose "nwiz" "No action" 3 "0 0 1" # the right button chooses too
choose "nwiz" "No action" 1 "0 0 1" # a click on the checked box leaves it checked
xdotool key Home Next Next Next Next Next # the selection moves to row 20, "ctfmon"
sleep 0.3
choose "CTFMON.EXE" "Remove" 1 "0 1 0"
choose "ctfmon" "No action" 1 "0 0 1"
[ -n "$shots" ] && e2e_screenshot_window "$shots/list-app-middle.png"
# Scrolling away and back keeps the choices.
xdotool key End
sleep 0.3
[ "$(row_states "$(e2e_controls)" qttask)" = "0 1 0" ] || e2e_fail "qttask lost its choice while out of view"

e2e_xclick Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit

# What is left in the Run key: exactly the rows marked "No action".
left=$(e2e_reg query "$(e2e_run_key HKCU)" | awk '
    /^    / { line = substr($0, 5); i = index(line, "    REG_"); if (i > 1) print substr(line, 1, i - 1) }' | sort)
expected_left=$(printf '%s\n' "Adobe Gamma Loader" "ctfmon" "nwiz" | sort)
[ "$left" = "$expected_left" ] || e2e_fail "Run key holds: $(printf '%s|' $left), expected the three left alone"
# Records: every row marked "Disable", and none of the removed or kept ones.
records=$(e2e_reg query "$RECORDS_KEY" | awk -F'\\' '/startupreg\\/ { print $NF }' | sort)
expected_records=$(for name in "${names[@]}"; do
    case $name in
    "Adobe Gamma Loader" | ctfmon | nwiz | qttask | CTFMON.EXE) ;;
    *) printf '%s\n' "$name" ;;
    esac
done | sort)
[ "$records" = "$expected_records" ] ||
    e2e_fail "records: $(printf '%s\n' "$records" | wc -l) keys, not the 35 disabled rows"
e2e_expect_record "dumprep 0 -u" "$command" HKCU
e2e_expect_record "${names[0]}" "$command" HKCU

e2e_done
