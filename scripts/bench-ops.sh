#!/usr/bin/env bash
# Builds and runs the split and join benchmark. First the grid: the program splits a file into
# parts of BENCH_PART_MIB (100) MiB and joins it back, under Wine, for every IoPairCount of 1, 4
# and 16 and every BufferSize of 128 KiB, 1, 4 and 16 MiB. A cell moves about four seconds' worth
# of data at its design ceiling (n x BufferSize per two 10 ms ticks), at least 64 MiB and at most
# BENCH_MIB (1024) MiB, so the slow cells do not take minutes. Each cell prints the whole run and
# the steady state (after every buffer has carried one chunk) in MiB/s, the one-time cost of the
# start (the fresh buffers), the peak working set and how busy the I/O thread was. `split -b` and
# `cat` are timed on the BENCH_MIB file in the same run, right before the largest cell, and the
# largest cell is put against them. A run of BENCH_BIG_MIB (4096; 0 skips it) with the largest
# settings shows that the working set does not grow with the file.
# Then small parts (BENCH_SMALL_KIB, 4 KiB each), with IoPairCount 16: the program splits files of
# 1,000 and 10,000 parts (BENCH_SMALL_SPLITS) and joins them back, and it joins 1,000 and 100,000
# parts made by GNU split. The cost of a chunk must not grow with the number of parts, so the two
# joins give about the same MiB/s. The program does not split into 100,000 parts: under Wine every
# new file name costs a read of the whole folder, which a probe measures and the script prints.
# Every result is compared with the source. The 32-bit program is measured where it can run, the
# 64-bit one otherwise. Nothing here is a test: the figures are for reading.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
use_preferred_side "benchmark of the program"
mib=${BENCH_MIB:-1024}
part_mib=${BENCH_PART_MIB:-100}

build_chosen_side
fresh_work bench-ops

echo "generating $mib MiB"
head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/source.bin"

seconds() { awk -v s="$1" -v e="$2" 'BEGIN { printf "%.3f", e - s }'; }

# The peers, on the same file in the same run. Neither they nor the program sync to disk. Sets
# split_rate and cat_rate.
time_peers() {
    local start end
    start=$(date +%s.%N)
    split -b "${part_mib}M" -d -a 3 --numeric-suffixes=1 "$work/source.bin" "$work/peer.bin."
    end=$(date +%s.%N)
    split_rate=$(awk -v m="$mib" -v t="$(seconds "$start" "$end")" 'BEGIN { printf "%.1f", m / t }')
    start=$(date +%s.%N)
    cat "$work"/peer.bin.* >"$work/peer.bin"
    end=$(date +%s.%N)
    cat_rate=$(awk -v m="$mib" -v t="$(seconds "$start" "$end")" 'BEGIN { printf "%.1f", m / t }')
    cmp -s "$work/source.bin" "$work/peer.bin" || { echo "cat result differs" >&2; exit 1; }
    rm -f "$work"/peer.bin*
}

# Splits and joins the first $2 MiB of the source with $1 (PAIRSxBUFFER) and prints the bench's
# two lines; checks the join against the source.
run_cell() {
    local settings=$1 size=$2 file=$work/cell.bin out
    if [ "$size" -ge "$mib" ]; then
        file=$work/source.bin
    else
        head -c $((size * 1024 * 1024)) "$work/source.bin" >"$file"
        cp "$file" "$work/cell.ref"
    fi
    out=$(run_in_wine "$build/bench/bench_split_join.exe" "$(winpath "$file")" "$part_mib" "$settings")
    if [ "$file" = "$work/source.bin" ]; then
        cmp -s "$file" "$file.orig" || { echo "join with $settings differs" >&2; exit 1; }
        rm -f "$file".[0-9]* "$file.sha256"
        mv "$file.orig" "$file"
    else
        cmp -s "$file" "$work/cell.ref" || { echo "join with $settings differs" >&2; exit 1; }
        rm -f "$file" "$file".[0-9]* "$file.orig" "$file.sha256" "$work/cell.ref"
    fi
    echo "$out"
}

# The design ceiling in MiB/s: the buffers in flight (the pipeline keeps at most 64 MiB in
# flight) once every two 10 ms ticks.
ceiling() {
    awk -v n="$1" -v k="$2" 'BEGIN { f = n * k; if (f > 65536) f = 65536; print int(f / 1024 * 50) }'
}

# A cell's size in MiB: four seconds at its ceiling, within 64 MiB and the source.
cell_mib() {
    awk -v c="$(ceiling "$1" "$2")" -v m="$mib" 'BEGIN {
        s = c * 4; if (s < 64) s = 64; if (s > m) s = m; print s }'
}

field() { awk -v what="$1" -v key="$2" '$1 == what { for (i = 1; i < NF; i++) if ($(i + 1) ~ key) { v = $i; sub(/,$/, "", v); print v } }'; }

# The platform's share, measured natively (no Wine) where a C compiler is at hand: what fresh
# memory costs, and how the kernel's copies slow down as the set of buffers outgrows the caches.
# It reads 256 MiB of the source, so a smaller source leaves it out.
if [ "$mib" -ge 256 ] && command -v cc >/dev/null &&
    cc -O2 -o "$work/memory_probe" "$root/bench/native/memory_probe.c"; then
    echo
    echo "Platform, natively:"
    "$work/memory_probe" "$work/source.bin" | sed 's/^/  /' || echo "  (the probe failed)"
fi

declare -A whole steady start peak io
table=$work/table
: >"$table"
echo
echo "Grid: whole run / steady state in MiB/s; start = one-time cost of the buffers in seconds"
printf '%-10s %6s  %-27s %-27s %9s %9s %6s\n' "pairs x" "MiB" "split whole/steady (start)" \
    "join whole/steady (start)" "peak MiB" "ceiling" "I/O"
for pairs in 1 4 16; do
    for kib in 128 1024 4096 16384; do
        label=${pairs}x$((kib >= 1024 ? kib / 1024 : kib))$([ "$kib" -ge 1024 ] && echo M || echo K)
        size=$(cell_mib "$pairs" "$kib")
        if [ "$pairs" = 16 ] && [ "$kib" = 16384 ]; then
            time_peers
        fi
        out=$(run_cell "$label" "$size")
        for op in split join; do
            line=$(echo "$out" | grep "^$op ")
            whole[$op,$label]=$(echo "$line" | awk '{ for (i = 1; i < NF; i++) if ($(i + 1) == "MiB/s," && $(i - 1) ~ /s,$/) print $i }' | head -1)
            # 0 when the file is too small to have a steady state at these settings.
            steady[$op,$label]=$(echo "$line" | awk '{ for (i = 1; i < NF; i++) if ($i == "steady") print ($(i + 1) + 0 > 0 ? $(i + 1) : "-") }')
            start[$op,$label]=$(echo "$line" | awk '{ for (i = 1; i < NF; i++) if ($i == "start") print $(i + 1) }')
            peak[$op,$label]=$(echo "$line" | awk '{ for (i = 1; i < NF; i++) if ($i == "set") print $(i + 1) }')
            io[$op,$label]=$(echo "$line" | awk '{ for (i = 1; i < NF; i++) if ($i == "I/O") print $(i + 2) }')
        done
        printf '%-10s %6s  %-27s %-27s %9s %9s %5s%%\n' "$label" "$size" \
            "${whole[split,$label]} / ${steady[split,$label]} (${start[split,$label]})" \
            "${whole[join,$label]} / ${steady[join,$label]} (${start[join,$label]})" \
            "${peak[join,$label]}" "$(ceiling "$pairs" "$kib")" "${io[split,$label]}"
        echo "$label ${steady[split,$label]} ${steady[join,$label]}" >>"$table"
    done
done

# Each cell against its left and upper neighbours: the steady state must not fall as either
# setting grows. Within 15 %: a single run on a shared machine is not more exact than that.
awk '
    {
        pairs = $1; sub(/x.*/, "", pairs); size = $1; sub(/.*x/, "", size)
        row[NR] = pairs; col[NR] = size; s[$1] = $2; j[$1] = $3; name[NR] = $1
    }
    END {
        falls = 0
        for (i = 1; i <= NR; i++) for (k = 1; k <= NR; k++) {
            left = (row[k] == row[i] && k == i - 1); up = (col[k] == col[i] && k == i - 4)
            if (!left && !up) continue
            if (s[name[k]] == "-" || s[name[i]] == "-") continue
            if (s[name[i]] < 0.85 * s[name[k]]) { printf "  split %s (%.0f) falls below %s (%.0f)\n", name[i], s[name[i]], name[k], s[name[k]]; falls++ }
            if (j[name[i]] < 0.85 * j[name[k]]) { printf "  join %s (%.0f) falls below %s (%.0f)\n", name[i], j[name[i]], name[k], j[name[k]]; falls++ }
        }
        if (falls == 0) print "steady state: no cell falls below its left or upper neighbour (15 % margin)"
    }' "$table"
awk -v s="${whole[split,1x1M]}" -v j="${whole[join,1x1M]}" 'BEGIN {
    printf "defaults (1 x 1 MiB): split %.0f %%, join %.0f %% of the 50 MiB/s design ceiling\n", 2 * s, 2 * j }'
awk -v s="${steady[split,16x16M]}" -v j="${steady[join,16x16M]}" -v sw="${whole[split,16x16M]}" \
    -v jw="${whole[join,16x16M]}" -v ps="$split_rate" -v pc="$cat_rate" -v m="$mib" 'BEGIN {
    printf "split -b %sM: %.1f MiB/s, cat: %.1f MiB/s (on %d MiB, just before the 16 x 16M cell)\n", '"$part_mib"', ps, pc, m
    if (s == "-" || j == "-")
        printf "16 x 16M: no steady state in a file this small; whole run %.2f x split -b and %.2f x cat\n", sw / ps, jw / pc
    else
        printf "16 x 16M steady state: split %.2f x split -b, join %.2f x cat; whole run %.2f x and %.2f x\n", s / ps, j / pc, sw / ps, jw / pc }'

# The working set holds the buffers in flight and a few MiB, whatever the size of the file.
big=${BENCH_BIG_MIB:-4096}
if [ "$big" -gt 0 ]; then
    rm -f "$work/source.bin"
    head -c $((big * 1024 * 1024)) /dev/urandom >"$work/big.bin"
    out=$(run_in_wine "$build/bench/bench_split_join.exe" "$(winpath "$work/big.bin")" "$part_mib" 16x16M)
    cmp -s "$work/big.bin" "$work/big.bin.orig" || { echo "join of $big MiB differs" >&2; exit 1; }
    rm -f "$work"/big.bin*
    echo "$big MiB with 16 x 16M:"
    echo "$out" | sed 's/^/  /'
fi

# The SHA-256 list written by the split and checked by the join, on and off (16 pairs of 16 MiB).
BENCH_MIB=$mib BENCH_PART_MIB=$part_mib bash "$root/scripts/bench-checksums.sh"

# BENCH_SMALL=0 leaves out the small parts.
[ "${BENCH_SMALL:-1}" != 0 ] || exit 0
small_kib=${BENCH_SMALL_KIB:-4}
small=$((small_kib * 1024))
bench=$build/bench
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
    out=$(run_in_wine "$bench/bench_split_join.exe" "$(winpath "$work/small.bin")" "${small_kib}K" 16)
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
    out=$(run_in_wine "$bench/bench_split_join.exe" "$(winpath "$work/small.bin")" - 16 join "$rounds")
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
    out=$(run_in_wine "$bench/bench_create_new.exe" "$(winpath "$probe")" 100)
    echo "  folder of $files files: $out"
    create_us[$files]=$(echo "$out" | awk '{ print $3 }')
done
rm -rf "$probe"
awk -v a="${create_us[1000]}" -v b="${create_us[100000]}" 'BEGIN {
    printf "  no program split of 100,000 parts: under Wine a new file name costs a read of the whole folder\n"
    printf "  (%.0f us per create among 1,000 files, %.0f us among 100,000), so creating 100,000 parts\n", a, b
    printf "  would take about %.0f minutes for the names alone\n", 100000 * (a + b) / 2 / 1e6 / 60
}'
