#!/usr/bin/env bash
# Every text of the windows against its background as the screen shows it, in the prefix's own
# colours and in High Contrast Black (set in HKCU\Control Panel\Colors, where the control panel keeps
# the scheme): the main window with rows, a selection and a box held down, the nothing-found panel,
# the Disabled items window with rows and empty, and the About window. No text of a control that
# takes input may fall below 3:1; disabled buttons, drawn by the system, are reported only. The
# figures (ratio, background, text colour, state, class, text) go to the log, or to the file
# RUNSWEEP_CONTRAST names;
# RUNSWEEP_SCREENSHOTS=folder keeps a screenshot of each window in each scheme there.
source "$(dirname "$0")/lib.sh" "$1"

shots=${RUNSWEEP_SCREENSHOTS:-}
report=${RUNSWEEP_CONTRAST:-$E2E_LOG}
[ "$report" = "$E2E_LOG" ] || : >"$report"
DISABLED_CAPTION="Disabled items"
ABOUT_CAPTION="About Quorvane' Runsweep"
COLOURS='HKCU\Control Panel\Colors'
# What SetSysColors leaves for the rest of the session; it would stand over the registry's scheme.
SESSION_COLOURS='HKCU\Software\Wine\Temporary System Parameters\Control Panel\Colors'
HIGH_CONTRAST_BLACK=("Window=0 0 0" "WindowText=255 255 255" "ButtonFace=0 0 0" "ButtonText=255 255 255"
    "Hilight=26 235 255" "HilightText=0 0 0" "HotTrackingColor=255 255 0")

saved=()
for setting in "${HIGH_CONTRAST_BLACK[@]}"; do
    name=${setting%%=*}
    value=$(e2e_reg_value "$COLOURS" "$name") || e2e_fail "cannot read the colour $name"
    saved+=("$name=$value")
done
restore() {
    local setting
    for setting in "${saved[@]}"; do
        e2e_reg add "$COLOURS" /v "${setting%%=*}" /t REG_SZ /d "${setting#*=}" /f >/dev/null
    done
    e2e_reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null
}
trap 'restore; e2e_cleanup' EXIT
# Windows 10: the link opens the Disabled items window at once.
e2e_reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d win10 /f >/dev/null || e2e_fail "cannot set Wine's version"

use_scheme() { # setting...
    local setting
    e2e_reg delete "$SESSION_COLOURS" /f >/dev/null 2>&1
    for setting in "$@"; do
        e2e_reg add "$COLOURS" /v "${setting%%=*}" /t REG_SZ /d "${setting#*=}" /f >/dev/null ||
            e2e_fail "cannot set the colour ${setting%%=*}"
    done
}

# Measures every text of a window; a control that takes input below 3:1 fails the test.
measure() { # scheme caption what
    local figures
    if ! figures=$(drv contrast "$2"); then
        e2e_fail "$1, $3: cannot measure"
        return
    fi
    printf '%s\n' "$figures" | sed "s/^/$1\t$3\t/" >>"$report"
    printf '%s\n' "$figures" | awk -F'\t' -v where="$1, $3" '
        $4 == "enabled" && $1 + 0 < 3 { printf "%s: \"%s\" is %s:1 (%s on %s)\n", where, $6, $1, $3, $2 }' |
        while IFS= read -r low; do e2e_fail "$low"; done
}

shot() { # caption file
    [ -n "$shots" ] || return 0
    local left top width height
    read -r left top width height _ <<<"$(drv rect "$1")"
    import -window root -crop "${width}x${height}+${left}+${top}" +repage "$shots/$2" 2>>"$E2E_LOG" ||
        e2e_fail "cannot take a screenshot"
}

run_scheme() { # scheme-name file-suffix
    local scheme=$1 suffix=$2 at
    e2e_reset_registry
    e2e_seed HKLM qttask '"C:\Program Files\QuickTime\qttask.exe" -atboottime'
    e2e_seed HKCU ctfmon 'C:\WINDOWS\system32\ctfmon.exe'
    e2e_seed HKCU jusched 'C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe'
    e2e_start || return
    # A selection on the second row, as a click on its description makes it.
    drv click "$MAIN_CAPTION" jusched >/dev/null || e2e_fail "cannot select jusched"
    sleep 0.3
    measure "$scheme" "$MAIN_CAPTION" "main window, rows and a selection"
    shot "$MAIN_CAPTION" "colours-$suffix-main.png"

    # Held down on the first row's "Remove", then let go elsewhere: nothing is chosen.
    if at=$(drv center "$MAIN_CAPTION" Remove 0); then
        # shellcheck disable=SC2086
        xdotool mousemove --sync $at mousedown 1
        sleep 0.5
        measure "$scheme" "$MAIN_CAPTION" "a box held down"
        shot "$MAIN_CAPTION" "colours-$suffix-held.png"
        xdotool mousemove --sync 5 5 mouseup 1
    else
        e2e_fail "cannot find the Remove box"
    fi

    e2e_click About
    if drv wait "$ABOUT_CAPTION" 20000 >/dev/null; then
        measure "$scheme" "$ABOUT_CAPTION" "About"
        shot "$ABOUT_CAPTION" "colours-$suffix-about.png"
        drv syscommand "$ABOUT_CAPTION" close
        drv gone "$ABOUT_CAPTION" 10000 >/dev/null || e2e_fail "the About window did not close"
    else
        e2e_fail "$scheme: the About window did not open"
    fi

    e2e_click Continue
    e2e_dismiss
    e2e_wait_exit

    e2e_start || return
    measure "$scheme" "$MAIN_CAPTION" "nothing found"
    shot "$MAIN_CAPTION" "colours-$suffix-empty.png"
    e2e_click "Re-enable disabled items"
    if drv wait "$DISABLED_CAPTION" 20000 >/dev/null; then
        drv click "$DISABLED_CAPTION" Re-enable 1 >/dev/null || e2e_fail "cannot check Re-enable"
        sleep 0.3
        measure "$scheme" "$DISABLED_CAPTION" "Disabled items"
        shot "$DISABLED_CAPTION" "colours-$suffix-disabled-items.png"
        drv close "$DISABLED_CAPTION"
        drv gone "$DISABLED_CAPTION" 10000 >/dev/null || e2e_fail "the Disabled items window did not close"
    else
        e2e_fail "$scheme: the Disabled items window did not open"
    fi
    drv clear-key "$RECORDS_KEY" >>"$E2E_LOG"
    e2e_click "Re-enable disabled items"
    if drv wait "$DISABLED_CAPTION" 20000 >/dev/null; then
        measure "$scheme" "$DISABLED_CAPTION" "no disabled items"
        shot "$DISABLED_CAPTION" "colours-$suffix-disabled-empty.png"
        drv close "$DISABLED_CAPTION"
        drv gone "$DISABLED_CAPTION" 10000 >/dev/null
    else
        e2e_fail "$scheme: the empty Disabled items window did not open"
    fi
    drv close "$MAIN_CAPTION"
    e2e_wait_exit
}

use_scheme "${saved[@]}"
run_scheme "default" default
use_scheme "${HIGH_CONTRAST_BLACK[@]}"
run_scheme "High Contrast Black" high-contrast

e2e_done
