#!/usr/bin/env bash
# The memory and time of loading a 64 MiB custom.txt (the largest that is read): empty lines with
# LF and with CR LF line ends, one entry every thousand lines, and entries only. Prints, per case,
# the lines and entries loaded, the memory the load adds on top of the decoded text (peak resident
# size), and the time. Built natively, where a character takes 4 bytes (2 on Windows).
#   scripts/bench_custom_list.sh [path/to/bench_custom_list]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-}
if [ -z "$exe" ]; then
    cmake --preset native -S "$root" >/dev/null
    cmake --build --preset native -j 2 --target bench_custom_list >/dev/null
    exe="$root/build/native/tests/bench_custom_list"
fi
echo "bench: custom.txt of 64 MiB, $(nproc) cores"
for kind in empty-lf empty-crlf sparse entries; do
    "$exe" "$kind"
done
