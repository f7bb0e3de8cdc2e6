#!/usr/bin/env bash
# Builds and runs the split and join benchmark: generates a file (1024 MiB unless BENCH_MIB says
# otherwise) in the build tree, times `split -b` and `cat` on it, then splits it into parts of
# BENCH_PART_MIB (100) MiB and joins it back with the program's own operations under Wine, with
# the default settings and with IoPairCount 16. Checks every result against the source and
# removes the files.
# Then small parts (BENCH_SMALL_KIB, 4 KiB each), with IoPairCount 16: the program splits files of
# 1,000 and 10,000 parts (BENCH_SMALL_SPLITS) and joins them back, and it joins 1,000 and 100,000
# parts made by GNU split. The cost of a chunk must not grow with the number of parts, so the two
# joins give about the same MiB/s. The program does not split into 100,000 parts: under Wine every
# new file name costs a read of the whole folder, which a probe measures and the script prints.
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
    rm -f "$work"/source.bin.[0-9]* "$work/source.bin.sha256"
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
small=$((small_kib * 1024))
bench=$build/bench
run() { "$root/scripts/wine-run.sh" "$build/wine" "$@"; }
# Too many names for one command line.
clear_small() { find "$work" -name 'small.*' -delete; }

# Parts 1 to count of $work/small.src, $small bytes each, as small.bin.001, ... made by GNU split:
# one call per width of the number (001-999, 1000-9999, 10000-99999, 100000-999999), each on its
# byte range of the source.
make_parts() {
    local count=$1 first=1 last width=3
    while [ "$first" -le "$count" ]; do
        last=$((10 ** width - 1))
        [ "$last" -le "$count" ] || last=$count
        dd if="$work/small.src" iflag=skip_bytes,count_bytes bs=1M status=none \
            skip=$(((first - 1) * small)) count=$(((last - first + 1) * small)) |
            split -b "$small" -a "$width" --numeric-suffixes="$first" - "$work/small.bin."
        first=$((last + 1))
        width=$((width + 1))
    done
}

echo
echo "Small parts of $small_kib KiB, IoPairCount 16, 1 MiB buffers:"
# The split and its join, by the program.
for count in ${BENCH_SMALL_SPLITS:-1000 10000}; do
    head -c $((count * small)) /dev/urandom >"$work/small.src"
    cp "$work/small.src" "$work/small.bin"
    out=$(run "$bench/bench_split_join.exe" "$(winpath "$work/small.bin")" "${small_kib}K" 16)
    cmp -s "$work/small.src" "$work/small.bin.orig" || { echo "source changed" >&2; exit 1; }
    cmp -s "$work/small.src" "$work/small.bin" || { echo "join differs" >&2; exit 1; }
    clear_small
    echo "$out" | sed 's/^/  /'
done

# The join alone, of parts made outside: it reads existing names only, which costs Wine one
# look-up each, so the figures show the operation's own cost per part. A join of small parts is
# bound by the processor, so other work on the machine moves its figure: the short join runs in
# five rounds and its median is taken, the long one averages over minutes by itself.
declare -A join_rate
for count in 1000 100000; do
    rounds=1
    [ "$count" -ge 100000 ] || rounds=5
    head -c $((count * small)) /dev/urandom >"$work/small.src"
    make_parts "$count"
    out=$(run "$bench/bench_split_join.exe" "$(winpath "$work/small.bin")" - 16 join "$rounds")
    cmp -s "$work/small.src" "$work/small.bin" || { echo "join of $count parts differs" >&2; exit 1; }
    clear_small
    echo "$out" | sed 's/^/  /'
    join_rate[$count]=$(echo "$out" | awk '/^join/ { print $6 }' | sort -n | awk '
        { r[NR] = $1 } END { print (NR % 2) ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2 }')
done
awk -v a="${join_rate[1000]}" -v b="${join_rate[100000]}" 'BEGIN {
    printf "  join of 100,000 parts against 1,000 (median): %.1f against %.1f MiB/s, ratio %.2f\n", b, a, b / a
}'

# Why the program does not split into 100,000 parts here: the cost of creating one new name in
# folders that hold 1,000, 10,000 and 100,000 files.
declare -A create_us
probe=$work/probe
for files in 1000 10000 100000; do
    rm -rf "$probe"
    mkdir "$probe"
    (cd "$probe" && seq -f 'f.%06g' 1 "$files" | xargs touch)
    out=$(run "$bench/bench_create_new.exe" "$(winpath "$probe")" 100)
    echo "  folder of $files files: $out"
    create_us[$files]=$(echo "$out" | awk '{ print $3 }')
done
rm -rf "$probe"
awk -v a="${create_us[1000]}" -v b="${create_us[100000]}" 'BEGIN {
    printf "  no program split of 100,000 parts: under Wine a new file name costs a read of the whole folder\n"
    printf "  (%.0f us per create among 1,000 files, %.0f us among 100,000), so creating 100,000 parts\n", a, b
    printf "  would take about %.0f minutes for the names alone\n", 100000 * (a + b) / 2 / 1e6 / 60
}'

# The SHA-256 list written by the split and checked by the join, on and off (16 pairs of 16 MiB).
BENCH_MIB=$mib BENCH_PART_MIB=$part_mib bash "$root/scripts/bench-checksums.sh"
