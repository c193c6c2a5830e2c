#!/usr/bin/env bash
# The Startup folders as a user meets them. Real shortcuts, written through the shell's link object
# as installers write them: one of an original entry in the all-users folder, one of a today's
# program and one unknown in the user's, beside desktop.ini. The main list shows the two known
# ones; the default Continue records each the way the System Configuration utility does and moves
# it into %windir%\pss byte for byte, leaving the unknown shortcut and desktop.ini alone; the
# Disabled items window puts every file back byte for byte and deletes the records; a record written
# the way the utility of Windows XP writes it comes back the same way; Remove deletes a shortcut and
# sends a program placed in the folder itself to the Recycle Bin; runsweepc's dry run tells the
# moves, and its disable and enable --all make them and put every file back. With the
# fault-injection build (RUNSWEEP_FAULTS_EXE), Continue and Re-enable are killed after every change
# they make: each file must then be in its folder or where its record says, and a normal run must
# finish the job.
# Prints "kills K, files lost L" before its verdict when the kills ran.
# RUNSWEEP_SCREENSHOTS=folder keeps screenshots of the main list and the Disabled items window.
source "$(dirname "$0")/lib.sh" "$1"

TOOL="$E2E_BUILD/tests/registry_tool.exe"
DISABLED_CAPTION="Disabled items"
FOLDER_RECORDS='HKLM\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupfolder'
GAMMA_TARGET='C:\Program Files\Common Files\Adobe\Calibration\Adobe Gamma Loader.exe'
TELEGRAM_TARGET='C:\Users\me\AppData\Roaming\Telegram Desktop\Telegram.exe'

shots=${RUNSWEEP_SCREENSHOTS:-}
work=$(e2e_temp_dir)
# Wine's Recycle Bin is the freedesktop.org trash under XDG_DATA_HOME: the test's own.
export XDG_DATA_HOME="$work/xdg"
mkdir -p "$XDG_DATA_HOME/Trash"

tool() { e2e_tool "$TOOL" "$@"; }

# The folders as the program finds them (the shell's known folders), and %windir%\pss.
USER_DIR=$(tool folder user | tr -d '\r') || e2e_fail "cannot find the user's Startup folder"
COMMON_DIR=$(tool folder common | tr -d '\r') || e2e_fail "cannot find the all-users Startup folder"
PSS_DIR=$(tool folder pss | tr -d '\r') || e2e_fail "cannot find %windir%\\pss"

# A Windows path as the prefix's file system holds it.
unix_path() { # windows-path
    local drive rest
    drive=$(printf '%s' "${1:0:1}" | tr 'A-Z' 'a-z')
    rest=$(printf '%s' "${1:2}" | tr '\\' '/')
    printf '%s/dosdevices/%s:%s' "$WINEPREFIX" "$drive" "$rest"
}

sum_of() { # windows-path; the file's checksum, or "none"
    local file
    file=$(unix_path "$1")
    if [ -f "$file" ]; then md5sum <"$file" | cut -d' ' -f1; else echo none; fi
}

expect_sum() { # label windows-path checksum
    local actual
    actual=$(sum_of "$2")
    [ "$actual" = "$3" ] || e2e_fail "$1: $2 holds $actual, expected $3"
}

record_key() { # windows-path of the item
    printf '%s\\%s' "$FOLDER_RECORDS" "$(printf '%s' "$1" | tr '\\' '^')"
}

expect_folder_record() { # item-path backup-extension command
    local key backup field expected actual
    key=$(record_key "$1")
    backup="$PSS_DIR\\$(basename "$(printf '%s' "$1" | tr '\\' '/')")$2"
    for field in path location item command backup backupExtension; do
        case $field in
        path) expected=$1 ;;
        location) expected=${1%\\*} ;;
        item) expected=$(basename "$(printf '%s' "$1" | tr '\\' '/')" .lnk) ;;
        command) expected=$3 ;;
        backup) expected=$backup ;;
        backupExtension) expected=$2 ;;
        esac
        if ! actual=$(e2e_reg_value "$key" "$field"); then
            e2e_fail "the record of $1 has no value $field"
        elif [ "$actual" != "$expected" ]; then
            e2e_fail "the record of $1: $field is '$actual', expected '$expected'"
        fi
    done
    e2e_reg query "$key" /v YEAR >/dev/null || e2e_fail "the record of $1 is not dated"
}

expect_no_folder_records() {
    local out
    out=$(tool dump-tree "$FOLDER_RECORDS" 2>/dev/null | grep -c '^\[' || true)
    [ "${out:-0}" -le 1 ] || e2e_fail "records of folder items are left: $(tool dump-tree "$FOLDER_RECORDS")"
}

# Both folders and %windir%\pss emptied, no records, empty Run keys.
reset_folders() {
    rm -f "$(unix_path "$USER_DIR")"/* "$(unix_path "$COMMON_DIR")"/* 2>/dev/null
    rm -rf "$(unix_path "$PSS_DIR")"
    drv clear-key "$FOLDER_RECORDS" >>"$E2E_LOG" || e2e_fail "cannot delete the folder records"
    e2e_reset_registry
}

shortcut() { # windows-path target [arguments]
    tool shortcut "$@" >>"$E2E_LOG" || e2e_fail "cannot write the shortcut $1"
}

seed_folders() { # [kills: the all-users shortcut alone]
    reset_folders
    shortcut "$COMMON_DIR\\Adobe Gamma Loader.lnk" "$GAMMA_TARGET"
    [ "${1:-}" = kills ] && return
    shortcut "$USER_DIR\\Telegram.lnk" "$TELEGRAM_TARGET" -autostart
    shortcut "$USER_DIR\\My Notes.lnk" 'C:\Tools\notes.exe'
    printf '[.ShellClassInfo]\r\nLocalizedResourceName=@%%SystemRoot%%\\system32\\shell32.dll,-21787\r\n' \
        >"$(unix_path "$COMMON_DIR")/desktop.ini"
}

main_rows() { e2e_controls | awk -F'\t' '$1 == "text" && ($2 - 1) % 5 == 0 { print $2 "\t" $7 }' | sort -n | cut -f2; }
disabled_rows() { drv controls "$DISABLED_CAPTION" | awk -F'\t' '$1 == "text" && $2 % 4 == 1 { print $7 }'; }

expect_rows() { # label actual expected...
    local label=$1 actual=$2 expected
    shift 2
    expected=$(printf '%s\n' "$@")
    [ "$actual" = "$expected" ] || e2e_fail "$label: rows '$(printf '%s' "$actual" | tr '\n' '|')', expected '$(printf '%s' "$expected" | tr '\n' '|')'"
}

# Opens the Disabled items window from the main window (Wine reports Windows 7: MSConfig fails first).
open_disabled_items() {
    e2e_click "Re-enable disabled items"
    e2e_expect_message error "MSConfig failed to open properly."
    e2e_dismiss
    drv wait "$DISABLED_CAPTION" 20000 >/dev/null || e2e_fail "the Disabled items window did not open"
}

reenable_all_rows() {
    local n i
    n=$(disabled_rows | wc -l)
    for i in $(seq 0 $((n - 1))); do
        drv click "$DISABLED_CAPTION" "Re-enable" "$i" >/dev/null || e2e_fail "cannot check Re-enable of row $i"
    done
    drv click "$DISABLED_CAPTION" "Re-enable chosen" >/dev/null || e2e_fail "cannot press Re-enable chosen"
}

# --- The list, the default Continue, and what it leaves ---------------------------------------
seed_folders
gamma_sum=$(sum_of "$COMMON_DIR\\Adobe Gamma Loader.lnk")
telegram_sum=$(sum_of "$USER_DIR\\Telegram.lnk")
notes_sum=$(sum_of "$USER_DIR\\My Notes.lnk")
ini_sum=$(sum_of "$COMMON_DIR\\desktop.ini")
[ "$gamma_sum" != none ] && [ "$telegram_sum" != none ] || e2e_fail "the shortcuts were not written"
[ "$(tool read-shortcut "$USER_DIR\\Telegram.lnk" | tr -d '\r')" = "\"$TELEGRAM_TARGET\" -autostart" ] ||
    e2e_fail "the shortcut's target does not read back"

e2e_start
expect_rows "the main list" "$(main_rows)" "Adobe Gamma Loader" "Telegram"
# Each row says which folder starts it, before the catalogue's text.
places=$(e2e_controls | awk -F'\t' '$1 == "text" && ($2 - 1) % 5 == 0 { name[$2] = $7 }
    $1 == "text" && ($2 - 1) % 5 == 1 { text[$2 - 1] = $7 }
    END { for (i in name) print name[i] ": " substr(text[i], 1, index(text[i], ". ")) }' | sort)
expect_rows "the rows' places" "$places" "Adobe Gamma Loader: Found in: Startup folder (all users)." \
    "Telegram: Found in: Startup folder."
[ -n "$shots" ] && e2e_screenshot_window "$shots/list-startup-folders.png"
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit

expect_sum "the all-users shortcut" "$COMMON_DIR\\Adobe Gamma Loader.lnk" none
expect_sum "the user's shortcut" "$USER_DIR\\Telegram.lnk" none
expect_sum "kept" "$PSS_DIR\\Adobe Gamma Loader.lnk.CommonStartup" "$gamma_sum"
expect_sum "kept" "$PSS_DIR\\Telegram.lnk.Startup" "$telegram_sum"
expect_sum "the unknown shortcut" "$USER_DIR\\My Notes.lnk" "$notes_sum"
expect_sum "desktop.ini" "$COMMON_DIR\\desktop.ini" "$ini_sum"
expect_folder_record "$COMMON_DIR\\Adobe Gamma Loader.lnk" .CommonStartup "\"$GAMMA_TARGET\""
expect_folder_record "$USER_DIR\\Telegram.lnk" .Startup "\"$TELEGRAM_TARGET\" -autostart"

# --- Re-enable from the window, and a record of Windows XP ----------------------------------------
# The utility of XP kept "location" as "Common Startup" and the backup's name ending in it, without
# a dot or a backupExtension, and no date.
office="$COMMON_DIR\\Microsoft Office.lnk"
office_backup="$PSS_DIR\\Microsoft Office.lnkCommon Startup"
shortcut "Z:$(printf '%s' "$work/office.lnk" | tr '/' '\\')" 'C:\PROGRA~1\MICROS~2\Office\OSA9.EXE' '-b -l'
mv "$work/office.lnk" "$(unix_path "$office_backup")" || e2e_fail "cannot place the XP backup"
office_sum=$(sum_of "$office_backup")
office_key=$(record_key "$office")
for pair in "path|$office" "location|Common Startup" "item|Microsoft Office" \
    'command|C:\PROGRA~1\MICROS~2\Office\OSA9.EXE -b -l' "backup|$office_backup"; do
    e2e_reg add "$office_key" /v "${pair%%|*}" /t REG_SZ /d "${pair#*|}" /f >/dev/null ||
        e2e_fail "cannot write the XP record's ${pair%%|*}"
done

e2e_start
expect_rows "the main list after Disable" "$(main_rows)"
open_disabled_items
expect_rows "the Disabled items window" "$(disabled_rows | sort)" "Adobe Gamma Loader.lnk" "Microsoft Office.lnk" \
    "Telegram.lnk"
[ -n "$shots" ] && sleep 0.5 && import -window root -crop "$(drv rect "$DISABLED_CAPTION" |
    awk '{ print $3 "x" $4 "+" $1 "+" $2 }')" +repage "$shots/disabled-startup-folders.png"
reenable_all_rows
message=$(drv msgbox 20000 | tail -n +2 | tr -d '\r') || e2e_fail "no closing message after Re-enable"
case $message in
*"Adobe Gamma Loader.lnk: back in $COMMON_DIR."*"Microsoft Office.lnk: back in $COMMON_DIR."*"Telegram.lnk: back in $USER_DIR."*) ;;
*) e2e_fail "Re-enable said: $message" ;;
esac
e2e_dismiss
# The main window scans again and lists them.
sleep 1
expect_rows "the main list after Re-enable" "$(main_rows)" "Microsoft Office" "Adobe Gamma Loader" "Telegram"
drv close "$MAIN_CAPTION" >/dev/null 2>&1
e2e_wait_exit
expect_sum "back" "$COMMON_DIR\\Adobe Gamma Loader.lnk" "$gamma_sum"
expect_sum "back" "$USER_DIR\\Telegram.lnk" "$telegram_sum"
expect_sum "back from XP's record" "$office" "$office_sum"
[ -z "$(ls -A "$(unix_path "$PSS_DIR")" 2>/dev/null)" ] || e2e_fail "files are left in %windir%\\pss"
expect_no_folder_records

# --- Remove: a shortcut is deleted, a program in the folder goes to the Recycle Bin ---------------
printf '@echo off\r\nstart quicknote.exe\r\n' >"$(unix_path "$USER_DIR")/Quicknote.cmd"
quicknote_sum=$(sum_of "$USER_DIR\\Quicknote.cmd")
e2e_start
expect_rows "the main list with a program" "$(main_rows)" "Microsoft Office" "Adobe Gamma Loader" "Quicknote" \
    "Telegram"
drv click "$MAIN_CAPTION" "Remove" 0 >/dev/null || e2e_fail "cannot choose Remove"
drv click "$MAIN_CAPTION" "No action" 1 >/dev/null || e2e_fail "cannot choose No action"
drv click "$MAIN_CAPTION" "Remove" 2 >/dev/null || e2e_fail "cannot choose Remove"
drv click "$MAIN_CAPTION" "No action" 3 >/dev/null || e2e_fail "cannot choose No action"
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
expect_sum "removed" "$office" none
expect_sum "removed" "$USER_DIR\\Quicknote.cmd" none
trash="$XDG_DATA_HOME/Trash/files"
[ "$(md5sum <"$trash/Quicknote.cmd" 2>/dev/null | cut -d' ' -f1)" = "$quicknote_sum" ] ||
    e2e_fail "the program is not in the Recycle Bin whole"
[ ! -e "$trash/Microsoft Office.lnk" ] || e2e_fail "a shortcut went to the Recycle Bin instead of being deleted"
expect_sum "left alone" "$COMMON_DIR\\Adobe Gamma Loader.lnk" "$gamma_sum"
expect_sum "left alone" "$USER_DIR\\Telegram.lnk" "$telegram_sum"
expect_no_folder_records

# --- runsweepc: the dry run tells the moves, disable and enable --all do them --------------------
CONSOLE="$E2E_BUILD/runsweepc.exe"
console() { wine "$CONSOLE" "$@" 2>>"$E2E_LOG" | tr -d '\r'; }
seed_folders
# Written afresh: a shortcut holds the times of the folders on its target's path.
gamma_sum=$(sum_of "$COMMON_DIR\\Adobe Gamma Loader.lnk")
telegram_sum=$(sum_of "$USER_DIR\\Telegram.lnk")
listed=$(console list --format csv | cut -d, -f1,2)
[ "$listed" = "$(printf 'name,places\nAdobe Gamma Loader,Startup folder (all users)\nTelegram,Startup folder')" ] ||
    e2e_fail "runsweepc list: $listed"
told=$(console disable --all --dry-run)
case $told in
*"would move Adobe Gamma Loader.lnk from Startup folder (all users) to $PSS_DIR\\Adobe Gamma Loader.lnk.CommonStartup"*) ;;
*) e2e_fail "the dry run did not tell the move: $told" ;;
esac
expect_sum "after the dry run" "$COMMON_DIR\\Adobe Gamma Loader.lnk" "$gamma_sum"
expect_no_folder_records
console disable --all >/dev/null || e2e_fail "runsweepc disable --all failed"
expect_sum "kept by runsweepc" "$PSS_DIR\\Adobe Gamma Loader.lnk.CommonStartup" "$gamma_sum"
expect_sum "kept by runsweepc" "$PSS_DIR\\Telegram.lnk.Startup" "$telegram_sum"
expect_folder_record "$USER_DIR\\Telegram.lnk" .Startup "\"$TELEGRAM_TARGET\" -autostart"
disabled=$(console disabled --format csv | cut -d, -f1,3)
[ "$disabled" = "$(printf 'name,places\nAdobe Gamma Loader.lnk,Startup folder (all users)\nTelegram.lnk,Startup folder')" ] ||
    e2e_fail "runsweepc disabled: $disabled"
console enable --all >/dev/null || e2e_fail "runsweepc enable --all failed"
expect_sum "back by runsweepc" "$COMMON_DIR\\Adobe Gamma Loader.lnk" "$gamma_sum"
expect_sum "back by runsweepc" "$USER_DIR\\Telegram.lnk" "$telegram_sum"
expect_no_folder_records

# --- Kills -------------------------------------------------------------------------------------
faults_exe=${RUNSWEEP_FAULTS_EXE:-}
if [ -n "$faults_exe" ] && [ -f "$faults_exe" ]; then
    faults_exe=$(realpath "$faults_exe")
    kills=0
    lost=0
    # The item is in its folder whole, or its record names a backup that holds it whole.
    check_item() { # label item-path checksum
        local backup
        [ "$(sum_of "$2")" = "$3" ] && return 0
        if backup=$(e2e_reg_value "$(record_key "$2")" backup) && [ "$(sum_of "$backup")" = "$3" ]; then
            return 0
        fi
        lost=$((lost + 1))
        e2e_fail "$1: $2 is neither in its folder nor where its record says"
    }
    check_kept() { # label
        check_item "$1" "$COMMON_DIR\\Adobe Gamma Loader.lnk" "$gamma_sum"
    }
    # Continue (or Re-enable chosen for every row) in the faulty build, ended after change k. True
    # when the run got through.
    run_killed() { # continue|reenable k
        local status=0
        RUNSWEEP_KILL_AFTER_WRITES=$2 e2e_start "$faults_exe" || return 1
        if [ "$1" = continue ]; then
            e2e_click Continue
        else
            open_disabled_items
            reenable_all_rows
        fi
        for _ in $(seq 1 100); do
            kill -0 "$E2E_PID" 2>/dev/null || break
            if drv msgbox 0 >/dev/null 2>&1; then
                e2e_dismiss
                [ "$1" = reenable ] && drv close "$MAIN_CAPTION" >/dev/null 2>&1
            fi
            sleep 0.1
        done
        wait "$E2E_PID" 2>/dev/null || status=$?
        E2E_PID=""
        [ "$status" != 99 ]
    }
    for what in continue reenable; do
        for k in $(seq 1 60); do
            # One shortcut: its record's key and values, its rename, and on the way back the rename
            # and the record's deletion; the unit tests kill between two files' changes.
            seed_folders kills
            if [ "$what" = reenable ]; then
                e2e_start
                e2e_click Continue
                e2e_expect_message information "$SUCCESS_MESSAGE"
                e2e_dismiss
                e2e_wait_exit
            fi
            if run_killed "$what" "$k"; then
                break
            fi
            kills=$((kills + 1))
            check_kept "$what killed after change $k"
            # The normal program finishes the job on what the kill left.
            e2e_start
            if [ "$what" = continue ]; then
                e2e_click Continue
                e2e_expect_message information "$SUCCESS_MESSAGE"
                e2e_dismiss
                e2e_wait_exit
                expect_sum "disabled after the kill" "$COMMON_DIR\\Adobe Gamma Loader.lnk" none
            else
                open_disabled_items
                reenable_all_rows
                e2e_dismiss
                drv close "$MAIN_CAPTION" >/dev/null 2>&1
                e2e_wait_exit
                expect_sum "back after the kill" "$COMMON_DIR\\Adobe Gamma Loader.lnk" "$gamma_sum"
                expect_no_folder_records
            fi
            check_kept "$what finished after a kill after change $k"
        done
    done
    echo "[$E2E_NAME] kills $kills, files lost $lost"
fi

reset_folders
e2e_done
