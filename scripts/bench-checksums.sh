#!/usr/bin/env bash
# Split and join with the SHA-256 list on and off, 16 pairs of 16 MiB buffers: generates a file
# (1024 MiB unless BENCH_MIB says otherwise) in the build tree and prints MiB/s for each, in five
# rounds that take turns, then the medians and their ratio.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
use_preferred_side "checksum benchmark of the program"
mib=${BENCH_MIB:-1024}
part_mib=${BENCH_PART_MIB:-100}

build_chosen_side
fresh_work bench-checksums
head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/source.bin"
echo "$mib MiB in parts of $part_mib MiB, IoPairCount 16, BufferSize 16 MiB, list off and on in turn:"
run_in_wine "$build/bench/bench_checksums.exe" \
    "$(winpath "$work/source.bin")" "$part_mib" | sed 's/^/  /'

# The defaults (one pair of 1 MiB): the list must leave them at their 50 MiB/s ceiling.
small=$((mib < 200 ? mib : 200))
head -c $((small * 1024 * 1024)) "$work/source.bin" >"$work/default.bin"
echo "$small MiB in parts of 50 MiB, the defaults (IoPairCount 1, BufferSize 1 MiB), list off and on:"
run_in_wine "$build/bench/bench_checksums.exe" \
    "$(winpath "$work/default.bin")" 50 1 1 1 | sed 's/^/  /'
