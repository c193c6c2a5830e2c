#!/usr/bin/env bash
# Files left beside the programs (a downloads folder) and in the folder they are started from, named
# as the system's own: a program msconfig.exe and libraries named as those the programs load, with
# Wine told to prefer such native files. None may run or load: "Re-enable disabled items" starts the
# System Configuration utility by its full path (Wine has none there: the failure is said and the
# Disabled items window opens), a screen reader's first question loads the accessibility library,
# the list's boxes load the theme library, and runsweepc does its scan. Every planted file leaves a
# mark when it is started or loaded; a control shows a program asking by bare name from that folder
# does get the planted library. (test_main_window_resources holds both programs' imports to the
# system's known DLLs.)
source "$(dirname "$0")/lib.sh" "$1"

planted_program="$E2E_BUILD/tests/planted.exe"
planted_library="$E2E_BUILD/tests/planted_library.dll"
# Every library the programs load or imported before that is not one of the system's known DLLs.
# (Windows takes its known DLLs, ole32 and shell32 among them, from the system folder whatever the
# search; Wine's own libraries do not always hold to that, so planting those would test Wine.)
libraries="oleacc.dll uxtheme.dll comctl32.dll shcore.dll"
DISABLED_CAPTION="Disabled items"

for f in "$planted_program" "$planted_library" "$(dirname "$E2E_EXE")/runsweepc.exe"; do
    [ -f "$f" ] || { e2e_fail "$f is missing; build the mingw preset first"; e2e_done; }
done

# --- The planted files ------------------------------------------------------------------------------
beside=$(e2e_temp_dir)
current=$(e2e_temp_dir)
cp "$E2E_EXE" "$beside/Runsweep.exe"
cp "$(dirname "$E2E_EXE")/runsweepc.exe" "$beside/runsweepc.exe"
for folder in "$beside" "$current"; do
    cp "$planted_program" "$folder/msconfig.exe"
    for dll in $libraries; do
        cp "$planted_library" "$folder/$dll"
    done
done
native=$(printf '%s' "$libraries" | sed 's/\.dll//g; s/ /,/g')
export WINEDLLOVERRIDES="$native=n,b;$WINEDLLOVERRIDES"

# Each mark: where, which file, and the program it ran or loaded in.
marks() {
    local folder mark
    for folder in "$beside" "$current"; do
        for mark in "$folder"/*.loaded "$folder"/*.ran; do
            [ -f "$mark" ] || continue
            printf '%s in %s\n' "$(basename "$mark")" "$(iconv -f UTF-16LE -t UTF-8 "$mark" | tr -d '\r' | tr '\n' ' ')"
        done
    done
}

# The control: asked for by bare name from that folder, the planted library is what loads.
(cd "$beside" && e2e_tool "$beside/msconfig.exe" load oleacc.dll) ||
    e2e_fail "the planted oleacc.dll did not load for a program asking by bare name: the test proves nothing"
[ -f "$beside/oleacc.dll.loaded" ] || e2e_fail "the control left no mark: the test proves nothing"
rm -f "$beside"/*.loaded "$beside"/*.ran

# Windows 7, where the link starts the utility rather than the program's own window.
e2e_reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d win7 /f >/dev/null || e2e_fail "cannot set Wine's version"
trap 'e2e_reg delete "HKCU\\Software\\Wine" /v Version /f >/dev/null; e2e_cleanup' EXIT
e2e_reset_registry
e2e_seed HKCU jusched 'C:\Program Files\Java\jre1.6.0_03\bin\jusched.exe'

reenable_once() { # where the planted msconfig.exe lies
    cd "$current" || return
    e2e_start "$beside/Runsweep.exe" || return
    # A screen reader's first question, and a box painted with the theme.
    drv getobject "$MAIN_CAPTION" >>"$E2E_LOG" || e2e_fail "cannot ask the list for its accessible object"
    e2e_click "Re-enable disabled items"
    e2e_expect_message error "MSConfig failed to open properly."
    e2e_dismiss
    drv wait "$DISABLED_CAPTION" 20000 >/dev/null ||
        e2e_fail "with msconfig.exe $1 the Disabled items window did not open"
    drv getobject "$DISABLED_CAPTION" >>"$E2E_LOG"
    drv close "$DISABLED_CAPTION"
    drv gone "$DISABLED_CAPTION" 10000 >/dev/null || e2e_fail "the Disabled items window did not close"
    drv close "$MAIN_CAPTION"
    e2e_wait_exit
    cd - >/dev/null || return
}
reenable_once "beside the program and in the current folder"
rm -f "$beside/msconfig.exe"
reenable_once "in the current folder only"

# runsweepc, started from the same folder.
(cd "$current" && e2e_tool "$beside/runsweepc.exe" list >>"$E2E_LOG") || e2e_fail "runsweepc list failed"

planted=$(marks)
[ -z "$planted" ] || e2e_fail "a planted file ran or loaded: $(printf '%s' "$planted" | tr '\n' ';')"

e2e_done
