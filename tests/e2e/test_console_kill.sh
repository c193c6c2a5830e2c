#!/usr/bin/env bash
# "runsweepc disable --all" killed after every registry change in turn. The fault-injection build
# (the mingw-faults preset; RUNSWEEP_FAULTS_EXE names its Runsweep.exe, runsweepc.exe is beside it)
# ends itself with exit code 99 right after its N-th change when RUNSWEEP_KILL_AFTER_WRITES=N. Four
# entries live in HKCU, HKLM and HKLM's 32-bit view, two of them in more than one place. After each
# kill every entry must be, in each place, either still there with its command or gone with a
# complete record that holds that place's command; then the normal runsweepc finishes the job.
# Prints "kills K, checks C, entries lost L, program runs R, crashes X" before its verdict.
source "$(dirname "$0")/lib.sh" "$1"

faults_exe=${RUNSWEEP_FAULTS_EXE:-}
faults_console=$([ -n "$faults_exe" ] && printf '%s/runsweepc.exe' "$(dirname "$faults_exe")")
if [ -z "$faults_exe" ] || [ ! -f "$faults_console" ]; then
    e2e_cannot_run "no fault-injection build of runsweepc (RUNSWEEP_FAULTS_EXE=${faults_exe:-unset});" \
        "build the mingw-faults preset's runsweepc and point RUNSWEEP_FAULTS_EXE at its Runsweep.exe"
fi
CONSOLE_EXE="$E2E_BUILD/runsweepc.exe"
TOOL="$E2E_BUILD/tests/registry_tool.exe"
work=$(e2e_temp_dir)

RUN='Software\Microsoft\Windows\CurrentVersion\Run'
RECORDS='HKLM\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg'
# name|HKCU command|HKLM command|HKLM 32-bit command; "-" for no value.
ENTRIES=(
    'qttask|"C:\Program Files\QuickTime\qttask.exe" -atboottime|-|C:\Program Files (x86)\QuickTime\qttask.exe'
    'jusched|-|-|C:\Program Files (x86)\Java\jre\bin\jusched.exe'
    'ctfmon|C:\WINDOWS\system32\ctfmon.exe /user|C:\WINDOWS\system32\ctfmon.exe /machine|C:\WINDOWS\SysWOW64\ctfmon.exe'
    'NeroCheck|-|C:\Program Files\Nero\NeroCheck.exe|-'
)

# One batch of registry_tool commands puts back the starting state: the three Run keys with the
# entries and a bystander, and no records.
{
    printf 'delete-values\t%s\n' "HKCU\\$RUN" "HKLM\\$RUN" "HKLM32\\$RUN"
    printf 'delete-tree\t%s\n' "$RECORDS"
    for entry in "${ENTRIES[@]}"; do
        IFS='|' read -r name user machine machine32 <<<"$entry"
        [ "$user" = - ] || printf 'set\tHKCU\\%s\t%s\tsz\t%s\0\n' "$RUN" "$name" "$user"
        [ "$machine" = - ] || printf 'set\tHKLM\\%s\t%s\tsz\t%s\0\n' "$RUN" "$name" "$machine"
        [ "$machine32" = - ] || printf 'set\tHKLM32\\%s\t%s\tsz\t%s\0\n' "$RUN" "$name" "$machine32"
    done
    printf 'set\tHKLM32\\%s\tBystander\tsz\tC:\\keep.exe\0\n' "$RUN"
} >"$work/seed.txt"
seed_path="Z:$(printf '%s' "$work/seed.txt" | tr '/' '\\')"
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

# Checks a snapshot: prints "checks C lost L" and one line per problem.
check() { # file final(0|1)
    SNAPSHOT=$1 FINAL=$2 python3 - "${ENTRIES[@]}" <<'EOF'
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
    if vtype == "1":
        data = unescape(data).rstrip("\0")
    if section == "records":
        if record is not None:
            record[name] = data
    else:
        run[section][name] = data
problems, checks, lost = [], 0, 0
for entry in sys.argv[1:]:
    name, *commands = entry.split("|")
    record = records.get(name)
    recorded = set()
    if record is not None and all(v in record for v in ("command", "hkey", "inimapping", "item", "key")):
        count = int(record.get("RunsweepPlaces", "01000000")[:2], 16)
        recorded.add((record["hkey"], record["key"].upper(), record["command"]))
        for i in range(2, count + 1):
            if all(("Runsweep%s%d" % (v, i)) in record for v in ("Command", "Hkey", "Key")):
                recorded.add((record["RunsweepHkey%d" % i], record["RunsweepKey%d" % i].upper(),
                               record["RunsweepCommand%d" % i]))
    for place, command in zip(("HKCU", "HKLM", "HKLM32"), commands):
        if command == "-":
            continue
        checks += 1
        now = run[place].get(name)
        if now == command:
            if os.environ["FINAL"] == "1":
                problems.append("%s is still in %s" % (name, place))
            continue
        if now is not None:
            problems.append("%s in %s was changed: %r" % (name, place, now))
        hkey, key = places[place]
        if (hkey, key.upper(), command) not in recorded:
            lost += 1
            problems.append("%s left %s without a record of its command; record: %r" % (name, place, record))
if run["HKLM32"].get("Bystander") != "C:\\keep.exe":
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

seed && snapshot "$work/seeded" || e2e_fail "cannot set up"
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
        snapshot "$work/after" && tally "$(check "$work/after" 1)" "N=$n (not killed)"
        continue
        ;;
    *)
        crashes=$((crashes + 1))
        e2e_fail "N=$n: runsweepc ended with $STATUS, expected 99 (killed) or 0"
        break
        ;;
    esac
    snapshot "$work/killed" || continue
    tally "$(check "$work/killed" 0)" "killed after change $n"

    run_console "$CONSOLE_EXE" "$work/killed"
    [ $STATUS = 0 ] || {
        crashes=$((crashes + 1))
        e2e_fail "N=$n: the finishing run ended with $STATUS: $(cat "$work/out")"
    }
    snapshot "$work/finished" && tally "$(check "$work/finished" 1)" "finishing after a kill at change $n"
done
[ $completed = 1 ] || e2e_fail "no run got through without being killed (last N=$n)"
[ $kills -gt 0 ] || e2e_fail "no run was killed: is $faults_console the fault-injection build?"
[ $lost = 0 ] || e2e_fail "$lost entries lost"

echo "[$E2E_NAME] kills $kills, checks $checks, entries lost $lost, program runs $runs, crashes $crashes"
e2e_tool "$TOOL" delete-values "HKLM32\\$RUN" >>"$E2E_LOG"
e2e_reset_registry
e2e_done
