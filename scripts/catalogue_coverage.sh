#!/usr/bin/env bash
# How much of real machines' Run keys the built-in catalogue knows: builds the native coverage tool
# and runs it on tests/data/runkeys (machine listings from public diagnostic logs, with
# PROVENANCE.md and never_list.txt). Prints figures; not part of the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native --target catalogue_coverage -j2 >/dev/null
build/native/tests/catalogue_coverage tests/data/runkeys
