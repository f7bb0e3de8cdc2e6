# Sourced by the other scripts: what they share. Brings in arch.sh (the two sides and which of
# them can run here) and sets root, the source tree. Safe under set -eu.
source "$(dirname "${BASH_SOURCE[0]}")/arch.sh"
root=$arch_root

# A host path as a Windows program under Wine sees it: Z: is the host's root.
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }

# For a script that uses one side (the main job, the benchmarks, the screenshots): sets side and
# build to the 32-bit side where it runs natively, else the 64-bit one, and says which, for $1.
use_preferred_side() {
    arch_preferred || exit 1
    side=$arch_side
    build=$(arch_build_dir "$side")
    arch_say "$side" "$1"
}

# Builds the side use_preferred_side chose, quietly.
build_chosen_side() { bash "$root/scripts/build.sh" "$side" >/dev/null; }

# Sets work to an empty folder $1 in the build tree, removed again when the script exits.
fresh_work() {
    work=$build_root/$1
    rm -rf "$work"
    mkdir -p "$work"
    trap 'rm -rf "$work"' EXIT
}

# Runs a Windows program of that side under Wine (scripts/wine-run.sh, the side's prefix).
run_in_wine() { "$root/scripts/wine-run.sh" "$build/wine" "$@"; }

# Turns the BMP pictures in folder $1 into PNG files.
bmp_to_png() {
    local bmp
    for bmp in "$1"/*.bmp; do
        [ -f "$bmp" ] || continue
        convert "$bmp" "${bmp%.bmp}.png"
        rm -f "$bmp"
    done
}
