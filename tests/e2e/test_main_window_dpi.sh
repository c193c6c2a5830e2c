#!/usr/bin/env bash
# The main window on a 144 dpi screen: every size in twips becomes half as many pixels again as at
# 96 dpi, window and controls alike, and the window still keeps its size; rows 88.5 pixels apart
# are all drawn alike.
source "$(dirname "$0")/lib.sh" "$1"

desktop='HKCU\Control Panel\Desktop'
restore_dpi() { wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1; }
trap 'restore_dpi; e2e_cleanup' EXIT
e2e_reg add "$desktop" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null || e2e_fail "cannot set the DPI"

e2e_reset_registry
e2e_seed HKCU jusched 'C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe'
e2e_seed HKCU ctfmon 'C:\WINDOWS\system32\ctfmon.exe'
e2e_seed HKLM qttask '"C:\Program Files\QuickTime\qttask.exe" -atboottime'
e2e_start

# 9735 x 5970 twips at 144 dpi.
read -r _ _ width height _ <<<"$(drv rect "$MAIN_CAPTION")"
[ "$width x $height" = "974 x 597" ] || e2e_fail "outer size $width x $height, expected 974 x 597"
drv resize "$MAIN_CAPTION" 640 400
read -r _ _ width height _ <<<"$(drv rect "$MAIN_CAPTION")"
[ "$width x $height" = "974 x 597" ] || e2e_fail "after a resize the size is $width x $height"

controls=$(e2e_controls)
size_of() { e2e_field "$(e2e_control "$1" "$controls")" 6 | awk '{ print $3 " x " $4 }'; }
# 1935 x 375 twips and 1455 x 375 twips; the header's fixed box 9255 x 495 twips.
[ "$(size_of Continue)" = "194 x 38" ] || e2e_fail "Continue is $(size_of Continue), expected 194 x 38"
[ "$(size_of Donate)" = "146 x 38" ] || e2e_fail "Donate is $(size_of Donate), expected 146 x 38"
header=$(printf '%s\n' "$controls" | awk -F'\t' 'index($7, "Runsweep is a lightweight program") == 1 { print $6 }')
[ "$(printf '%s\n' "$header" | awk '{ print $3 " x " $4 }')" = "926 x 50" ] || e2e_fail "the header's box is $header"
# Positions relative to each other: About stands 1560 twips right of Donate.
donate_x=$(e2e_field "$(e2e_control Donate "$controls")" 6 | cut -d' ' -f1)
about_x=$(e2e_field "$(e2e_control About "$controls")" 6 | cut -d' ' -f1)
[ $((about_x - donate_x)) = 156 ] || e2e_fail "About stands $((about_x - donate_x)) pixels right of Donate, expected 156"

# Rows stand 88.5 pixels apart; each is drawn alike all the same: every box is as tall as in the
# first row and stands as far below its row's name.
boxes=$(printf '%s\n' "$controls" | awk -F'\t' '$1 == "text" && ($2 - 1) % 5 == 0 { split($6, r, " "); top = r[2] }
    $1 == "checkbox" { split($6, r, " "); print r[2] - top " " r[4] }' | sort -u)
[ "$(printf '%s\n' "$boxes" | wc -l)" = 1 ] || e2e_fail "boxes differ from row to row (offset height): $(printf '%s|' $boxes)"
[ "$(printf '%s\n' "$controls" | awk -F'\t' '$1 == "checkbox"' | wc -l)" = 9 ] || e2e_fail "not every box of three rows is listed"
[ -n "${RUNSWEEP_SCREENSHOTS:-}" ] && e2e_screenshot_window "$RUNSWEEP_SCREENSHOTS/main-window-144dpi.png"

drv syscommand "$MAIN_CAPTION" close
e2e_wait_exit
e2e_done
