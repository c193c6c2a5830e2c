#!/usr/bin/env bash
# custom.txt as today's editors write it: LF-only and mixed line ends, UTF-8 with and without a byte-order
# mark (names with é and Cyrillic), UTF-16 LE with its mark. In each, every name that is in the Run
# key is listed and disabled, with its record. And a line whose name holds a NUL is reported as a
# corrupt entry and never looked up: the value named by the part before the NUL stays.
#
# Names are written and read back with tests/registry_tool.exe, which takes and prints UTF-8 exactly
# (Wine's reg prints in the console's code page).
source "$(dirname "$0")/lib.sh" "$1"

TOOL="$E2E_BUILD/tests/registry_tool.exe"
[ -f "$TOOL" ] || {
    echo "FAIL [$E2E_NAME]: $TOOL is missing; build the mingw preset first" >&2
    exit 1
}
folder=$(e2e_temp_dir)
cp "$E2E_EXE" "$folder/Runsweep.exe"
work=$(e2e_temp_dir)
RUN_KEY_HKCU="HKCU\\$RUN_PATH"

CAFE='Café'
DISPATCHER='Диспетчер'  # Cyrillic
UPDATER='Обновление' # Cyrillic

regtool() { e2e_tool "$TOOL" "$@"; }
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# "@file" for the tool, the file holding exactly the given text and then the printf format's bytes.
text_arg() { # text [format-after]
    local file
    file=$(mktemp "$work/arg.XXXXXX")
    # shellcheck disable=SC2059
    printf "%s${2:-}" "$1" >"$file"
    printf '@%s' "$(winpath "$file")"
}

seed() { # name command
    regtool set "$RUN_KEY_HKCU" "$(text_arg "$1")" sz "$(text_arg "$2" '\0')" >>"$E2E_LOG" ||
        e2e_fail "cannot write $1 into the HKCU Run key"
}

# A value's name as the first field of the tool's dump of the Run key.
in_run_key() { # name
    regtool dump "$RUN_KEY_HKCU" | cut -f1 | grep -Fxq -- "$1"
}

# The names of the rows, top to bottom: each row's first item, child id 5 * row + 1.
rows() {
    e2e_controls | awk -F'\t' '$1 == "text" && ($2 - 1) % 5 == 0 && $3 == "visible" { print $7 }'
}

# custom.txt from UTF-8 text, in the given form.
write_list() { # form text
    case $1 in
    utf8) printf '%s' "$2" >"$folder/custom.txt" ;;
    utf8-mark) printf '\xEF\xBB\xBF%s' "$2" >"$folder/custom.txt" ;;
    utf16le) { printf '\xFF\xFE' && printf '%s' "$2" | iconv -f UTF-8 -t UTF-16LE; } >"$folder/custom.txt" ;;
    esac
}

# Starts the program on the list, expects every name listed (in this order, after qttask) and no
# corrupt entry, presses Continue and checks that each was disabled: gone, with its record.
expect_listed_and_disabled() { # label names...
    local label=$1 name expected actual
    shift
    e2e_reset_registry
    e2e_seed HKCU qttask 'C:\Program Files\QuickTime\qttask.exe'
    for name in "$@"; do
        seed "$name" "C:\\Tools\\$name.exe"
    done
    e2e_launch "$folder/Runsweep.exe"
    e2e_expect_message information "Using custom list (custom.txt)"
    e2e_dismiss
    e2e_wait_main || return
    e2e_expect_no_message
    expected=$(printf '%s\n' qttask "$@")
    actual=$(rows)
    [ "$actual" = "$expected" ] || e2e_fail "$label: rows"$'\n'"$actual"$'\n'"expected"$'\n'"$expected"
    [ -n "${SHOT:-}" ] && e2e_screenshot_window "$SHOT"
    e2e_click Continue
    e2e_expect_message information "$SUCCESS_MESSAGE"
    e2e_dismiss
    e2e_wait_exit
    for name in "$@"; do
        e2e_expect_gone "$label" "$RUN_KEY_HKCU" "$name"
        regtool dump "HKLM\\SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\$name" >"$work/record"
        grep -Fxq -- "item"$'\t'"1"$'\t'"$name%00" "$work/record" ||
            e2e_fail "$label: no record of $name: $(head -c 300 "$work/record")"
    done
}

# --- LF-only line ends -------------------------------------------------------------------------
write_list utf8 $'MyUpdater,Updates My Program at every start.\nAnotherTool,Another tool\n'
expect_listed_and_disabled "LF-only" MyUpdater AnotherTool

# --- CR LF and LF mixed (a file edited on two systems): every line counts ------------------------
write_list utf8 $'MyUpdater,Updates My Program.\r\nAnotherTool,Another tool\nThirdTool,A third\r\n'
expect_listed_and_disabled "mixed line ends" MyUpdater AnotherTool ThirdTool

# --- UTF-8 with a mark, CR LF ----------------------------------------------------------------
write_list utf8-mark "$CAFE,Un café à chaque démarrage."$'\r\n'"$DISPATCHER,Диспетчер задач."$'\r\n'
expect_listed_and_disabled "UTF-8 with a mark" "$CAFE" "$DISPATCHER"

# --- UTF-8 without a mark (Notepad's default), LF-only -------------------------------------------
write_list utf8 "$UPDATER,Обновление программы."$'\n'"$CAFE,Un café."
SHOT=${E2E_SHOT:-} expect_listed_and_disabled "UTF-8 without a mark" "$UPDATER" "$CAFE"

# --- UTF-16 LE with its mark (Notepad's "Unicode"), CR LF ------------------------------------------
write_list utf16le "$DISPATCHER,Диспетчер."$'\r\n'"$CAFE,Café."$'\r\n'"MyUpdater,Updates."
expect_listed_and_disabled "UTF-16 LE" "$DISPATCHER" "$CAFE" MyUpdater

# --- A NUL in a name: a corrupt entry, and Foo stays -----------------------------------------------
printf 'Foo\0Bar,Deletes the wrong value if read as Foo\r\nMyUpdater,Updates.\r\n' >"$folder/custom.txt"
e2e_reset_registry
seed Foo 'C:\Tools\foo.exe'
seed MyUpdater 'C:\Tools\updater.exe'
e2e_launch "$folder/Runsweep.exe"
e2e_expect_message information "Using custom list (custom.txt)"
e2e_dismiss
e2e_expect_message error "Corrupt entry found in custom.txt. Format: Startup,Description"
e2e_dismiss
e2e_wait_main
e2e_expect_no_message
[ "$(rows)" = MyUpdater ] || e2e_fail "NUL: rows: $(rows | tr '\n' '|')"
e2e_click Remove 0
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
in_run_key Foo || e2e_fail "NUL: Foo was taken out of the Run key"
e2e_expect_gone "NUL" "$RUN_KEY_HKCU" MyUpdater
e2e_expect_no_record Foo

e2e_reset_registry
e2e_done
