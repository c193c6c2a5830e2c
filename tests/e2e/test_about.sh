#!/usr/bin/env bash
# The About window and the external launches: "About" shows the window modally and centred every
# time, with its texts, image and tool tips; its version-history link shows the two-line message;
# "Re-enable disabled items" reports that MSConfig cannot be started (Wine has none, and Wine 8
# reports Windows 7, where MSConfig would re-enable) and opens the Disabled items window; a web link
# with no browser installed says nothing; Esc and Enter close the About window and Tab reaches its
# links; closing the main window takes the About window with it.
# RUNSWEEP_SCREENSHOTS=folder keeps a screenshot of the About window there.
source "$(dirname "$0")/lib.sh" "$1"

ABOUT_CAPTION="About Quorvane' Runsweep"
HISTORY_MESSAGE=$'1.06 (10/30/07) - Added custom list (custom.txt) feature.\n1.05 (8/24/07) - Digital signatures added.'
CORPORATE_ADDRESS="https://www.quorvane.example/corporate.php"
IMAGE="$(dirname "$0")/../../resources/about.bmp"
shots=${RUNSWEEP_SCREENSHOTS:-}

read -r screen_width screen_height <<<"$(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')"

expect_enabled() { # caption enabled|disabled what
    local state
    state=$(drv enabled "$1")
    [ "$state" = "$2" ] || e2e_fail "$3: the window '$1' is $state, expected $2"
}

# Shown, 6615 x 3255 twips of client area (441 x 217 pixels at 96 dpi), centred on the screen.
expect_about_shown() { # which press
    if ! drv wait "$ABOUT_CAPTION" 10000 >/dev/null; then
        e2e_fail "$1: the About window did not appear"
        return 1
    fi
    local left top width height client_width client_height
    read -r left top width height client_width client_height <<<"$(drv rect "$ABOUT_CAPTION")"
    [ "$client_width x $client_height" = "441 x 217" ] ||
        e2e_fail "$1: client area $client_width x $client_height, expected 441 x 217"
    local centre_x=$(((screen_width - width) / 2)) centre_y=$(((screen_height - height) / 2))
    if [ $((left - centre_x)) -lt -1 ] || [ $((left - centre_x)) -gt 1 ] ||
        [ $((top - centre_y)) -lt -1 ] || [ $((top - centre_y)) -gt 1 ]; then
        e2e_fail "$1: the About window is at $left,$top; centred it would be at $centre_x,$centre_y"
    fi
    expect_enabled "$MAIN_CAPTION" disabled "$1"
}

close_about() { # [x]: with a real click on the close box
    if [ "${1:-}" = x ]; then
        local left top width
        read -r left top width _ <<<"$(drv rect "$ABOUT_CAPTION")"
        xdotool mousemove --sync $((left + width - 14)) $((top + 12)) click 1
    else
        drv syscommand "$ABOUT_CAPTION" close
    fi
    drv gone "$ABOUT_CAPTION" 10000 >/dev/null || e2e_fail "the About window did not close"
}

# --- About, its contents and links ---------------------------------------------------------------
e2e_reset_registry
# Windows 7, where MSConfig would re-enable, whatever Wine reports by default: the program tries
# MSConfig first. Read when the program starts.
e2e_reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d win7 /f >/dev/null || e2e_fail "cannot set Wine's version"
trap 'e2e_reg delete "HKCU\\Software\\Wine" /v Version /f >/dev/null; e2e_cleanup' EXIT
e2e_start
e2e_expect_no_message
expect_enabled "$MAIN_CAPTION" enabled "before About"

# Two presses in a row: the second arrives while the About window is already shown and changes
# nothing; one close must give the main window back.
e2e_click About
e2e_click About
expect_about_shown "first press"

controls=$(drv controls "$ABOUT_CAPTION")
# Positions relative to the image at (120, 120) twips: 15 twips to the pixel.
picture=$(printf '%s\n' "$controls" | awk -F'\t' '$1 == "Static" && $7 == "" { print; exit }')
read -r pic_left pic_top pic_width pic_height <<<"$(e2e_field "$picture" 6)"
[ "$pic_width x $pic_height" = "54 x 54" ] || e2e_fail "the image is $pic_width x $pic_height, expected 54 x 54"
client_left=$((pic_left - 8))
client_top=$((pic_top - 8))
# A link's window reaches a pixel beyond its text on every side, for its focus mark.
for expected in "Runsweep|1080|120|0" "Version 1.06|1080|360|0" "Version History|1080|600|1" \
    "For a custom list, simply create custom.txt in the same folder as Runsweep. Format: Startup,Description (no space).|120|1680|0" \
    "$CORPORATE_ADDRESS|120|2880|1"; do
    IFS='|' read -r text x y margin <<<"$expected"
    line=$(e2e_control "$text" "$controls")
    if [ -z "$line" ]; then
        e2e_fail "the About window lacks '$text'"
        continue
    fi
    read -r left top _ _ <<<"$(e2e_field "$line" 6)"
    left=$((left + margin))
    top=$((top + margin))
    [ "$((left - client_left)),$((top - client_top))" = "$((x / 15)),$((y / 15))" ] ||
        e2e_fail "'$text' at $((left - client_left)),$((top - client_top)), expected $((x / 15)),$((y / 15))"
done
for y in 1080 1305; do # the credit and the thanks: one line each, of the program's own words
    line=$(printf '%s\n' "$controls" | awk -F'\t' -v top=$((client_top + y / 15)) \
        '{ split($6, r, " ") } $1 == "Static" && r[2] == top && $7 != "" { print; exit }')
    [ -n "$line" ] || e2e_fail "no label at $y twips"
done
e2e_lines "$controls" | grep -q 'Quorvane' || e2e_fail "the credit does not name Quorvane"

# The image on the screen is the program's bitmap, pixel for pixel.
shot=$(e2e_temp_dir)
import -window root -crop "54x54+$pic_left+$pic_top" +repage "$shot/picture.png" 2>>"$E2E_LOG"
differing=$(compare -metric AE "$IMAGE" "$shot/picture.png" null: 2>&1)
[ "$differing" = 0 ] || e2e_fail "the image on the screen differs from about.bmp in $differing pixels"

# Tool tips, by hovering with the real pointer.
for expected in "Version History|Version History" "$CORPORATE_ADDRESS|Corporate licensing"; do
    IFS='|' read -r text tip <<<"$expected"
    xdotool mousemove --sync 0 0
    sleep 0.3
    # shellcheck disable=SC2046
    xdotool mousemove --sync $(drv center "$ABOUT_CAPTION" "$text")
    shown=$(drv tooltip 5000 | tr -d '\r')
    [ "$shown" = "$tip" ] || e2e_fail "the tool tip of '$text' is '$shown', expected '$tip'"
done
xdotool mousemove --sync 0 0

[ -n "$shots" ] && {
    sleep 0.5
    read -r left top width height _ <<<"$(drv rect "$ABOUT_CAPTION")"
    import -window root -crop "${width}x${height}+${left}+${top}" +repage "$shots/about-window.png" 2>>"$E2E_LOG"
}

# The version history: two lines, newest first, in a box that holds the About window too.
drv click "$ABOUT_CAPTION" "Version History" >/dev/null || e2e_fail "cannot click Version History"
e2e_expect_message information "$HISTORY_MESSAGE"
expect_enabled "$ABOUT_CAPTION" disabled "while the version history is shown"
e2e_dismiss
expect_enabled "$ABOUT_CAPTION" enabled "after the version history"

# The corporate page, with no browser: nothing is said, the About window stays.
drv click "$ABOUT_CAPTION" "$CORPORATE_ADDRESS" >/dev/null || e2e_fail "cannot click the corporate link"
if drv msgbox 2000 >/dev/null; then
    e2e_fail "the corporate link showed a message: $(e2e_message_text)"
    e2e_dismiss
fi
drv wait "$ABOUT_CAPTION" 0 >/dev/null || e2e_fail "the About window went away after the corporate link"

# While it is shown, a real click on the main window's MSConfig link does nothing.
e2e_xclick "Re-enable disabled items"
if drv msgbox 2000 >/dev/null; then
    e2e_fail "the main window took a click while the About window was shown"
    e2e_dismiss
fi

close_about x
expect_enabled "$MAIN_CAPTION" enabled "after the About window closed"

# A second time: loaded again, centred again, with its texts.
e2e_click About
expect_about_shown "second press"
[ -n "$(e2e_control "Version 1.06" "$(drv controls "$ABOUT_CAPTION")")" ] ||
    e2e_fail "the About window shown again lacks its version"
close_about

# --- By keyboard, real key presses ----------------------------------------------------------------
about_focus() { drv focus "$ABOUT_CAPTION" | tr '\t' ' '; }
press() { # keys...
    xdotool key --clearmodifiers "$@"
    sleep 0.3
}
for key in Escape Return; do
    e2e_click About
    expect_about_shown "before $key"
    press "$key"
    drv gone "$ABOUT_CAPTION" 5000 >/dev/null || {
        e2e_fail "$key did not close the About window"
        close_about
    }
done
# Tab reaches both links in turn; Enter and Space follow the one with the focus, Esc still closes.
e2e_click About
expect_about_shown "keyboard"
press Tab
[ "$(about_focus)" = "Static Version History" ] || e2e_fail "the first Tab reached '$(about_focus)'"
[ -n "$shots" ] && {
    read -r left top width height _ <<<"$(drv rect "$ABOUT_CAPTION")"
    import -window root -crop "${width}x${height}+${left}+${top}" +repage "$shots/about-window-link-focus.png" 2>>"$E2E_LOG"
}
press Return
e2e_expect_message information "$HISTORY_MESSAGE"
e2e_dismiss
press Tab
[ "$(about_focus)" = "Static $CORPORATE_ADDRESS" ] || e2e_fail "the second Tab reached '$(about_focus)'"
press space
if drv msgbox 2000 >/dev/null; then
    e2e_fail "the corporate link by keyboard showed a message: $(e2e_message_text)"
    e2e_dismiss
fi
drv wait "$ABOUT_CAPTION" 0 >/dev/null || e2e_fail "Space on the corporate link closed the About window"
press Tab
[ "$(about_focus)" = "Static Version History" ] || e2e_fail "the third Tab reached '$(about_focus)'"
press Escape
drv gone "$ABOUT_CAPTION" 5000 >/dev/null || {
    e2e_fail "Esc did not close the About window after its links were used"
    close_about
}

# --- The main window's launches ------------------------------------------------------------------
e2e_click "Re-enable disabled items"
e2e_expect_message error "MSConfig failed to open properly."
e2e_dismiss
drv wait "Disabled items" 20000 >/dev/null || e2e_fail "the Disabled items window should open instead"
expect_enabled "$MAIN_CAPTION" disabled "while the Disabled items window is shown"
drv click "Disabled items" Close >/dev/null || e2e_fail "cannot close the Disabled items window"
drv gone "Disabled items" 10000 >/dev/null || e2e_fail "the Disabled items window did not close"
expect_enabled "$MAIN_CAPTION" enabled "after the Disabled items window closed"

for link in Donate "click here" "let us know"; do
    e2e_click "$link"
    if drv msgbox 2000 >/dev/null; then
        e2e_fail "'$link' showed a message with no browser: $(e2e_message_text)"
        e2e_dismiss
    fi
done

# --- Closing the main window while the About window is shown --------------------------------------
e2e_click About
expect_about_shown "third press"
drv close "$MAIN_CAPTION"
drv gone "$ABOUT_CAPTION" 10000 >/dev/null || e2e_fail "the About window outlived the main window"
e2e_expect_no_message
e2e_wait_exit

e2e_reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null
trap e2e_cleanup EXIT
e2e_done
