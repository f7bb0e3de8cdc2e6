#!/usr/bin/env bash
# Recovery data: generates a file (1024 MiB unless BENCH_MIB says otherwise) in the build tree and
# has the program split it into parts of BENCH_PART_MIB (100) MiB without the checksum list and
# with it, without recovery data and with 5 % and 10 % of it (10 % without the list too, and with
# 1 worker up to all), then join the whole set with its recovery data beside it and without (the
# ratio of the two is printed), then join it with one part lost, which it rebuilds first. In the
# same run par2 (par2cmdline) makes the same recovery data for the same parts, one slice a part,
# at 5 % and 10 %. Prints seconds and MiB/s of each, and the ratios at 10 %; first, each kernel's
# rate on one thread. Every timed run starts after a pause of BRINDLECOT_BENCH_SETTLE_MS (3000).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
use_preferred_side "recovery benchmark of the program"
mib=${BENCH_MIB:-1024}
part_mib=${BENCH_PART_MIB:-100}

build_chosen_side
fresh_work bench-recovery
head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/source.bin"
run_in_wine "$build/bench/bench_kernels.exe"
echo "$mib MiB in parts of $part_mib MiB, IoPairCount 16, BufferSize 16 MiB:"
out=$(run_in_wine "$build/bench/bench_recovery.exe" "$(winpath "$work/source.bin")" "$part_mib")
echo "$out" | sed 's/^/  /'
# The seconds of the last line that starts so: the split with 10 % and every worker, and the
# same split without the list, which par2 does not make either.
seconds_of() { echo "$out" | awk -v p="$1" 'index($0, p) == 1 { for (i = 2; i <= NF; i++) if ($i == "s") v = $(i - 1) } END { print v }'; }
ours10=$(seconds_of "split, list, recovery 10 %")
bare10=$(seconds_of "split, no list, recovery 10 %")
# par2 starts after the same pause as each of the program's runs (see RecoveryBench.cpp).
settle=$(awk -v ms="${BRINDLECOT_BENCH_SETTLE_MS:-3000}" 'BEGIN { printf "%.3f", ms / 1000 }')

# par2 on the same parts (cut here by split), with the same slices and blocks.
split -b "${part_mib}M" -d -a 3 --numeric-suffixes=1 "$work/source.bin" "$work/peer.bin."
parts=("$work"/peer.bin.[0-9][0-9][0-9])
slice=$((part_mib * 1024 * 1024))
for percent in 5 10; do
    blocks=$(((${#parts[@]} * percent + 99) / 100))
    rm -f "$work"/peer*.par2
    sleep "$settle"
    start=$(date +%s.%N)
    par2 create -q -q -s"$slice" -c"$blocks" -n1 "$work/peer.par2" "${parts[@]}" >/dev/null
    end=$(date +%s.%N)
    seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f", e - s }')
    echo "  par2 create, $percent % ($blocks blocks): $seconds s"
    [ "$percent" = 10 ] && theirs10=$seconds
done
awk -v o="$ours10" -v b="$bare10" -v t="$theirs10" 'BEGIN {
    printf "  at 10 %%: the whole split with recovery data %.2f s, par2 create alone %.2f s (par2 takes %.2f x ours; goal at least 2 x)\n",
        o, t, t / o
    printf "  at 10 %%, without the list: the split %.2f s (par2 takes %.2f x ours)\n", b, t / b }'
