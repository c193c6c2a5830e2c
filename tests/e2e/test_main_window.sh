#!/usr/bin/env bash
# The main window as the user meets it: nothing found (the panel over the list, "Continue" disabled), and
# entries found (rows in catalogue order, panel hidden); its fixed size, minimize and restore (the
# focus kept), tab order through real key presses, and closing it without "Continue" (the program
# ends, nothing changes). RUNSWEEP_SCREENSHOTS=folder keeps a screenshot of each state there.
source "$(dirname "$0")/lib.sh" "$1"

shots=${RUNSWEEP_SCREENSHOTS:-}

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

# The window keeps its size: 9735 x 5970 twips, 649 x 398 pixels at 96 dpi.
read -r _ _ width height _ <<<"$(drv rect "$MAIN_CAPTION")"
[ "$width x $height" = "649 x 398" ] || e2e_fail "outer size $width x $height, expected 649 x 398"
drv resize "$MAIN_CAPTION" 900 600
read -r _ _ width height _ <<<"$(drv rect "$MAIN_CAPTION")"
[ "$width x $height" = "649 x 398" ] || e2e_fail "after a resize to 900 x 600 the size is $width x $height"
# A real drag of the bottom-right corner of the frame.
read -r left top width height _ <<<"$(drv rect "$MAIN_CAPTION")"
xdotool mousemove --sync $((left + width - 2)) $((top + height - 2)) mousedown 1 \
    mousemove --sync $((left + width + 150)) $((top + height + 120)) mouseup 1
sleep 0.3
read -r _ _ width height _ <<<"$(drv rect "$MAIN_CAPTION")"
[ "$width x $height" = "649 x 398" ] || e2e_fail "after dragging the frame the size is $width x $height"

drv syscommand "$MAIN_CAPTION" minimize
sleep 0.5
[ "$(drv state "$MAIN_CAPTION")" = minimized ] || e2e_fail "the window did not minimize"
drv syscommand "$MAIN_CAPTION" restore
sleep 0.5
[ "$(drv state "$MAIN_CAPTION")" = normal ] || e2e_fail "the window did not restore"
read -r _ _ width height _ <<<"$(drv rect "$MAIN_CAPTION")"
[ "$width x $height" = "649 x 398" ] || e2e_fail "restored at $width x $height"

drv syscommand "$MAIN_CAPTION" close
e2e_expect_no_message
e2e_wait_exit

# --- Entries found -----------------------------------------------------------------------------
e2e_reset_registry
e2e_seed HKLM qttask '"C:\Program Files\QuickTime\qttask.exe" -atboottime'
e2e_seed HKCU ctfmon 'C:\WINDOWS\system32\ctfmon.exe'
e2e_seed HKCU jusched 'C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe'
e2e_seed HKCU 'Not in the catalogue' 'C:\somewhere\else.exe'
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
printf '%s\n' "$controls" | grep -q $'\tNot in the catalogue$' && e2e_fail "a value outside the catalogue was listed"
checked=$(printf '%s\n' "$controls" | awk -F'\t' '$7 == "Disable" && $5 == "checked"' | wc -l)
[ "$checked" = 3 ] || e2e_fail "$checked rows have Disable checked, expected 3"
# The list's name, as a screen reader announces it (the standard accessible object reads the window text).
list_name=$(printf '%s\n' "$controls" | awk -F'\t' '$1 == "Runsweep.ctlListbox" { print $7 }')
[ "$list_name" = "Startup entries" ] || e2e_fail "the startup list is named '$list_name'"
[ -n "$shots" ] && e2e_screenshot_window "$shots/main-window.png"

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
drv syscommand "$MAIN_CAPTION" close
e2e_expect_no_message
e2e_wait_exit
e2e_expect_present HKLM qttask
e2e_expect_present HKCU ctfmon
e2e_expect_present HKCU jusched
e2e_expect_no_record qttask

e2e_done
