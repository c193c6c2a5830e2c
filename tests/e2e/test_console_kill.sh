#!/usr/bin/env bash
# "runsweepc disable --all" killed after every registry change in turn. The fault-injection build
# (the mingw-faults preset; RUNSWEEP_FAULTS_EXE names its Runsweep.exe, runsweepc.exe is beside it)
# ends itself with exit code 99 right after its N-th change when RUNSWEEP_KILL_AFTER_WRITES=N. Two
# rounds: four entries live in HKCU, HKLM and HKLM's 32-bit view, two of them in more than one
# place; then the same programs have written themselves back with other commands (a new version's
# path, an expandable value where a plain one was) over records an earlier Disable left, one of which
# alone keeps a place's command. After each kill every place's newest command (its Run value, else
# the earlier record's) must be in its Run key or in the entry's record; then the normal runsweepc
# finishes the job and each record keeps exactly those commands.
# Prints "kills K, checks C, entries lost L, program runs R, crashes X" before its verdict.
source "$(dirname "$0")/lib.sh" "$1"

faults_exe=${RUNSWEEP_FAULTS_EXE:-}
faults_console=$([ -n "$faults_exe" ] && printf '%s/runsweepc.exe' "$(dirname "$faults_exe")")
if [ -z "$faults_exe" ] || [ ! -f "$faults_console" ]; then
    echo "[$E2E_NAME] skipped: no fault-injection build of runsweepc (RUNSWEEP_FAULTS_EXE=${faults_exe:-unset});" \
        "build the mingw-faults preset's runsweepc and point RUNSWEEP_FAULTS_EXE at its Runsweep.exe"
    e2e_cleanup
    rm -f "$E2E_LOG"
    exit 0
fi
CONSOLE_EXE="$E2E_BUILD/runsweepc.exe"
TOOL="$E2E_BUILD/tests/registry_tool.exe"
work=$(e2e_temp_dir)

RUN='Software\Microsoft\Windows\CurrentVersion\Run'
RECORDS='HKLM\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg'
RECORD_RUN_KEY='SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
RECORD_RUN_KEY32='SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'
# name|HKCU command|HKLM command|HKLM 32-bit command|earlier record; "-" for none. A command that
# begins with "~" is REG_EXPAND_SZ. The earlier record as "PLACE=command" items separated by ";",
# the first in its five standard values, the others in its values of each place.
ROUND1=(
    'qttask|"C:\Program Files\QuickTime\qttask.exe" -atboottime|-|C:\Program Files (x86)\QuickTime\qttask.exe|-'
    'jusched|-|-|C:\Program Files (x86)\Java\jre\bin\jusched.exe|-'
    'ctfmon|C:\WINDOWS\system32\ctfmon.exe /user|C:\WINDOWS\system32\ctfmon.exe /machine|C:\WINDOWS\SysWOW64\ctfmon.exe|-'
    'NeroCheck|-|C:\Program Files\Nero\NeroCheck.exe|-|-'
)
# Written back since: qttask as an expandable value (its 32-bit command only in the record), Discord
# from a new version's folder, ctfmon into HKLM with other arguments; jusched stayed away.
ROUND2=(
    'qttask|~"%ProgramFiles%\QuickTime\qttask.exe" -atboottime|-|-|HKCU="C:\Program Files\QuickTime\qttask.exe" -atboottime;HKLM32=C:\Program Files (x86)\QuickTime\qttask.exe'
    'Discord|C:\Users\me\AppData\Local\Discord\app-1.0.9062\Discord.exe|-|-|HKCU=C:\Users\me\AppData\Local\Discord\app-1.0.9061\Discord.exe'
    'ctfmon|-|C:\WINDOWS\system32\ctfmon.exe /machine /v2|-|HKCU=C:\WINDOWS\system32\ctfmon.exe /user;HKLM=C:\WINDOWS\system32\ctfmon.exe /machine;HKLM32=C:\WINDOWS\SysWOW64\ctfmon.exe'
    'jusched|-|-|-|HKLM32=C:\Program Files (x86)\Java\jre\bin\jusched.exe'
)

# One batch of registry_tool commands puts back a round's starting state: the three Run keys with
# the entries and a bystander, and the earlier records.
write_seed() { # file entries...
    local file=$1 entry name user machine machine32 earlier item place command first hkey key
    local -a items
    shift
    {
        printf 'delete-values\t%s\n' "HKCU\\$RUN" "HKLM\\$RUN" "HKLM32\\$RUN"
        printf 'delete-tree\t%s\n' "$RECORDS"
        for entry in "$@"; do
            IFS='|' read -r name user machine machine32 earlier <<<"$entry"
            for place in HKCU HKLM HKLM32; do
                case $place in HKCU) command=$user ;; HKLM) command=$machine ;; *) command=$machine32 ;; esac
                [ "$command" = - ] && continue
                if [ "${command#\~}" != "$command" ]; then
                    printf 'set\t%s\\%s\t%s\texpand_sz\t%s\0\n' "$place" "$RUN" "$name" "${command#\~}"
                else
                    printf 'set\t%s\\%s\t%s\tsz\t%s\0\n' "$place" "$RUN" "$name" "$command"
                fi
            done
            [ "$earlier" = - ] && continue
            first=1
            IFS=';' read -r -a items <<<"$earlier"
            for item in "${items[@]}"; do
                place=${item%%=*}
                command=${item#*=}
                if [ $first = 1 ]; then
                    first=0
                    hkey=HKLM
                    key=$RECORD_RUN_KEY
                    [ "$place" = HKCU ] && hkey=HKCU
                    [ "$place" = HKLM32 ] && key=$RECORD_RUN_KEY32
                    printf 'set\t%s\\%s\t%s\tsz\t%s\0\n' "$RECORDS" "$name" command "$command" \
                        "$RECORDS" "$name" hkey "$hkey" "$RECORDS" "$name" inimapping 0 \
                        "$RECORDS" "$name" item "$name" "$RECORDS" "$name" key "$key"
                    printf 'set\t%s\\%s\tRunsweepType\tdword\t1\n' "$RECORDS" "$name"
                else
                    printf 'set\t%s\\%s\tRunsweepType%s\tdword\t1\n' "$RECORDS" "$name" "$place"
                    printf 'set\t%s\\%s\tRunsweepCommand%s\tsz\t%s\0\n' "$RECORDS" "$name" "$place" "$command"
                fi
            done
        done
        printf 'set\tHKLM32\\%s\tBystander\tsz\tC:\\keep.exe\0\n' "$RUN"
    } >"$file"
}
seed() {
    e2e_tool "$TOOL" batch "$seed_path" >>"$E2E_LOG" && return 0
    e2e_fail "cannot put back the starting state"
    return 1
}

# The three Run keys and the records, as registry_tool dumps them: a header line for each of the four
# keys, and the Run keys themselves, which are always there. Status 1 when no attempt read them all.
snapshot() { # file
    local attempt
    for attempt in 1 2 3; do
        e2e_tool "$TOOL" dump-tree "HKCU\\$RUN" "HKLM\\$RUN" "HKLM32\\$RUN" "$RECORDS" >"$1"
        if [ "$(grep -c '^== ' "$1")" = 4 ] && [ "$(grep -c '^\[Software' "$1")" = 3 ] && ! grep -q '^error ' "$1"; then
            return 0
        fi
        echo "snapshot: attempt $attempt read $(wc -l <"$1") lines" >>"$E2E_LOG"
        sleep 0.5
    done
    e2e_fail "cannot read the registry"
    return 1
}

# Checks a snapshot against a round's entries: prints "checks C lost L" and one line per problem.
# A record keeps a place's command in its value of that place (RunsweepCommandHKLM32, ...), or else
# in its five standard values when they name the place.
check() { # file final(0|1) entries...
    local file=$1 final=$2
    shift 2
    SNAPSHOT=$file FINAL=$final python3 - "$@" <<'EOF'
import os, re, sys
places = {"HKCU": ("HKCU", r"SOFTWARE\Microsoft\Windows\CurrentVersion\Run"),
          "HKLM": ("HKLM", r"SOFTWARE\Microsoft\Windows\CurrentVersion\Run"),
          "HKLM32": ("HKLM", r"SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Run")}
run = {p: {} for p in places}
records = {}
section = None
record = None
def unescape(text):
    return re.sub(r"%([0-9A-F]{2})", lambda m: chr(int(m.group(1), 16)), text)
for line in open(os.environ["SNAPSHOT"], encoding="utf-8").read().split("\n"):
    if line.startswith("== "):
        key = line[3:]
        section = "records" if "startupreg" in key else key.split("\\")[0]
        record = None
        continue
    if line.startswith("["):
        name = line[1:-1].split("\\")[-1]
        record = None if name == "startupreg" else records.setdefault(name, {})
        continue
    parts = line.split("\t")
    if len(parts) != 3:
        continue
    name, vtype, data = unescape(parts[0]), parts[1], parts[2]
    if vtype in ("1", "2"):
        data = (vtype, unescape(data).rstrip("\0"))
    if section == "records":
        if record is not None:
            record[name] = data
    else:
        run[section][name] = data
def text(value):
    return value[1] if isinstance(value, tuple) else None
def kept(record, place):
    if record is None:
        return None
    types = {"01000000": "1", "02000000": "2"}
    own = record.get("RunsweepCommand" + place)
    if own is not None:
        return (types.get(record.get("RunsweepType" + place), "?"), text(own))
    hkey, key = places[place]
    if "command" in record and text(record.get("hkey")) == hkey and (text(record.get("key")) or "").upper() == key.upper():
        return (types.get(record.get("RunsweepType", "01000000"), "?"), text(record["command"]))
    return None
problems, checks, lost = [], 0, 0
for entry in sys.argv[1:]:
    name, user, machine, machine32, earlier = entry.split("|")
    record = records.get(name)
    newest = {}
    if earlier != "-":
        for item in earlier.split(";"):
            place, command = item.split("=", 1)
            newest[place] = ("1", command)
    for place, command in zip(("HKCU", "HKLM", "HKLM32"), (user, machine, machine32)):
        if command != "-":
            newest[place] = ("2", command[1:]) if command.startswith("~") else ("1", command)
    for place, want in sorted(newest.items()):
        checks += 1
        now = run[place].get(name)
        if now == want:
            if os.environ["FINAL"] == "1":
                problems.append("%s is still in %s" % (name, place))
            continue
        if now is not None:
            problems.append("%s in %s was changed: %r" % (name, place, now))
        if kept(record, place) != want:
            lost += 1
            problems.append("%s's newest command in %s, %r, is in neither its Run key nor its record: %r"
                            % (name, place, want, record))
    if os.environ["FINAL"] == "1" and record is not None:
        extra = [p for p in places if p not in newest and kept(record, p) is not None]
        if extra:
            problems.append("%s's record keeps a place it never had: %r" % (name, extra))
if run["HKLM32"].get("Bystander") != ("1", "C:\\keep.exe"):
    problems.append("the bystander was touched")
print("checks %d lost %d" % (checks, lost))
print("\n".join(problems))
EOF
}

kills=0
checks=0
lost=0
runs=0
crashes=0
tally() { # check output, label
    local counts
    counts=$(printf '%s\n' "$1" | head -n 1)
    checks=$((checks + $(echo "$counts" | awk '{ print $2 }')))
    lost=$((lost + $(echo "$counts" | awk '{ print $4 }')))
    printf '%s\n' "$1" | tail -n +2 | grep . | while IFS= read -r problem; do
        echo "FAIL [$E2E_NAME]: $2: $problem" >&2
    done
    [ -z "$(printf '%s\n' "$1" | tail -n +2 | grep .)" ] || E2E_FAILURES=$((E2E_FAILURES + 1))
}

# Runs a runsweepc and sets STATUS; a run that changed nothing and ended without its own exit code
# or output (Wine did not start it) is tried again.
run_console() { # exe snapshot-before
    local attempt
    for attempt in 1 2 3; do
        STATUS=0
        wine "$1" disable --all >"$work/out" 2>>"$E2E_LOG" || STATUS=$?
        runs=$((runs + 1))
        case $STATUS in 0 | 99) return 0 ;; esac
        snapshot "$work/unstarted" || return 0
        if [ -s "$work/out" ] || ! cmp -s "$2" "$work/unstarted"; then
            return 0
        fi
        runs=$((runs - 1))
        echo "run_console: $1 did not start (status $STATUS), attempt $attempt" >>"$E2E_LOG"
        sleep 0.5
    done
}

for round in 1 2; do
    if [ $round = 1 ]; then entries=("${ROUND1[@]}"); else entries=("${ROUND2[@]}"); fi
    write_seed "$work/seed$round.txt" "${entries[@]}"
    seed_path="Z:$(printf '%s' "$work/seed$round.txt" | tr '/' '\\')"
    seed && snapshot "$work/seeded" || e2e_fail "cannot set up round $round"
    n=0
    completed=0
    while [ $completed = 0 ] && [ $n -lt 80 ]; do
        n=$((n + 1))
        seed || break
        export RUNSWEEP_KILL_AFTER_WRITES=$n
        run_console "$faults_console" "$work/seeded"
        unset RUNSWEEP_KILL_AFTER_WRITES
        case $STATUS in
        99) kills=$((kills + 1)) ;;
        0)
            completed=1
            snapshot "$work/after" && tally "$(check "$work/after" 1 "${entries[@]}")" "round $round, N=$n (not killed)"
            continue
            ;;
        *)
            crashes=$((crashes + 1))
            e2e_fail "round $round, N=$n: runsweepc ended with $STATUS, expected 99 (killed) or 0"
            break
            ;;
        esac
        snapshot "$work/killed" || continue
        tally "$(check "$work/killed" 0 "${entries[@]}")" "round $round, killed after change $n"

        run_console "$CONSOLE_EXE" "$work/killed"
        [ $STATUS = 0 ] || {
            crashes=$((crashes + 1))
            e2e_fail "round $round, N=$n: the finishing run ended with $STATUS: $(cat "$work/out")"
        }
        snapshot "$work/finished" &&
            tally "$(check "$work/finished" 1 "${entries[@]}")" "round $round, finishing after a kill at change $n"
    done
    [ $completed = 1 ] || e2e_fail "round $round: no run got through without being killed (last N=$n)"
done
[ $kills -gt 0 ] || e2e_fail "no run was killed: is $faults_console the fault-injection build?"
[ $lost = 0 ] || e2e_fail "$lost entries lost"

echo "[$E2E_NAME] kills $kills, checks $checks, entries lost $lost, program runs $runs, crashes $crashes"
e2e_tool "$TOOL" delete-values "HKLM32\\$RUN" >>"$E2E_LOG"
e2e_reset_registry
e2e_done
