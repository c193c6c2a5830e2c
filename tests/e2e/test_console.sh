#!/usr/bin/env bash
# runsweepc, the console program beside Runsweep.exe, against the same seeded registry as the window:
# names with an accented letter (a built-in entry) and Cyrillic letters and a character beyond the
# Basic Multilingual Plane (custom.txt in UTF-8), a command of more than 255 bytes with a character beyond the Basic Multilingual
# Plane, values in HKCU, HKLM and HKLM's 32-bit view, and values no catalogue entry names.
#   - list in text, CSV and JSON names exactly the window's rows, in the same order; Python's csv
#     and json read the output back with every character intact;
#   - disable --all leaves exactly the Run keys and records that the window's default Continue
#     leaves (the records' dates aside);
#   - remove NAME takes out that value only; a name that is not there gives exit 1 and a reason
#     (with --missing-ok: done, and a note); bad arguments give exit 2 and a usage line; --dry-run
#     changes nothing; commands and options in any letter case; CSV's header is JSON's keys;
#   - output that cannot be written (a full disk, a closed pipe), a Run key that cannot be read, and
#     another copy changing entries each end with exit 1 and the reason; nothing from the registry
#     can break a line of standard error, and a formula-looking CSV cell begins with an apostrophe.
source "$(dirname "$0")/lib.sh" "$1"

CONSOLE_EXE="$E2E_BUILD/runsweepc.exe"
TOOL="$E2E_BUILD/tests/registry_tool.exe"
for f in "$CONSOLE_EXE" "$TOOL"; do
    [ -f "$f" ] || {
        echo "FAIL [$E2E_NAME]: $f is missing; build the mingw preset first" >&2
        exit 1
    }
done

folder=$(e2e_temp_dir)
cp "$E2E_EXE" "$folder/Runsweep.exe"
cp "$CONSOLE_EXE" "$folder/runsweepc.exe"
# custom.txt in UTF-8: a name of Cyrillic letters and a character beyond the Basic Multilingual
# Plane, which no ANSI code page holds.
CYRILLIC='Запуск😀'
printf '%s,%s' "$CYRILLIC" 'Проверка обновлений' >"$folder/custom.txt"
ACCENTED="Démarrage d'Office"
LONG_COMMAND="C:\\Program Files\\Java\\jre\\bin\\jusched.exe $(printf 'x%.0s' $(seq 1 240)) 😀 end"
[ "$(printf '%s' "$LONG_COMMAND" | wc -c)" -gt 255 ] || e2e_fail "the long command is not long"

RUN='Software\Microsoft\Windows\CurrentVersion\Run'
reg_add() { # view(64|32) HKCU|HKLM name command
    e2e_reg add "$2\\$RUN" /v "$3" /t REG_SZ /d "$4" /f "/reg:$1" >/dev/null || e2e_fail "cannot seed $2 $3"
}
clear_run_keys() {
    local view
    for view in 64 32; do
        e2e_reg delete "HKLM\\$RUN" /va /f "/reg:$view" >/dev/null 2>&1
    done
    e2e_reset_registry
}
seed() {
    clear_run_keys
    reg_add 64 HKCU qttask '"C:\Program Files\QuickTime\qttask.exe" -atboottime'
    reg_add 32 HKLM qttask 'C:\Program Files (x86)\QuickTime\qttask.exe'
    reg_add 64 HKLM "$ACCENTED" 'C:\Program Files\Microsoft Office\Office\OSA.EXE -b -l'
    reg_add 32 HKLM jusched "$LONG_COMMAND"
    reg_add 64 HKCU "$CYRILLIC" 'C:\Программы\запуск.exe /тихо'
    reg_add 64 HKCU 'Пуск😀x' 'C:\unknown.exe'
    reg_add 64 HKLM 'Bystander' 'C:\keep.exe'
}

console() { # arguments... ; sets OUT, ERR and STATUS
    local out_file="$folder/out" err_file="$folder/err"
    local attempt
    # runsweepc says why on stderr whenever it fails: a failure without a word is a run Wine never
    # started (it happens on a loaded machine), tried again.
    for attempt in 1 2 3; do
        STATUS=0
        wine "$folder/runsweepc.exe" "$@" >"$out_file" 2>"$err_file" || STATUS=$?
        [ "$STATUS" = 0 ] || [ -s "$out_file" ] || [ -s "$err_file" ] && break
        e2e_log "runsweepc $1 gave no answer (status $STATUS, attempt $attempt)"
        sleep 0.5
    done
    OUT=$(cat "$out_file")
    ERR=$(tr -d '\r' <"$err_file")
}

# Every Run key and every record, one value per line, without the records' dates.
dump_all() {
    local key
    local key out status
    for key in "HKCU\\$RUN" "HKLM\\$RUN" "HKLM32\\$RUN" 'HKLM\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg'; do
        echo "== $key"
        status=0
        out=$(e2e_tool "$TOOL" dump-tree "$key") || status=$?
        # A dump that failed would compare equal to another failed one.
        [ "$status" = 0 ] || [ "$out" = absent ] || e2e_fail "cannot read $key (status $status)"
        printf '%s\n' "$out" | grep -Ev $'^(YEAR|MONTH|DAY|HOUR|MINUTE|SECOND)\t'
    done
}

window_rows() { # the value names of the window's rows, in order
    e2e_controls | awk -F'\t' '$1 == "text" && ($2 - 1) % 5 == 0 { print $2 "\t" $7 }' | sort -n | cut -f2
}

start_window() {
    e2e_launch "$folder/Runsweep.exe"
    e2e_expect_message information "Using custom list (custom.txt)"
    e2e_dismiss
    e2e_wait_main
}

# --- list: the window's rows, in each format
seed
start_window
expected_rows=$(window_rows)
[ -n "${RUNSWEEP_E2E_SHOTS:-}" ] && e2e_screenshot_window "$RUNSWEEP_E2E_SHOTS/console-seed-window.png"
drv close "$MAIN_CAPTION" >/dev/null
e2e_wait_exit
expected="jusched
qttask
$ACCENTED
$CYRILLIC"
[ "$expected_rows" = "$expected" ] || e2e_fail "the window's rows are not the seeded ones: $(echo "$expected_rows" | tr '\n' '|')"

console list
[ "$STATUS" = 0 ] || e2e_fail "list: exit $STATUS ($ERR)"
[ "$ERR" = "runsweepc: Using custom list (custom.txt)" ] || e2e_fail "list: stderr '$ERR'"
printf '%s' "$OUT" | head -c 3 | od -An -tx1 | grep -q 'ef bb bf' && e2e_fail "list: output begins with a BOM"
e2e_lines "$OUT" | grep -qv $'\r$' && e2e_fail "list: a line does not end CR LF"
text_rows=$(printf '%s\n' "$OUT" | tr -d '\r' | tail -n +2 | awk '!/^ / { sub(/  +HK.*$/, ""); print }')
[ "$text_rows" = "$expected_rows" ] || e2e_fail "text rows: $(echo "$text_rows" | tr '\n' '|')"
text_out=$OUT

console list --format csv
[ "$STATUS" = 0 ] || e2e_fail "csv: exit $STATUS"
csv_out=$OUT
console list --format json
[ "$STATUS" = 0 ] || e2e_fail "json: exit $STATUS"
json_out=$OUT

check=$(CSV="$csv_out" JSON="$json_out" ROWS="$expected_rows" LONG="$LONG_COMMAND" CYR="$CYRILLIC" python3 - <<'EOF'
import csv, io, json, os
problems = []
rows = os.environ["ROWS"].split("\n")
records = list(csv.reader(io.StringIO(os.environ["CSV"], newline="")))
if records[0] != ["name", "places", "state", "command", "description"]:
    problems.append("csv header %r" % records[0])
if [r[0] for r in records[1:]] != rows:
    problems.append("csv names %r" % [r[0] for r in records[1:]])
data = json.loads(os.environ["JSON"])
if [o["name"] for o in data] != rows:
    problems.append("json names %r" % [o["name"] for o in data])
by_name = {o["name"]: o for o in data}
csv_by_name = {r[0]: r for r in records[1:]}
expect = {
    "qttask": (["HKCU", "HKLM (32-bit)"], '"C:\\Program Files\\QuickTime\\qttask.exe" -atboottime'),
    "jusched": (["HKLM (32-bit)"], os.environ["LONG"]),
    os.environ["CYR"]: (["HKCU"], "C:\\Программы\\запуск.exe /тихо"),
    "Démarrage d'Office": (["HKLM"], "C:\\Program Files\\Microsoft Office\\Office\\OSA.EXE -b -l"),
}
for name, (places, command) in expect.items():
    o = by_name.get(name)
    # Wine reports Windows 7 here, which keeps no startup switch: every entry is on.
    if o is None or o["places"] != places or o["command"] != command or o["state"] != "on":
        problems.append("json %s: %r" % (name, o))
    r = csv_by_name.get(name)
    if r is None or r[1] != "; ".join(places) or r[2] != "on" or r[3] != command:
        problems.append("csv %s: %r" % (name, r))
q = by_name.get("qttask", {}).get("commands", [])
if [c["command"] for c in q] != ['"C:\\Program Files\\QuickTime\\qttask.exe" -atboottime',
                                 "C:\\Program Files (x86)\\QuickTime\\qttask.exe"]:
    problems.append("json qttask commands %r" % q)
if by_name.get(os.environ["CYR"], {}).get("description") != "Проверка обновлений":
    problems.append("json description of the custom entry")
print("\n".join(problems) if problems else "ok")
EOF
)
[ "$check" = ok ] || e2e_fail "CSV/JSON: $check"
e2e_lines "$text_out" | grep -qF "$LONG_COMMAND" || e2e_fail "text: the long command is not there whole"

# To a terminal Wine gives runsweepc a console, which it writes UTF-16 to (WriteConsoleW); Wine's
# console passes it on to the terminal as UTF-8. (It shows a character beyond the BMP as two
# replacement characters, which is Wine's console, not runsweepc: the file output above has it.)
if e2e_need script "the output to a console"; then
    terminal=$(script -qc "wine '$folder/runsweepc.exe' list" /dev/null </dev/null 2>&1 | tr -d '\r')
    for name in "$ACCENTED" 'Запуск' 'Проверка обновлений'; do
        e2e_lines "$terminal" | grep -qF "$name" || e2e_fail "on a console, '$name' did not come through: $terminal"
    done
fi

# --- --dry-run changes nothing
dump_all >"$folder/before"
console disable --all --dry-run
[ "$STATUS" = 0 ] || e2e_fail "disable --all --dry-run: exit $STATUS ($ERR)"
[ "$(printf '%s\n' "$OUT" | grep -c 'would be done')" = 4 ] || e2e_fail "dry run: $OUT"
console remove --all --dry-run --format json
[ "$STATUS" = 0 ] || e2e_fail "remove --all --dry-run: exit $STATUS ($ERR)"
dump_all >"$folder/after-dry-run"
cmp -s "$folder/before" "$folder/after-dry-run" ||
    e2e_fail "--dry-run changed the registry: $(diff "$folder/before" "$folder/after-dry-run" | head -5)"

# --- disable --all leaves what the window's default Continue leaves
console disable --all --format csv
[ "$STATUS" = 0 ] || e2e_fail "disable --all: exit $STATUS ($ERR)"
[ "$(printf '%s\n' "$OUT" | grep -c ',disable,done,recorded for re-enabling')" = 4 ] || e2e_fail "disable --all: $OUT"
dump_all >"$folder/console"

seed
start_window
e2e_click Continue
e2e_expect_message information "$SUCCESS_MESSAGE"
e2e_dismiss
e2e_wait_exit
dump_all >"$folder/window"
cmp -s "$folder/console" "$folder/window" ||
    e2e_fail "disable --all and the window differ: $(diff "$folder/console" "$folder/window" | head -10)"
grep -qF 'Пуск😀x' "$folder/console" || e2e_fail "the unknown value was not kept"
[ "$(grep -c "^\\[.*startupreg\\\\" "$folder/console")" = 4 ] || e2e_fail "expected 4 records"

# --- disabled lists the window's records; enable --all puts every command back where it was
console disabled --format json
[ "$STATUS" = 0 ] || e2e_fail "disabled: exit $STATUS ($ERR)"
check=$(JSON="$OUT" ROWS="$expected_rows" LONG="$LONG_COMMAND" python3 - <<'EOF2'
import json, os
data = json.loads(os.environ["JSON"])
problems = []
if sorted(o["name"] for o in data) != sorted(os.environ["ROWS"].split("\n")):
    problems.append("names %r" % [o["name"] for o in data])
for o in data:
    if o["problem"] is not None or not o["disabled"]:
        problems.append("%s: problem %r, disabled %r" % (o["name"], o["problem"], o["disabled"]))
    if o["name"] == "qttask" and [c["place"] for c in o["commands"]] != ["HKCU", "HKLM (32-bit)"]:
        problems.append("qttask's places %r" % o["commands"])
    if o["name"] == "jusched" and o["command"] != os.environ["LONG"]:
        problems.append("jusched's command %r" % o["command"])
print("\n".join(problems) if problems else "ok")
EOF2
)
[ "$check" = ok ] || e2e_fail "disabled: $check"
console enable --all
[ "$STATUS" = 0 ] || e2e_fail "enable --all: exit $STATUS ($ERR)"
[ "$(printf '%s\n' "$OUT" | grep -c '  enable  *done  *re-enabled in ')" = 4 ] || e2e_fail "enable --all: $OUT"
# Every Run value as seeded (the order of values within a key aside), and no record left.
run_values() { # dump-file
    awk '/^== / { key = $0; next } /^== .*startupreg/ { exit } { print key "\t" $0 }' "$1" | grep -v startupreg | sort
}
dump_all >"$folder/enabled"
[ "$(run_values "$folder/enabled")" = "$(run_values "$folder/before")" ] ||
    e2e_fail "enable --all did not put back the Run keys: $(diff <(run_values "$folder/before") <(run_values "$folder/enabled") | head -5)"
while IFS= read -r name; do
    e2e_expect_no_record "$name"
done <<<"$expected_rows"
console disabled
[ "$OUT" = $'No disabled items found!\r' ] || e2e_fail "disabled after enable --all: $OUT"

# --- remove NAME: that value only
seed
dump_all | grep -v "^qttask"$'\t' >"$folder/expected"
console remove QTTASK
[ "$STATUS" = 0 ] || e2e_fail "remove QTTASK: exit $STATUS ($ERR)"
e2e_lines "$OUT" | grep -q '^qttask  *remove  *done  *removed from HKCU and HKLM (32-bit)\.' ||
    e2e_fail "remove: $OUT"
dump_all >"$folder/removed"
cmp -s "$folder/expected" "$folder/removed" ||
    e2e_fail "remove QTTASK changed more or less: $(diff "$folder/expected" "$folder/removed" | head -5)"

# --- a name that is not there
console disable nosuchentry "$CYRILLIC"
[ "$STATUS" = 1 ] || e2e_fail "a missing name: exit $STATUS, expected 1"
e2e_lines "$ERR" | grep -qxF 'runsweepc: nosuchentry (disable): not found' || e2e_fail "missing name: stderr '$ERR'"
e2e_expect_gone "the named entry beside the missing one" "HKCU\\$RUN" "$CYRILLIC"

# --- a Run key this user may only read, as HKLM's is to a standard user
seed
drv read-only-key "HKLM\\$RUN" >/dev/null || e2e_fail "cannot make the HKLM Run key read-only"
console disable "$ACCENTED" --dry-run
[ "$STATUS" = 1 ] || e2e_fail "dry run on a read-only key: exit $STATUS, expected 1"
e2e_lines "$OUT" | grep -q 'would not be done .*needs administrator rights' || e2e_fail "dry run: $OUT"
console disable "$ACCENTED" qttask
[ "$STATUS" = 1 ] || e2e_fail "disable on a read-only key: exit $STATUS, expected 1"
printf '%s\n' "$ERR" | grep -F "runsweepc: $ACCENTED (disable): " | grep -qF "HKLM, which needs administrator rights" ||
    e2e_fail "disable on a read-only key: stderr '$ERR'"
e2e_tool "$TOOL" dump "HKLM\\$RUN" | grep -qF "$ACCENTED"$'\t' || e2e_fail "the read-only entry was deleted"
e2e_expect_gone "qttask beside the read-only entry" "HKCU\\$RUN" qttask
e2e_expect_gone "qttask beside the read-only entry" "HKLM32\\$RUN" qttask
e2e_reset_registry # replaces the read-only key

# --- bad arguments
for args in "frobnicate" "disable --all qttask" "list --format xml" "remove" "--no-such-option"; do
    # shellcheck disable=SC2086
    console $args
    [ "$STATUS" = 2 ] || e2e_fail "'$args': exit $STATUS, expected 2"
    [ -z "$OUT" ] || e2e_fail "'$args' printed on stdout: $OUT"
    [ "$(printf '%s\n' "$ERR" | wc -l)" = 1 ] && e2e_lines "$ERR" | grep -q 'Usage: runsweepc' ||
        e2e_fail "'$args': stderr '$ERR'"
done
# --- for fleets: any letter case, --missing-ok, one version
console --VERSION
[ "$STATUS" = 0 ] && [ "$OUT" = $'runsweepc 1.06\r' ] || e2e_fail "--version: $STATUS '$OUT'"
console LIST --Format CSV
[ "$STATUS" = 0 ] && [ "$(printf '%s\n' "$OUT" | head -n 1)" = $'name,places,state,command,description\r' ] ||
    e2e_fail "LIST --Format CSV: $STATUS '$(printf '%s\n' "$OUT" | head -n 1)'"
console /?
[ "$STATUS" = 0 ] && e2e_lines "$OUT" | grep -q -- '--missing-ok' || e2e_fail "/?: $STATUS"
seed
console Disable NotOnThisMachine qttask --Missing-OK
[ "$STATUS" = 0 ] || e2e_fail "--missing-ok: exit $STATUS ($ERR)"
e2e_lines "$ERR" | grep -qxF 'runsweepc: NotOnThisMachine (disable): not found, counted as done (--missing-ok)' ||
    e2e_fail "--missing-ok: stderr '$ERR'"
console enable NotDisabledHere --missing-ok
[ "$STATUS" = 0 ] || e2e_fail "enable --missing-ok: exit $STATUS ($ERR)"
console enable NotDisabledHere
[ "$STATUS" = 1 ] || e2e_fail "enable of a name not disabled: exit $STATUS, expected 1"

# --- output that cannot be written: a full disk, a reader that went away
seed
STATUS=0
wine "$folder/runsweepc.exe" list >/dev/full 2>"$folder/err" || STATUS=$?
[ "$STATUS" = 1 ] || e2e_fail "list to a full disk: exit $STATUS, expected 1"
grep -q '^runsweepc: the output could not be written (error ' "$folder/err" || e2e_fail "full disk: $(cat "$folder/err")"
# The pipe's reading end is closed before runsweepc starts, so every write finds no reader.
STATUS=$(python3 - "$folder/runsweepc.exe" "$folder/err" <<'EOF'
import os, subprocess, sys
read_end, write_end = os.pipe()
os.close(read_end)
with open(sys.argv[2], "wb") as err:
    print(subprocess.call(["wine", sys.argv[1], "list", "--format", "json"], stdout=write_end, stderr=err))
EOF
)
[ "$STATUS" = 1 ] || e2e_fail "list to a closed pipe: exit $STATUS, expected 1"
grep -q '^runsweepc: the output could not be written (error ' "$folder/err" || e2e_fail "closed pipe: $(cat "$folder/err")"

# --- what a program writes cannot break runsweepc's lines: a record's own values with a line break,
# a Run value whose command a spreadsheet would take for a formula
seed
e2e_tool "$TOOL" set 'HKLM\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg\odd' command sz 'C:\odd.exe' >/dev/null
printf 'HKXX\r\nrunsweepc: odd (enable): re-enabled' >"$folder/forged"
e2e_tool "$TOOL" set 'HKLM\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg\odd' hkey sz \
    "@$(printf 'Z:%s' "$folder/forged" | tr '/' '\\')" >/dev/null
console enable odd
[ "$STATUS" = 1 ] || e2e_fail "enable of a record not understood: exit $STATUS"
[ "$(printf '%s\n' "$ERR" | wc -l)" = 2 ] && ! e2e_lines "$ERR" | grep -q '^runsweepc: odd (enable): re-enabled' ||
    e2e_fail "a record's value forged a line on stderr: '$ERR'"
reg_add 64 HKCU qttask '=SUM(1+1)*cmd'
console list --format csv
e2e_lines "$OUT" | grep -qF "qttask,HKCU; HKLM (32-bit),on,'=SUM(1+1)*cmd," || e2e_fail "a formula cell: $OUT"
console list --format json
e2e_lines "$OUT" | grep -qF '"command": "=SUM(1+1)*cmd"' || e2e_fail "json must show the command as it is: $OUT"

# --- a Run key that cannot be read is named, never taken for an empty one
seed
drv unreadable-key "HKLM\\$RUN" >/dev/null || e2e_fail "cannot take the rights to the HKLM Run key away"
console list
[ "$STATUS" = 1 ] || e2e_fail "list with an unreadable Run key: exit $STATUS, expected 1"
e2e_lines "$ERR" | grep -qxF 'runsweepc: the Run key of HKLM could not be read (error 5), so the entries there are not in this report.' ||
    e2e_fail "unreadable Run key: stderr '$ERR'"
e2e_lines "$OUT" | grep -q 'qttask' || e2e_fail "the readable places' entries are still listed: $OUT"
e2e_reset_registry

# --- another copy changing entries: runsweepc waits a while, then changes nothing and says so
seed
dump_all >"$folder/before-lock"
rm -f "$folder/held"
( wine "$TOOL" hold-lock 9000 >"$folder/held" 2>/dev/null ) &
holder=$!
for _ in $(seq 1 100); do
    grep -q held "$folder/held" 2>/dev/null && break
    sleep 0.1
done
grep -q held "$folder/held" || e2e_fail "the lock could not be taken for the test"
console list
[ "$STATUS" = 0 ] || e2e_fail "list while another copy changes entries: exit $STATUS ($ERR)"
started=$(date +%s)
console disable --all
waited=$(($(date +%s) - started))
[ "$STATUS" = 1 ] || e2e_fail "disable while another copy changes entries: exit $STATUS, expected 1"
e2e_lines "$ERR" | grep -qF 'runsweepc: another copy of Runsweep or runsweepc is changing startup entries; nothing was changed.' ||
    e2e_fail "busy: stderr '$ERR'"
[ "$waited" -ge 4 ] || e2e_fail "runsweepc gave up after $waited s without waiting for the other copy"
dump_all >"$folder/after-lock"
cmp -s "$folder/before-lock" "$folder/after-lock" || e2e_fail "something was changed while another copy held the lock"
wait "$holder"
console disable --all
[ "$STATUS" = 0 ] || e2e_fail "disable once the other copy finished: exit $STATUS ($ERR)"

# A manifest that runs it as the invoker: without one, a 32-bit runsweepc of a standard user would
# write to a virtual HKLM and report success.
resources=$(drv resources "$(printf 'Z:%s' "$CONSOLE_EXE" | tr '/' '\\')")
e2e_lines "$resources" | grep -q 'requestedExecutionLevel level="asInvoker"' ||
    e2e_fail "runsweepc.exe has no asInvoker manifest"
e2e_lines "$resources" | grep -qx $'OriginalFilename\trunsweepc.exe' || e2e_fail "runsweepc.exe's version record"

# --- custom.txt's corrupt lines, each named by its number and shown, on standard error
printf 'Good,A good entry\r\nno comma here\nBad,\r\n' >"$folder/custom.txt"
console list
[ "$STATUS" = 0 ] || e2e_fail "list with corrupt lines: exit $STATUS"
corrupt='Corrupt entry found in custom.txt. Format: Startup,Description'
[ "$ERR" = "runsweepc: Using custom list (custom.txt)
runsweepc: custom.txt line 2 (\"no comma here\"): $corrupt
runsweepc: custom.txt line 3 (\"Bad,\"): $corrupt" ] || e2e_fail "corrupt lines: stderr '$ERR'"

clear_run_keys
e2e_done
