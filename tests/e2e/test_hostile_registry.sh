#!/usr/bin/env bash
# Run keys as no well-behaved installer leaves them: values of every type, no data and a megabyte
# of it, names of 16,383 characters, names with control characters or a backslash, names that
# differ from a catalogue name only in letter case, a Run key in one hive only, none at all. Each
# case must give the right rows, then on "Continue" either a faithful record (all five values, the
# whole command) or a clear refusal that leaves the value as it was, and the program must end
# normally (exit code 0) after its closing message.
#
# Values are written and read back with tests/registry_tool.exe, which takes the exact bytes:
# Wine's reg cannot write data without a terminator, a megabyte, or names with control characters.
# Its dumps show text with units below U+0020, U+007F and '%' as %XX, and every terminator.
source "$(dirname "$0")/lib.sh" "$1"

TOOL="$E2E_BUILD/tests/registry_tool.exe"
[ -f "$TOOL" ] || {
    echo "FAIL [$E2E_NAME]: $TOOL is missing; build the mingw preset first" >&2
    exit 1
}
work=$(e2e_temp_dir)
RUN_KEY_HKCU="HKCU\\$RUN_PATH"
RUN_KEY_HKLM="HKLM\\$RUN_PATH"
RECORDS_TOOL='HKLM\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg'
not_text() { # place
    printf '%s' "not changed: its Run value in $1 holds no command line (its data is not text), so MSConfig could not re-enable it and it was left in place. Choose \"Remove\" to take it out without a record."
}
NOT_NAME='not changed: its name cannot be recorded for MSConfig, so the entry was left in place. Choose "Remove" to take it out without a record.'
cases=0
runs=0
crashes=0 # runs that did not end by themselves with exit code 0

regtool() { e2e_tool "$TOOL" "$@"; }

# A file's path as the Windows side sees it.
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# "@file" for the tool, the file holding exactly what printf makes of the arguments (escapes such as
# \001 and \0 included).
bytes_arg() { # printf-format [arguments...]
    local file
    file=$(mktemp "$work/arg.XXXXXX")
    # shellcheck disable=SC2059
    printf "$@" >"$file"
    printf '@%s' "$(winpath "$file")"
}

set_value() { # key name type data
    regtool set "$@" >>"$E2E_LOG" || e2e_fail "cannot write $3 value into $1"
}

# The key's values as the tool dumps them, sorted; "absent" when there is no such key.
dump() { # key
    regtool dump "$1" | sort
}

expect_dump() { # key expected-lines(sorted or not) label
    local actual expected
    actual=$(dump "$1")
    expected=$(printf '%s\n' "$2" | sed '/^$/d' | sort)
    if [ "$actual" != "$expected" ]; then
        e2e_fail "$3: the key holds"$'\n'"$(printf '%s\n' "$actual" | cut -c1-200)"$'\n'"expected"$'\n'"$(printf '%s\n' "$expected" | cut -c1-200)"
    fi
}

# A complete record: the five values, each a REG_SZ with its terminator, its type of command
# (REG_SZ unless the caller names other further values), and the date it was made (six REG_DWORDs,
# whatever their numbers).
expect_record() { # record-key-argument escaped-name escaped-command hive label [further-lines]
    local expected actual dated
    expected=$(printf 'command\t1\t%s%%00\nhkey\t1\t%s%%00\ninimapping\t1\t0%%00\nitem\t1\t%s%%00\nkey\t1\t%s%%00\n%s' \
        "$3" "$4" "$2" 'SOFTWARE\Microsoft\Windows\CurrentVersion\Run' "${6:-$'RunsweepType\t4\t01000000'}" |
        sed '/^$/d' | sort)
    actual=$(dump "$1")
    dated=$(printf '%s\n' "$actual" | grep -cE '^(YEAR|MONTH|DAY|HOUR|MINUTE|SECOND)'$'\t''4'$'\t')
    [ "$dated" = 6 ] || e2e_fail "$5: record: $dated of the six date values"
    actual=$(printf '%s\n' "$actual" | grep -vE '^(YEAR|MONTH|DAY|HOUR|MINUTE|SECOND)'$'\t''4'$'\t')
    if [ "$actual" != "$expected" ]; then
        e2e_fail "$5: record holds"$'\n'"$(printf '%s\n' "$actual" | cut -c1-200)"$'\n'"expected"$'\n'"$(printf '%s\n' "$expected" | cut -c1-200)"
    fi
}

expect_no_record_key() { # record-key-argument label
    [ "$(dump "$1")" = absent ] || e2e_fail "$2: there should be no record"
}

# The names of the rows, top to bottom, as the list reports them: each row's first item, child id
# 5 * row + 1 (a name may hold a tab).
rows() {
    e2e_controls | awk -F'\t' '
        $1 == "text" && ($2 - 1) % 5 == 0 && $3 == "visible" {
            s = $7; for (i = 8; i <= NF; i++) s = s "\t" $i; print s }'
}

expect_rows() { # label expected-names...
    local label=$1 actual expected
    shift
    actual=$(rows)
    expected=$(printf '%s\n' "$@")
    [ "$actual" = "$expected" ] ||
        e2e_fail "$label: rows"$'\n'"$(printf '%s\n' "$actual" | cut -c1-120)"$'\n'"expected"$'\n'"$(printf '%s\n' "$expected" | cut -c1-120)"
}

# After the closing message: the program must end by itself, with exit code 0.
expect_clean_exit() { # label
    local _
    runs=$((runs + 1))
    for _ in $(seq 1 100); do
        if ! kill -0 "$E2E_PID" 2>/dev/null; then
            wait "$E2E_PID"
            local code=$?
            E2E_PID=""
            if [ $code != 0 ]; then
                crashes=$((crashes + 1))
                e2e_fail "$1: the program ended with exit code $code"
            fi
            return
        fi
        sleep 0.1
    done
    crashes=$((crashes + 1))
    e2e_fail "$1: the program did not end"
}

closing_message() { # failure-paragraphs... ; the last argument is the number of actions done
    local text="Not every action could be carried out:" n
    while [ $# -gt 1 ]; do
        text+=$'\n\n'"$1"
        shift
    done
    n=$1
    text+=$'\n\n'
    case $n in
    0) text+="No other action was chosen." ;;
    1) text+="The other chosen action was carried out. Changes will take effect after the system is restarted." ;;
    *) text+="The other $n chosen actions were carried out. Changes will take effect after the system is restarted." ;;
    esac
    printf '%s' "$text"
}

# --- Values of every type, no data, a megabyte of data ------------------------------------------
label="value types"
e2e_reset_registry
set_value "$RUN_KEY_HKLM" SoundMan dword 4660
set_value "$RUN_KEY_HKCU" TkBellExe sz ''
# 524,287 characters and the terminator: 1 MiB of data.
big_command='"C:\Program Files\Java\bin\jusched.exe" /big '
big_command+=$(head -c $((524287 - ${#big_command})) /dev/zero | tr '\0' x)
set_value "$RUN_KEY_HKLM" SunJavaUpdateSched sz "$(bytes_arg "%s\\0" "$big_command")"
set_value "$RUN_KEY_HKLM" ctfmon multi_sz "$(bytes_arg 'C:\\a.exe\0C:\\b.exe\0\0')"
set_value "$RUN_KEY_HKCU" jusched expand_sz "$(bytes_arg '%%ProgramFiles%%\\Java\\jusched.exe -auto\0')"
# Bystanders no catalogue entry names: a 16,383-character name, a control character.
long_b=$(head -c 16383 /dev/zero | tr '\0' B)
set_value "$RUN_KEY_HKCU" "$(bytes_arg "%s" "$long_b")" binary 00ff
set_value "$RUN_KEY_HKLM" "$(bytes_arg 'Ctl\001Bystander')" sz "$(bytes_arg 'C:\\keep.exe\0')"

e2e_start
expect_rows "$label" SoundMan TkBellExe SunJavaUpdateSched ctfmon jusched
e2e_click Continue
# Entries refused for one reason: one line each, the reason once.
e2e_expect_message error "$(closing_message $'SoundMan (Disable)\nctfmon (Disable)\nEach: '"$(not_text HKLM)" 3)"
e2e_dismiss
expect_clean_exit "$label"

expect_record "$RECORDS_TOOL\\TkBellExe" TkBellExe '' HKCU "$label, no data"
expect_record "$RECORDS_TOOL\\SunJavaUpdateSched" SunJavaUpdateSched "$big_command" HKLM "$label, 1 MiB"
expect_record "$RECORDS_TOOL\\jusched" jusched '%25ProgramFiles%25\Java\jusched.exe -auto' HKCU "$label, REG_EXPAND_SZ" \
    $'RunsweepType\t4\t02000000'

expect_no_record_key "$RECORDS_TOOL\\SoundMan" "$label, REG_DWORD"
expect_no_record_key "$RECORDS_TOOL\\ctfmon" "$label, REG_MULTI_SZ"
expect_dump "$RUN_KEY_HKCU" "$long_b"$'\t3\t00ff' "$label: HKCU Run key"
expect_dump "$RUN_KEY_HKLM" $'SoundMan\t4\t34120000\nctfmon\t7\tC:\\a.exe%00C:\\b.exe%00%00\nCtl%01Bystander\t1\tC:\\keep.exe%00' \
    "$label: HKLM Run key"
cases=$((cases + 7))

# --- Binary, untyped and mixed values; names that differ only in letter case ---------------------
label="binary, untyped, letter case"
e2e_reset_registry
set_value "$RUN_KEY_HKLM" QTTASK sz "$(bytes_arg 'C:\\QuickTime\\qttask.exe\0')"
set_value "$RUN_KEY_HKCU" NVIEW binary 0a0b
set_value "$RUN_KEY_HKLM" NVIEW sz "$(bytes_arg 'rundll32 nview.dll\0')"
set_value "$RUN_KEY_HKCU" NeroCheck binary deadbeef
set_value "$RUN_KEY_HKCU" InCD none ''
set_value "$RUN_KEY_HKCU" "$(bytes_arg "DÉMARRAGE D'OFFICE")" sz "$(bytes_arg 'C:\\Office\\osa.exe -b\0')"

e2e_start
expect_rows "$label" qttask NVIEW NeroCheck InCD "Démarrage d'Office"
e2e_click Continue
e2e_expect_message error \
    "$(closing_message $'NVIEW (Disable)\nNeroCheck (Disable)\nInCD (Disable)\nEach: '"$(not_text HKCU)" 2)"
e2e_dismiss
expect_clean_exit "$label"

# The record takes the catalogue's spelling, the command the Run value's.
expect_record "$RECORDS_TOOL\\qttask" qttask 'C:\QuickTime\qttask.exe' HKLM "$label, QTTASK"
expect_record "$(bytes_arg '%s\\%s' "$RECORDS_TOOL" "Démarrage d'Office")" "Démarrage d'Office" 'C:\Office\osa.exe -b' HKCU "$label, accented"
for name in NVIEW NeroCheck InCD; do
    expect_no_record_key "$RECORDS_TOOL\\$name" "$label, $name"
done
expect_dump "$RUN_KEY_HKCU" $'NVIEW\t3\t0a0b\nNeroCheck\t3\tdeadbeef\nInCD\t0\t' "$label: HKCU Run key"
expect_dump "$RUN_KEY_HKLM" $'NVIEW\t1\trundll32 nview.dll%00' "$label: HKLM Run key"
cases=$((cases + 5))

# --- Names: 16,383 characters, control characters, a backslash (through custom.txt) -------------
label="names"
folder=$(e2e_temp_dir)
cp "$E2E_EXE" "$folder/Runsweep.exe"
long_l=$(head -c 16383 /dev/zero | tr '\0' L)
long_m=$(head -c 16383 /dev/zero | tr '\0' M)
printf '%s\r\n' "$long_l,The longest name a value may have" "$long_m,Another name of that length" \
    $'Ctl\001Name,A control character in the name' $'Tab\tEsc\033Del\177Name,Control characters of several kinds' \
    'Vendor\Agent,A backslash in the name' >"$folder/custom.txt"
e2e_reset_registry
set_value "$RUN_KEY_HKCU" "$(bytes_arg "%s" "$long_l")" sz "$(bytes_arg 'C:\\long.exe\0')"
set_value "$RUN_KEY_HKLM" "$(bytes_arg "%s" "$long_m")" sz "$(bytes_arg 'C:\\remove.exe\0')"
set_value "$RUN_KEY_HKCU" "$(bytes_arg 'Ctl\001Name')" sz "$(bytes_arg 'C:\\ctl.exe /a\0')"
set_value "$RUN_KEY_HKLM" "$(bytes_arg 'Tab\tEsc\033Del\177Name')" sz "$(bytes_arg 'C:\\tab.exe\0')"
set_value "$RUN_KEY_HKCU" 'Vendor\Agent' sz "$(bytes_arg 'C:\\Vendor\\agent.exe\0')"

e2e_launch "$folder/Runsweep.exe"
e2e_expect_message information "Using custom list (custom.txt)"
e2e_dismiss
e2e_wait_main
expect_rows "$label" "$long_l" "$long_m" $'Ctl\001Name' $'Tab\tEsc\033Del\177Name' 'Vendor\Agent'
e2e_click Remove 1 # the second 16,383-character name
e2e_click Continue
# The message names a long entry by its beginning and length: in full it would not fit the screen.
# Names with control characters are left in place like the others: Re-enable could never write them
# back, so a record of them would only lose the entry. All four for one reason: one line each, the
# reason once.
e2e_expect_message error "$(closing_message "${long_l:0:60}… (a name of 16383 characters) (Disable)"$'\n'$'Ctl\001Name (Disable)\nTab\tEsc\033Del\177Name (Disable)\n'"Vendor\\Agent (Disable)"$'\n'"Each: $NOT_NAME" 1)"
read -r left _ width _ <<<"$(drv rect Runsweep)"
screen_width=$(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1] }')
if [ "${left:--1}" -lt 0 ] || [ $((left + ${width:-0})) -gt "$screen_width" ]; then
    e2e_fail "$label: the message box (left ${left:-?}, ${width:-?} pixels wide) does not fit the screen"
fi
e2e_dismiss
expect_clean_exit "$label"

expect_no_record_key "$(bytes_arg '%s\\Ctl\001Name' "$RECORDS_TOOL")" "$label, control character"
expect_no_record_key "$(bytes_arg '%s\\Tab\tEsc\033Del\177Name' "$RECORDS_TOOL")" "$label, control characters"
expect_no_record_key "$RECORDS_TOOL\\Vendor" "$label, backslash"
# Left in place, or removed without a record.
expect_dump "$RUN_KEY_HKCU" "$long_l"$'\t1\tC:\\long.exe%00\nCtl%01Name\t1\tC:\\ctl.exe /a%00\nVendor\\Agent\t1\tC:\\Vendor\\agent.exe%00' \
    "$label: HKCU Run key"
expect_dump "$RUN_KEY_HKLM" $'Tab%09Esc%1BDel%7FName\t1\tC:\\tab.exe%00' "$label: HKLM Run key"
cases=$((cases + 5))

# --- A Run key in one hive only -----------------------------------------------------------------
for only in HKCU HKLM; do
    label="only the $only Run key"
    e2e_reset_registry
    if [ $only = HKCU ]; then
        drv clear-key "$RUN_KEY_HKLM" >>"$E2E_LOG" || e2e_fail "cannot delete the HKLM Run key"
        set_value "$RUN_KEY_HKCU" qttask sz "$(bytes_arg 'C:\\QuickTime\\qttask.exe\0')"
        name=qttask command='C:\QuickTime\qttask.exe' missing=$RUN_KEY_HKLM
    else
        drv clear-key "$RUN_KEY_HKCU" >>"$E2E_LOG" || e2e_fail "cannot delete the HKCU Run key"
        set_value "$RUN_KEY_HKLM" jusched sz "$(bytes_arg 'C:\\Java\\jusched.exe\0')"
        name=jusched command='C:\Java\jusched.exe' missing=$RUN_KEY_HKCU
    fi
    e2e_start
    expect_rows "$label" $name
    e2e_click Continue
    e2e_expect_message information "$SUCCESS_MESSAGE"
    e2e_dismiss
    expect_clean_exit "$label"
    expect_record "$RECORDS_TOOL\\$name" $name "$command" $only "$label"
    [ $only = HKCU ] && expect_dump "$RUN_KEY_HKCU" "" "$label: HKCU Run key"
    [ $only = HKLM ] && expect_dump "$RUN_KEY_HKLM" "" "$label: HKLM Run key"
    # The program does not make the missing key.
    expect_dump "$missing" absent "$label: the missing Run key"
    cases=$((cases + 1))
done

# --- No Run keys at all -------------------------------------------------------------------------
label="no Run keys"
e2e_reset_registry
drv clear-key "$RUN_KEY_HKCU" >>"$E2E_LOG" || e2e_fail "cannot delete the HKCU Run key"
drv clear-key "$RUN_KEY_HKLM" >>"$E2E_LOG" || e2e_fail "cannot delete the HKLM Run key"
e2e_start
controls=$(e2e_controls)
expect_rows "$label"
[ "$(e2e_field "$(e2e_control "No unnecessary startups found!" "$controls")" 3)" = visible ] ||
    e2e_fail "$label: the nothing-found panel is not shown"
[ "$(e2e_field "$(e2e_control Continue "$controls")" 4)" = disabled ] || e2e_fail "$label: Continue is enabled"
drv syscommand "$MAIN_CAPTION" close >/dev/null || e2e_fail "$label: cannot close the main window"
expect_clean_exit "$label"
expect_dump "$RUN_KEY_HKCU" absent "$label: HKCU Run key"
expect_dump "$RUN_KEY_HKLM" absent "$label: HKLM Run key"
expect_dump "$RECORDS_TOOL" absent "$label: records"
cases=$((cases + 1))

echo "[$E2E_NAME] cases $cases, program runs $runs, crashes $crashes"
e2e_reset_registry
e2e_done
