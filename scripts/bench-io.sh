#!/usr/bin/env bash
# Builds and runs the I/O engine benchmark: generates a file (512 MiB unless BENCH_MIB says
# otherwise) in the build tree, times cat copying it, copies it through the engine with 1, 4 and
# 16 requests in flight under Wine, checks the last copy and removes the files.
# The 32-bit program is measured where it can run, the 64-bit one otherwise.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
use_preferred_side "benchmark of the program"
mib=${BENCH_MIB:-512}

build_chosen_side
fresh_work bench-io

echo "generating $mib MiB"
head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/source.bin"

# Both copies go through the page cache (Wine does not bypass it for unbuffered handles), so
# neither is synced.
start=$(date +%s.%N)
cat "$work/source.bin" >"$work/cat.bin"
end=$(date +%s.%N)
rm -f "$work/cat.bin"
cat_rate=$(awk -v m="$mib" -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", m / (e - s) }')

run_in_wine "$build/bench/bench_io.exe" \
    "$(winpath "$work/source.bin")" "$(winpath "$work")" "$cat_rate"

if cmp -s "$work/source.bin" "$work/copy-16.bin"; then
    echo "last copy identical to the source"
else
    echo "last copy DIFFERS from the source" >&2
    exit 1
fi
