# Sourced by the other scripts: the two builds of the program and which of them can run here.
#
# The 32-bit program is built into $build_root/x86, the 64-bit one into $build_root/x64. The 64-bit
# side runs wherever Wine's 64-bit loader does. The 32-bit side runs natively where the CPU runs
# 32-bit code, and elsewhere through qemu-user: qemu-i386 registered with binfmt_misc inside a
# private user and mount namespace, so nothing changes for the rest of the machine. Which way
# works is found by trying, in that order, not guessed. BRINDLECOT_ARCHS ("32", "64" or "32 64")
# picks the sides by hand; BRINDLECOT_QEMU=1 sends the 32-bit side through the emulator even where
# it runs natively, to try the emulated way on such a machine. Safe under set -e.

arch_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${BUILD_DIR:-$arch_root/build}
arch_all="32 64"
arch_qemu=/usr/bin/qemu-i386
arch_server32=/usr/lib/wine/wineserver32

arch_dir_name() { if [ "$1" = 32 ]; then echo x86; else echo x64; fi; }
arch_build_dir() { echo "$build_root/$(arch_dir_name "$1")"; }
arch_toolchain() {
    if [ "$1" = 32 ]; then echo "$arch_root/cmake/mingw-i686.cmake"; else echo "$arch_root/cmake/mingw-x86_64.cmake"; fi
}
arch_label() { if [ "$1" = 32 ]; then echo "32-bit (x86)"; else echo "64-bit (x64)"; fi; }

# The command line that runs a command in a private user, mount and process namespace where the
# kernel hands every 32-bit x86 Linux program to qemu-i386: "${arch_qemu_command[@]}" COMMAND
# ARGS... The registration (binfmt_misc's own instance of this namespace) goes away with the
# namespace, and so does every process left in it: the command is its first process, and when
# that ends the kernel ends the rest; when the command is killed, so is all it started. Inside,
# BRINDLECOT_IN_QEMU=1 tells the scripts not to enter again.
# The rule: ELF, 32-bit, little-endian, an executable or shared object, machine 3 (i386); F opens
# the emulator at once, so it is found whatever the namespace sees later at its path.
arch_qemu_rule=':qemu-i386:M::\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'$arch_qemu':F'
arch_qemu_command=(
    env BRINDLECOT_IN_QEMU=1
    unshare --user --map-root-user --mount --propagation private --pid --fork --mount-proc
    --kill-child -- bash -c '
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc &&
            printf "%s" "$0" >/proc/sys/fs/binfmt_misc/register || exit 125
        exec "$@"' "$arch_qemu_rule"
)
arch_in_qemu() { "${arch_qemu_command[@]}" "$@"; }

# Whether 32-bit programs run here through the emulator, not natively: set by arch_try_32 and
# in the emulator's namespace.
arch_32_emulated() { [ "${BRINDLECOT_IN_QEMU:-0}" = 1 ] || [ "${arch_way_32:-}" = qemu ]; }

# Sets arch_way_32 to "native" or "qemu" when a 32-bit Linux program can start here, or
# arch_why_not_32 and fails. Wine's 32-bit server is the first one a 32-bit prefix starts, so it
# is the one to try: natively, then through the emulator in its namespace.
arch_try_32() {
    local out rc
    arch_way_32= arch_why_not_32=
    if [ ! -x "$arch_server32" ]; then
        arch_why_not_32="$arch_server32 is not installed"
        return 1
    fi
    if [ "${BRINDLECOT_IN_QEMU:-0}" = 1 ]; then
        # Already inside: whatever starts here starts through the emulator.
        "$arch_server32" --version >/dev/null 2>&1 && arch_way_32=qemu && return 0
        arch_why_not_32="$arch_server32 cannot start in the emulator's namespace"
        return 1
    fi
    if [ "${BRINDLECOT_QEMU:-0}" = 1 ]; then
        arch_why_not_32="not tried natively (BRINDLECOT_QEMU=1)"
    else
        rc=0
        out=$("$arch_server32" --version 2>&1 </dev/null) || rc=$?
        if [ "$rc" = 0 ]; then
            arch_way_32=native
            return 0
        fi
        # Keep the system's own words: "Exec format error" and the like.
        out=$(printf '%s' "$out" | tail -n 1 | sed 's/.*: //')
        arch_why_not_32="$arch_server32 cannot start natively (${out:-no reason given}, exit code $rc)"
        if [ "$rc" = 126 ]; then
            arch_why_not_32="$arch_why_not_32: this CPU runs no 32-bit programs"
        fi
    fi
    if [ ! -x "$arch_qemu" ]; then
        arch_why_not_32="$arch_why_not_32, and qemu-user ($arch_qemu) is not installed"
        return 1
    fi
    rc=0
    out=$(arch_in_qemu "$arch_server32" --version 2>&1 </dev/null) || rc=$?
    if [ "$rc" = 0 ]; then
        arch_way_32=qemu
        return 0
    fi
    out=$(printf '%s' "$out" | tail -n 1)
    arch_why_not_32="$arch_why_not_32, nor through qemu-user in a private namespace (${out:-no reason given}, exit code $rc)"
    return 1
}

# Sets arch_sides to the sides that run here, "32 64" or "64", or fails with a reason on standard
# error when BRINDLECOT_ARCHS asks for one that cannot. Leaves arch_way_32 set for the 32-bit side.
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
        arch_sides=${list# }
        return 0
    fi
    if arch_try_32; then arch_sides="32 64"; else arch_sides=64; fi
}

# Sets arch_side to the one side a single run (the main job, the benchmarks, the screenshots)
# uses: the 32-bit program where it runs natively, the 64-bit one otherwise, so that its timings
# are the machine's own and not the emulator's. BRINDLECOT_ARCHS picks by hand, emulated or not.
arch_preferred() {
    if [ -n "${BRINDLECOT_ARCHS:-}" ]; then
        arch_runnable || return 1
        arch_side=${arch_sides%% *}
    elif arch_try_32 && [ "$arch_way_32" = native ]; then
        arch_side=32
    else
        arch_side=64
    fi
}

# The name of a side as the one line says it: "32-bit (x86) through qemu-user" when emulated.
arch_named() {
    if [ "$1" = 32 ] && arch_32_emulated; then
        echo "$(arch_label 32) through qemu-user"
    else
        arch_label "$1"
    fi
}

# One line that says which sides run and how, and why the 32-bit one does not when it does not.
# Call it after arch_runnable or arch_preferred (it reads what they found).
arch_say() {
    local sides=$1 what=$2 a names=
    [ -n "${arch_way_32:-}${arch_why_not_32:-}" ] || arch_try_32 || true
    for a in $sides; do names="$names${names:+, }$(arch_named "$a")"; done
    if [ -n "${BRINDLECOT_ARCHS:-}" ]; then
        echo "$what: $names (chosen by BRINDLECOT_ARCHS=$BRINDLECOT_ARCHS)"
    elif [ "$sides" = 64 ] && [ "$arch_way_32" = qemu ]; then
        echo "$what: $names; the 32-bit one runs here only through qemu-user, whose timings are the emulator's"
    elif [ "$sides" = 64 ]; then
        echo "$what: $names only; the 32-bit side cannot run here: $arch_why_not_32"
    else
        echo "$what: $names"
    fi
}
