#!/usr/bin/env bash
# Mutation check of the portable core: applies each small deliberate fault of tests/mutants.txt, one
# at a time, to a scratch copy of the sources, builds the native unit tests (one build folder, so
# each fault costs an incremental build) and runs them. A fault the tests notice is killed; one they
# do not is a survivor, printed with the line that names it. Prints the kill rate at the end.
#
#   scripts/mutation.sh [--only REGEX] [--keep]
#
# tests/mutants.txt holds one fault a line, tab-separated: the file, the text as it is (found
# exactly once in the file), the text it becomes, and optionally "equivalent: why" for a fault that
# changes no behaviour (it is left out of the rate); "↵" stands for a line break. A fault whose text is no longer found, or found
# more than once, is stale; a fault that does not build is reported too. Either makes the run fail,
# as does a survivor. Not part of the test command: it takes a while (about half a minute a fault).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
list="$root/tests/mutants.txt"
only=""
keep=0
while [ $# -gt 0 ]; do
    case $1 in
    --only) only=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: scripts/mutation.sh [--only REGEX] [--keep]" >&2; exit 2 ;;
    esac
done

work="$root/build/mutation"
src="$work/src"
build="$work/build"
mkdir -p "$src"
# The sources as they are now, committed or not; the build folder stays between runs.
# (Copied only when changed, so the build stays incremental from one run to the next.)
(cd "$root" && git ls-files -co --exclude-standard -z | grep -zv '^build/' | while IFS= read -r -d '' file; do
    if ! cmp -s "$file" "$src/$file"; then
        mkdir -p "$src/$(dirname "$file")" && cp -p "$file" "$src/$file"
    fi
done) || exit 1
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null || exit 1
tests="$build/tests/runsweep_tests"
build_tests() { cmake --build "$build" -j 2 --target runsweep_tests >"$work/build.log" 2>&1; }
run_tests() { (cd "$build/tests" && timeout 300 "$tests" --gtest_brief=1 >"$work/test.log" 2>&1); }

echo "mutation: building the unchanged sources"
if ! build_tests || ! run_tests; then
    echo "mutation: the unchanged sources do not build or pass their tests; see $work" >&2
    exit 1
fi

# Applies or takes back one fault with exact text replacement; "stale" or "ambiguous" when the
# original text is not found exactly once.
mutate() { # file original replacement
    python3 - "$src/$1" "$2" "$3" <<'EOF'
import sys
path, original, replacement = (arg.replace("\u21b5", "\n") for arg in sys.argv[1:4])
try:
    text = open(path, encoding="utf-8").read()
except FileNotFoundError:
    print("stale"); sys.exit(1)
count = text.count(original)
if count != 1:
    print("stale" if count == 0 else "ambiguous"); sys.exit(1)
open(path, "w", encoding="utf-8").write(text.replace(original, replacement))
EOF
}

total=0 killed=0 survived=0 equivalent=0 stale=0 unbuilt=0
survivors=()
n=0
while IFS=$'\t' read -r file original replacement note || [ -n "$file" ]; do
    case $file in '' | '#'*) continue ;; esac
    n=$((n + 1))
    label="#$n $file: '$original' -> '$replacement'"
    if [ -n "$only" ] && ! printf '%s\n' "$label" | grep -qE -- "$only"; then
        continue
    fi
    total=$((total + 1))
    cp "$src/$file" "$work/original" 2>/dev/null
    if ! why=$(mutate "$file" "$original" "$replacement"); then
        stale=$((stale + 1))
        echo "$why      $label"
        continue
    fi
    if ! build_tests; then
        unbuilt=$((unbuilt + 1))
        echo "not built  $label"
        [ "$keep" = 1 ] && cp "$work/build.log" "$work/unbuilt-$n.log"
    elif run_tests; then
        if [ -n "${note:-}" ]; then
            equivalent=$((equivalent + 1))
            echo "equivalent $label ($note)"
        else
            survived=$((survived + 1))
            survivors+=("$label")
            echo "SURVIVED   $label"
        fi
    else
        killed=$((killed + 1))
        echo "killed     $label"
    fi
    cp "$work/original" "$src/$file"
done <"$list"
build_tests >/dev/null # leave the scratch build as the sources are

counted=$((total - equivalent - stale - unbuilt))
rate=$([ "$counted" -gt 0 ] && echo "scale=1; 100 * $killed / $counted" | bc || echo 0)
echo
echo "mutants: $total; killed $killed of $counted ($rate%); survived $survived; equivalent $equivalent;" \
    "stale $stale; not built $unbuilt"
for label in "${survivors[@]}"; do
    echo "survivor: $label"
done
[ "$survived" -eq 0 ] && [ "$stale" -eq 0 ] && [ "$unbuilt" -eq 0 ]
