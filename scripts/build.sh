#!/usr/bin/env bash
# Configures and builds with the mingw-w64 cross toolchains: the 32-bit program and its tests into
# build/x86, the 64-bit ones into build/x64 (under $BUILD_DIR when set). With arguments, only the
# sides named (32, 64); a side named as 32:program or 64:program gets only brindlecot.exe and
# brindlecot-cli.exe, not its tests and benchmarks. The sides are built at once, each into its own folder, and a side's
# log is printed when it is done.
#
#   bash scripts/build.sh [32[:program]] [64[:program]]
set -uo pipefail
source "$(dirname "$0")/arch.sh"

requests=${*:-$arch_all}
sides=
declare -A what
for request in $requests; do
    side=${request%%:*}
    case $side in 32 | 64) ;; *) echo "build: '$request' names no side (32 or 64)" >&2; exit 2 ;; esac
    sides="$sides $side"
    what[$side]=all
    [ "${request#*:}" = program ] && what[$side]=program
done
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

build_side() {
    local dir targets=()
    dir=$(arch_build_dir "$1")
    [ "$2" = program ] && targets=(--target brindlecot brindlecot-cli)
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$arch_root" -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$(arch_toolchain "$1")" >/dev/null || return 1
    fi
    cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
}

mkdir -p "$build_root"
echo "build: $(for side in $sides; do
    echo "$(arch_label "$side")$([ "${what[$side]}" = program ] && echo ' (the program only)')"
done | paste -sd, - | sed 's/,/ and /g'), each log shown when its side is done"
declare -A pids
for side in $sides; do
    build_side "$side" "${what[$side]}" >"$build_root/build-$(arch_dir_name "$side").log" 2>&1 &
    pids[$side]=$!
done
failed=0
for side in $sides; do
    if wait "${pids[$side]}"; then
        cat "$build_root/build-$(arch_dir_name "$side").log"
        echo "build: $(arch_label "$side") done in $(arch_build_dir "$side")"
    else
        cat "$build_root/build-$(arch_dir_name "$side").log" >&2
        echo "build: $(arch_label "$side") FAILED" >&2
        failed=1
    fi
done
exit $failed
