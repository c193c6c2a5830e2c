#!/usr/bin/env bash
# The main window as the user meets it: nothing found (the panel over the list, "Continue"
# disabled), and entries found (rows in catalogue order, panel hidden); its size (the first start's
# is the smallest; larger, the list takes the room; kept for the next start, maximized or not), a
# long name with its tool tip, minimize and restore (the focus kept), tab order through real key
# presses, and closing it without "Continue" (the program ends, nothing changes). The run command
# refuses an argument it does not know before it builds or starts anything.
# RUNSWEEP_SCREENSHOTS=folder keeps a screenshot of each state there.
source "$(dirname "$0")/lib.sh" "$1"

shots=${RUNSWEEP_SCREENSHOTS:-}

# --- The run command's arguments -----------------------------------------------------------------
# Stand-ins for everything that installs, builds or starts: each leaves a mark if it is run.
shims=$(e2e_temp_dir)
for tool in wine wine64 wineserver wineboot cmake apt-get sudo dpkg Xvfb xdotool; do
    printf '#!/bin/sh\ntouch "%s/ran-%s"\nexit 1\n' "$shims" "$tool" >"$shims/$tool"
    chmod +x "$shims/$tool"
done
run_sh="$(dirname "$0")/../../scripts/run.sh"
for case in "--bogus|2|" "--help|0|usage:" "-h|0|usage:" "--demo --bogus|2|"; do
    IFS='|' read -r args want_status want_out <<<"$case"
    started=$(date +%s%N)
    status=0
    # shellcheck disable=SC2086
    PATH="$shims:$PATH" timeout 20 bash "$run_sh" $args >"$shims/out" 2>"$shims/err" || status=$?
    took=$((($(date +%s%N) - started) / 1000000))
    [ "$status" = "$want_status" ] || e2e_fail "run.sh $args exited $status, expected $want_status"
    [ "$took" -lt 2000 ] || e2e_fail "run.sh $args took $took ms"
    if [ -n "$want_out" ]; then
        grep -q "$want_out" "$shims/out" || e2e_fail "run.sh $args printed no usage"
    else
        [ ! -s "$shims/out" ] || e2e_fail "run.sh $args wrote to stdout: $(head -c 200 "$shims/out")"
        grep -q "usage:" "$shims/err" || e2e_fail "run.sh $args gave no usage on stderr"
    fi
    marks=$(cd "$shims" && ls ran-* 2>/dev/null | tr '\n' ' ')
    [ -z "$marks" ] || e2e_fail "run.sh $args ran what it must not: $marks"
done

# --- Nothing found -----------------------------------------------------------------------------
e2e_reset_registry
e2e_start
e2e_expect_no_message # no warning about the system: Wine is of the NT family
controls=$(e2e_controls)

panel=$(printf '%s\n' "$controls" | awk -F'\t' '$1 == "Runsweep.Panel" { print; exit }')
[ "$(e2e_field "$panel" 3)" = visible ] || e2e_fail "the nothing-found panel should be visible: $panel"
for text in "No unnecessary startups found!" "If you would like to submit an unnecessary startup, please," \
    "let us know" "For a list of startups detected by Runsweep," "click here"; do
    line=$(e2e_control "$text" "$controls")
    [ -n "$line" ] || e2e_fail "the panel lacks '$text'"
    [ "$(e2e_field "$line" 3)" = visible ] || e2e_fail "'$text' should be visible"
done
[ "$(e2e_field "$(e2e_control Continue "$controls")" 4)" = disabled ] || e2e_fail "Continue should be disabled"
for text in Donate About "Re-enable disabled items"; do
    [ "$(e2e_field "$(e2e_control "$text" "$controls")" 4)" = enabled ] || e2e_fail "$text should be enabled"
done
if printf '%s\n' "$controls" | awk -F'\t' '$7 == "Disable" && $3 == "visible"' | grep -q .; then
    e2e_fail "the empty list shows a row"
fi
[ -n "$shots" ] && e2e_screenshot_window "$shots/main-window-empty.png"

# Tab order with nothing found: the links, the panel's among them, are reached; the disabled
# "Continue" is not. Real key presses.
focus_text() { drv focus "$MAIN_CAPTION" | cut -f2; }
order=""
for _ in 1 2 3 4 5 6; do
    xdotool key --clearmodifiers Tab
    sleep 0.2
    order="$order$(focus_text) > "
    [ "$(focus_text)" = "let us know" ] && [ -n "$shots" ] && e2e_screenshot_window "$shots/main-window-empty-link-focus.png"
done
[ "$order" = "Donate > About > Re-enable disabled items > let us know > click here > Startup entries > " ] ||
    e2e_fail "tab order with nothing found: $order"

# The first start is as it always was: 9735 x 5970 twips, 649 x 398 pixels at 96 dpi, and that is
# the smallest the window becomes.
read -r _ _ width height _ <<<"$(drv rect "$MAIN_CAPTION")"
[ "$width x $height" = "649 x 398" ] || e2e_fail "outer size $width x $height, expected 649 x 398"
drv resize "$MAIN_CAPTION" 500 300
read -r _ _ width height _ <<<"$(drv rect "$MAIN_CAPTION")"
[ "$width x $height" = "649 x 398" ] || e2e_fail "after a resize to 500 x 300 the size is $width x $height"
# A real drag of the bottom-right corner of the frame makes it larger; the panel stays centred over
# the list.
read -r left top width height _ <<<"$(drv rect "$MAIN_CAPTION")"
xdotool mousemove --sync $((left + width - 2)) $((top + height - 2)) mousedown 1 \
    mousemove --sync $((left + width + 150)) $((top + height + 120)) mouseup 1
sleep 0.3
read -r _ _ width height _ <<<"$(drv rect "$MAIN_CAPTION")"
# The pointer held the frame 2 pixels inside its corner, so the corner ends 2 pixels beyond it.
[ "$width x $height" = "801 x 520" ] || e2e_fail "after dragging the frame by 152 x 122 the size is $width x $height"
centre_x() { awk -F'\t' -v cls="$1" '$1 == cls { split($6, r, " "); print r[1] + int(r[3] / 2); exit }'; }
controls=$(e2e_controls)
panel_x=$(printf '%s\n' "$controls" | centre_x Runsweep.Panel)
list_x=$(printf '%s\n' "$controls" | centre_x Runsweep.ctlListbox)
[ $((panel_x - list_x)) -le 1 ] && [ $((list_x - panel_x)) -le 1 ] ||
    e2e_fail "the panel's centre $panel_x should stay over the list's $list_x"

drv syscommand "$MAIN_CAPTION" minimize
sleep 0.5
[ "$(drv state "$MAIN_CAPTION")" = minimized ] || e2e_fail "the window did not minimize"
drv syscommand "$MAIN_CAPTION" restore
sleep 0.5
[ "$(drv state "$MAIN_CAPTION")" = normal ] || e2e_fail "the window did not restore"
read -r _ _ width height _ <<<"$(drv rect "$MAIN_CAPTION")"
[ "$width x $height" = "801 x 520" ] || e2e_fail "restored at $width x $height"

drv syscommand "$MAIN_CAPTION" close
e2e_expect_no_message
e2e_wait_exit

# --- Entries found -----------------------------------------------------------------------------
e2e_reset_registry
EDGE='MicrosoftEdgeAutoLaunch_0123456789ABCDEF0123456789ABCDEF'
e2e_seed HKLM qttask '"C:\Program Files\QuickTime\qttask.exe" -atboottime'
e2e_seed HKCU ctfmon 'C:\WINDOWS\system32\ctfmon.exe'
e2e_seed HKCU jusched 'C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe'
e2e_seed HKCU 'Not in the catalogue' 'C:\somewhere\else.exe'
e2e_seed HKCU "$EDGE" '"C:\Program Files (x86)\Microsoft\Edge\Application\msedge.exe" --no-startup-window'
e2e_start
e2e_expect_no_message
controls=$(e2e_controls)
panel=$(printf '%s\n' "$controls" | awk -F'\t' '$1 == "Runsweep.Panel" { print; exit }')
# Made only when nothing is found: absent or hidden both mean it is not shown.
[ -z "$panel" ] || [ "$(e2e_field "$panel" 3)" = hidden ] || e2e_fail "the nothing-found panel should not show when rows exist"
[ "$(e2e_field "$(e2e_control Continue "$controls")" 4)" = enabled ] || e2e_fail "Continue should be enabled"
# Rows in catalogue order (ctfmon, jusched, qttask), each with Disable checked.
names=$(printf '%s\n' "$controls" | awk -F'\t' '$7 == "ctfmon" || $7 == "jusched" || $7 == "qttask" { print $7 }' |
    tr '\n' ' ')
[ "$names" = "ctfmon jusched qttask " ] || e2e_fail "rows '$names', expected 'ctfmon jusched qttask '"
e2e_lines "$controls" | grep -q $'\tNot in the catalogue$' && e2e_fail "a value outside the catalogue was listed"
checked=$(printf '%s\n' "$controls" | awk -F'\t' '$7 == "Disable" && $5 == "checked"' | wc -l)
[ "$checked" = 4 ] || e2e_fail "$checked rows have Disable checked, expected 4"
# The list's name, as a screen reader announces it (the standard accessible object reads the window text).
list_name=$(printf '%s\n' "$controls" | awk -F'\t' '$1 == "Runsweep.ctlListbox" { print $7 }')
[ "$list_name" = "Startup entries" ] || e2e_fail "the startup list is named '$list_name'"
[ -n "$shots" ] && e2e_screenshot_window "$shots/main-window.png"

# The long name ends with an ellipsis before the boxes, and is whole for screen readers and
# drivers, and in the tool tip the pointer brings up.
[ -n "$(e2e_control "$EDGE" "$controls")" ] || e2e_fail "the long name is not whole among the list's items"
at=$(drv center "$MAIN_CAPTION" "$EDGE") || e2e_fail "cannot find the long name"
# shellcheck disable=SC2086
xdotool mousemove --sync $at
tip=$(drv tooltip 5000) || e2e_fail "no tool tip over the long name"
[ "$tip" = "$EDGE" ] || e2e_fail "the tool tip says '$tip', expected the whole name"
[ -n "$shots" ] && sleep 0.3 && e2e_screenshot_window "$shots/long-name-tooltip.png"
xdotool mousemove 0 0

# Made larger, the list takes the room and the buttons stay at the bottom; the texts above keep
# their places. A restart brings the window back at that size and place, and maximized when it was
# closed maximized.
list_height() { e2e_controls | awk -F'\t' '$1 == "Runsweep.ctlListbox" { split($6, r, " "); print r[4]; exit }'; }
bottom_gap() { # text: pixels from the control's bottom to the window's
    local line
    line=$(e2e_control "$1")
    read -r _ wtop _ wheight _ <<<"$(drv rect "$MAIN_CAPTION")"
    awk -v r="$(e2e_field "$line" 6)" -v b=$((wtop + wheight)) 'BEGIN { split(r, a, " "); print b - (a[2] + a[4]) }'
}
place_of() { e2e_field "$(e2e_control "$1")" 6; }
small_list=$(list_height)
gap_before=$(bottom_gap Continue)
header_before=$(place_of "Re-enable disabled items")
read -r x0 y0 _ <<<"$(drv rect "$MAIN_CAPTION")"
drv resize "$MAIN_CAPTION" 1000 760 12 4
sleep 0.5
read -r x y width height _ <<<"$(drv rect "$MAIN_CAPTION")"
[ "$x $y $width x $height" = "12 4 1000 x 760" ] || e2e_fail "asked for 1000 x 760 at 12,4, got $width x $height at $x,$y"
large_list=$(list_height)
[ $((large_list - small_list)) -ge 150 ] || e2e_fail "the list grew from $small_list to $large_list pixels only"
for button in Donate About Continue; do
    [ "$(bottom_gap "$button")" = "$gap_before" ] || e2e_fail "$button is $(bottom_gap "$button") pixels above the bottom, was $gap_before"
done
link_now=$(place_of "Re-enable disabled items")
[ "$(( $(echo "$link_now" | cut -d' ' -f1) - x ))" = "$(( $(echo "$header_before" | cut -d' ' -f1) - x0 ))" ] ||
    e2e_fail "the link moved within the window: '$header_before' then '$link_now'"
echo "[$E2E_NAME] the list: $small_list pixels high at 649 x 398, $large_list at 1000 x 760"
[ -n "$shots" ] && sleep 0.3 && e2e_screenshot_window "$shots/main-window-large.png"
drv syscommand "$MAIN_CAPTION" close
e2e_wait_exit
e2e_start
read -r x y width height _ <<<"$(drv rect "$MAIN_CAPTION")"
[ "$x $y $width x $height" = "12 4 1000 x 760" ] || e2e_fail "restarted at $width x $height at $x,$y, expected 1000 x 760 at 12,4"
[ "$(list_height)" = "$large_list" ] || e2e_fail "restarted with a list $(list_height) pixels high, not $large_list"
drv syscommand "$MAIN_CAPTION" maximize
sleep 0.5
[ "$(drv state "$MAIN_CAPTION")" = maximized ] || e2e_fail "the window did not maximize"
drv syscommand "$MAIN_CAPTION" close
e2e_wait_exit
e2e_start
[ "$(drv state "$MAIN_CAPTION")" = maximized ] || e2e_fail "closed maximized, the window came back $(drv state "$MAIN_CAPTION")"
drv syscommand "$MAIN_CAPTION" restore
sleep 0.5
read -r x y width height _ <<<"$(drv rect "$MAIN_CAPTION")"
[ "$x $y $width x $height" = "12 4 1000 x 760" ] || e2e_fail "restored to $width x $height at $x,$y, expected 1000 x 760 at 12,4"
controls=$(e2e_controls)

# Tab order: the list, Donate, About, Continue, the MSConfig link and round again; real key presses.
order=""
for _ in 1 2 3 4 5; do
    xdotool key --clearmodifiers Tab
    sleep 0.2
    order="$order$(focus_text) > "
done
[ "$order" = "Donate > About > Continue > Re-enable disabled items > Disable > " ] || e2e_fail "tab order: $order"

# The focus comes back to the list after minimize and restore, also once the About window has been
# open and handed the focus back to "About".
e2e_click About
drv wait "About Quorvane' Runsweep" 10000 >/dev/null || e2e_fail "the About window did not appear"
xdotool key --clearmodifiers Escape
drv gone "About Quorvane' Runsweep" 10000 >/dev/null || e2e_fail "the About window did not close"
sleep 0.3
e2e_xclick ctfmon
sleep 0.2
[ "$(focus_text)" = Disable ] || e2e_fail "a click on a row left the focus on '$(focus_text)'"
drv syscommand "$MAIN_CAPTION" minimize
sleep 0.5
drv syscommand "$MAIN_CAPTION" restore
sleep 0.5
[ "$(focus_text)" = Disable ] || e2e_fail "after minimize and restore the focus is on '$(focus_text)'"

# Choices made, then the close box: nothing is carried out, no message, the program ends.
e2e_click Remove 0
e2e_click "No action" 1
# The highlight goes with the focus to the row whose box was clicked.
sleep 0.3
selected=$(e2e_controls | awk -F'\t' '$1 == "text" && $5 == "selected" { print $7; exit }')
[ "$selected" = jusched ] || e2e_fail "a click on a box of jusched's row left the highlight on '$selected'"
[ "$(focus_text)" = "No action" ] || e2e_fail "a click on No action left the focus on '$(focus_text)'"
drv syscommand "$MAIN_CAPTION" close
e2e_expect_no_message
e2e_wait_exit
e2e_expect_present HKLM qttask
e2e_expect_present HKCU ctfmon
e2e_expect_present HKCU jusched
e2e_expect_no_record qttask

e2e_done
