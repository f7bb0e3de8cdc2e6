#!/usr/bin/env bash
# Sets up the machine, builds both sides (32-bit in build/x86, 64-bit in build/x64) and runs every
# test under Wine on each side that can run here, natively or, for the 32-bit side, through
# qemu-user; where the 32-bit side cannot run at all, its program alone is built and checked
# from outside. The two suites run at the same time, each printed when it is done, the emulated
# one started first: it takes the longest. Arguments go to CTest. BRINDLECOT_ARCHS=32 or =64
# picks one side by hand.
set -uo pipefail
source "$(dirname "$0")/arch.sh"

bash "$arch_root/scripts/setup.sh" || exit 1
arch_runnable || exit 1
sides=$arch_sides
# A side that cannot run here needs only its program, to be checked from outside.
requests=
for side in $arch_all; do
    case " $sides " in *" $side "*) requests="$requests $side" ;; *) requests="$requests $side:program" ;; esac
done
bash "$arch_root/scripts/build.sh" $requests || exit 1
arch_say "$sides" "tests run on"

passed=0
failed=0
count() {
    local line total bad
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
    if [ -z "$line" ]; then
        failed=$((failed + 1))
        return
    fi
    total=${line##* out of }
    bad=$(printf '%s' "$line" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
    passed=$((passed + total - bad))
    failed=$((failed + bad))
}

# One side's suite into its log: all tests where it runs, else the program's format alone.
suite() {
    local dir
    dir=$(arch_build_dir "$1")
    case " $sides " in
        *" $1 "*)
            echo "== $(arch_named "$1"): all tests"
            (cd "$dir" && ctest --output-on-failure --parallel "$(nproc)" "${@:2}") ;;
        *)
            # It cannot run here, but what it is can still be checked.
            echo "== $(arch_label "$1"): the program's format only (it cannot run here)"
            (cd "$dir" && ctest --output-on-failure -R '^program$') ;;
    esac
}

declare -A sides_of
for side in $arch_all; do
    suite "$side" "$@" >"$(arch_build_dir "$side")/ctest.log" 2>&1 &
    sides_of[$!]=$side
done
# Stopped early: the suites stop too.
trap 'kill "${!sides_of[@]}" 2>/dev/null; exit 130' INT TERM
while [ ${#sides_of[@]} -gt 0 ]; do
    wait -n -p ended "${!sides_of[@]}"
    log=$(arch_build_dir "${sides_of[$ended]}")/ctest.log
    unset "sides_of[$ended]"
    cat "$log"
    count "$log"
done

# The code is built with -Wall -Wextra -Wshadow and must stay free of warnings on both sides.
for side in $arch_all; do
    log=$build_root/build-$(arch_dir_name "$side").log
    if grep -q 'warning:' "$log" 2>/dev/null; then
        echo "== $(arch_label "$side"): the build gave warnings:" >&2
        grep 'warning:' "$log" >&2
        failed=$((failed + 1))
    fi
done

echo "all sides: $passed passed, $failed failed"
[ "$failed" = 0 ]
