# Sourced by the other scripts: the two builds of the program and which of them can run here.
#
# The 32-bit program is built into $build_root/x86, the 64-bit one into $build_root/x64. The 64-bit
# side runs wherever Wine's 64-bit loader does; the 32-bit side needs a kernel that starts 32-bit
# programs, which some machines boot without. Which ones run is found by trying, not guessed.
# BRINDLECOT_ARCHS ("32", "64" or "32 64") picks the sides by hand. Safe under set -e.

arch_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${BUILD_DIR:-$arch_root/build}
arch_all="32 64"

arch_dir_name() { if [ "$1" = 32 ]; then echo x86; else echo x64; fi; }
arch_build_dir() { echo "$build_root/$(arch_dir_name "$1")"; }
arch_toolchain() {
    if [ "$1" = 32 ]; then echo "$arch_root/cmake/mingw-i686.cmake"; else echo "$arch_root/cmake/mingw-x86_64.cmake"; fi
}
arch_label() { if [ "$1" = 32 ]; then echo "32-bit (x86)"; else echo "64-bit (x64)"; fi; }

# Sets arch_why_not_32 and fails when no 32-bit Linux program can start here. Wine's 32-bit
# server is the first one a 32-bit prefix starts, so it is the one to try.
arch_try_32() {
    local server=/usr/lib/wine/wineserver32 out rc
    arch_why_not_32=
    if [ ! -x "$server" ]; then
        arch_why_not_32="$server is not installed"
        return 1
    fi
    rc=0
    out=$("$server" --version 2>&1 </dev/null) || rc=$?
    [ "$rc" = 0 ] && return 0
    # Keep the system's own words: "Exec format error" and the like.
    out=$(printf '%s' "$out" | tail -n 1 | sed 's/.*: //')
    arch_why_not_32="$server cannot start (${out:-no reason given}, exit code $rc)"
    if [ "$rc" = 126 ]; then
        arch_why_not_32="$arch_why_not_32: this kernel runs no 32-bit programs"
    fi
    return 1
}

# Prints the sides that run here, "32 64" or "64", or fails with a reason on standard error when
# BRINDLECOT_ARCHS asks for one that cannot.
arch_runnable() {
    local wanted=${BRINDLECOT_ARCHS:-} a list=
    wanted=${wanted//,/ }
    if [ -n "$wanted" ]; then
        for a in $wanted; do
            case $a in
                32)
                    if ! arch_try_32; then
                        echo "BRINDLECOT_ARCHS asks for the 32-bit side, which cannot run here: $arch_why_not_32" >&2
                        return 1
                    fi ;;
                64) ;;
                *)
                    echo "BRINDLECOT_ARCHS: '$a' is neither 32 nor 64" >&2
                    return 1 ;;
            esac
            case " $list " in *" $a "*) ;; *) list="$list $a" ;; esac
        done
        echo "${list# }"
        return 0
    fi
    if arch_try_32; then echo "32 64"; else echo "64"; fi
}

# The one side a single run (the main job, the benchmarks, the screenshots) uses: the 32-bit
# program where it can run, the 64-bit one otherwise.
arch_preferred() {
    local sides
    sides=$(arch_runnable) || return 1
    echo "${sides%% *}"
}

# One line that says which sides run, and why the 32-bit one does not when it does not.
arch_say() {
    local sides=$1 what=$2 a names=
    for a in $sides; do names="$names${names:+ and }$(arch_label "$a")"; done
    if [ -n "${BRINDLECOT_ARCHS:-}" ]; then
        echo "$what: $names (chosen by BRINDLECOT_ARCHS=$BRINDLECOT_ARCHS)"
    elif [ "$sides" = 64 ]; then
        arch_try_32 || true
        echo "$what: $names only; the 32-bit side cannot run here: $arch_why_not_32"
    else
        echo "$what: $names"
    fi
}
