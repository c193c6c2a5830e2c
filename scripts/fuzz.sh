#!/usr/bin/env bash
# Fuzzes the custom-list reader (bytes, their decoding and the lines) with libFuzzer under ASan+UBSan.
# (The ANSI decoder is byte by byte: its unit test tries every byte.)
#   scripts/fuzz.sh --short        about 10 s per harness (what the test command runs; the long runs are
#                                  scripts/reliability.sh's and this script's own)
#   scripts/fuzz.sh [SECONDS]      a longer run, 600 s per harness unless given
# Prints the executions run and the corpus size of each harness. Exits non-zero on a finding;
# the crashing input is left in build/fuzz/findings/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

seconds=600
case "${1:-}" in
--short) seconds=${RUNSWEEP_FUZZ_SECONDS:-10} ;;
"") ;;
*) seconds=$1 ;;
esac

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc 2>/dev/null || echo 2)" --target fuzz_custom_list >/dev/null

mkdir -p build/fuzz/findings
status=0
for name in custom_list; do
    corpus="build/fuzz/corpus_$name"
    mkdir -p "$corpus"
    cp -n tests/fuzz/corpus_"$name"/* "$corpus"/ 2>/dev/null || true
    log="build/fuzz/fuzz_$name.log"
    set +e
    ./build/fuzz/tests/fuzz/fuzz_"$name" "$corpus" -dict=tests/fuzz/custom_list.dict -max_total_time="$seconds" \
        -max_len=4096 -print_final_stats=1 -artifact_prefix=build/fuzz/findings/"$name"- >"$log" 2>&1
    rc=$?
    set -e
    runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' || echo "?")
    files=$(find "$corpus" -type f | wc -l)
    if [ $rc -eq 0 ]; then
        echo "fuzz_$name: ${runs} executions in ${seconds} s, corpus ${files} inputs, no finding"
    else
        echo "fuzz_$name: FINDING after ${runs} executions (exit $rc); see $log"
        tail -n 30 "$log"
        status=1
    fi
done
exit $status
