#!/usr/bin/env bash
# Builds and runs the split and join benchmark: generates a file (1024 MiB unless BENCH_MIB says
# otherwise) in the build tree, times `split -b` and `cat` on it, then splits it into parts of
# BENCH_PART_MIB (100) MiB and joins it back with the program's own operations under Wine, with
# the default settings and with IoPairCount 16. Checks every result against the source and
# removes the files. Then splits files of 1,000 and of 100,000 small parts (BENCH_SMALL_KIB, 4 KiB
# each) and joins them back, with IoPairCount 16: the cost of a chunk must not grow with the number
# of parts, so the two give about the same MiB/s.
# The 32-bit program is measured where it can run, the 64-bit one otherwise.
set -euo pipefail
source "$(dirname "$0")/arch.sh"
root=$arch_root
side=$(arch_preferred)
build=$(arch_build_dir "$side")
arch_say "$side" "benchmark of the program"
mib=${BENCH_MIB:-1024}
part_mib=${BENCH_PART_MIB:-100}

bash "$root/scripts/build.sh" "$side" >/dev/null

work=$build_root/bench-ops
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

echo "generating $mib MiB"
head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/source.bin"

seconds() { awk -v s="$1" -v e="$2" 'BEGIN { printf "%.3f", e - s }'; }
rate() { awk -v m="$mib" -v t="$1" 'BEGIN { printf "%.1f", m / t }'; }

# The peers, on the same file in the same run. Neither they nor the program sync to disk.
start=$(date +%s.%N)
split -b "${part_mib}M" -d -a 3 --numeric-suffixes=1 "$work/source.bin" "$work/peer.bin."
end=$(date +%s.%N)
split_time=$(seconds "$start" "$end")
start=$(date +%s.%N)
cat "$work"/peer.bin.* >"$work/peer.bin"
end=$(date +%s.%N)
cat_time=$(seconds "$start" "$end")
cmp -s "$work/source.bin" "$work/peer.bin" || { echo "cat result differs" >&2; exit 1; }
rm -f "$work"/peer.bin*

winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }

printf '\n%-28s %10s %10s\n' "" "seconds" "MiB/s"
printf '%-28s %10s %10s\n' "split -b ${part_mib}M" "$split_time" "$(rate "$split_time")"
printf '%-28s %10s %10s\n' "cat of the parts" "$cat_time" "$(rate "$cat_time")"

for pairs in 1 16; do
    out=$("$root/scripts/wine-run.sh" "$build/wine" "$build/bench/bench_split_join.exe" \
        "$(winpath "$work/source.bin")" "$part_mib" "$pairs")
    cmp -s "$work/source.bin" "$work/source.bin.orig" || { echo "source changed" >&2; exit 1; }
    cmp -s "$work/source.bin.orig" "$work/source.bin" || { echo "join differs" >&2; exit 1; }
    rm -f "$work"/source.bin.[0-9]*
    mv "$work/source.bin.orig" "$work/source.bin"
    echo "IoPairCount $pairs, 1 MiB buffers:"
    echo "$out" | sed 's/^/  /'
    split_rate=$(echo "$out" | awk '/^split/ { print $6 }')
    join_rate=$(echo "$out" | awk '/^join/ { print $6 }')
    awk -v s="$split_rate" -v j="$join_rate" -v ps="$(rate "$split_time")" -v pc="$(rate "$cat_time")" -v n="$pairs" 'BEGIN {
        ceiling = 50 * n
        printf "  split: %.0f %% of the %d MiB/s design ceiling, %.2f x split -b\n", 100 * s / ceiling, ceiling, s / ps
        printf "  join:  %.0f %% of the %d MiB/s design ceiling, %.2f x cat\n", 100 * j / ceiling, ceiling, j / pc
    }'
done

small_kib=${BENCH_SMALL_KIB:-4}
echo
echo "Small parts of $small_kib KiB, IoPairCount 16, 1 MiB buffers:"
for count in 1000 100000; do
    head -c $((count * small_kib * 1024)) /dev/urandom >"$work/small.bin"
    cp "$work/small.bin" "$work/small.bin.expected"
    out=$("$root/scripts/wine-run.sh" "$build/wine" "$build/bench/bench_split_join.exe" \
        "$(winpath "$work/small.bin")" "${small_kib}K" 16)
    cmp -s "$work/small.bin.expected" "$work/small.bin.orig" || { echo "source changed" >&2; exit 1; }
    cmp -s "$work/small.bin.expected" "$work/small.bin" || { echo "join differs" >&2; exit 1; }
    # Too many names for one command line.
    find "$work" -name 'small.bin*' -delete
    echo "$out" | sed 's/^/  /'
done
