#!/usr/bin/env bash
# Sets up the machine, builds both sides (32-bit in build/x86, 64-bit in build/x64) and runs every
# test under Wine on each side that can run here; where the 32-bit side cannot, its program is
# still built and checked from outside. Arguments go to CTest. BRINDLECOT_ARCHS=32 or =64 picks
# one side by hand.
set -uo pipefail
source "$(dirname "$0")/arch.sh"

bash "$arch_root/scripts/setup.sh" || exit 1
sides=$(arch_runnable) || exit 1
bash "$arch_root/scripts/build.sh" || exit 1
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

for side in $arch_all; do
    dir=$(arch_build_dir "$side")
    log=$dir/ctest.log
    case " $sides " in
        *" $side "*)
            echo "== $(arch_label "$side"): all tests"
            (cd "$dir" && ctest --output-on-failure --parallel "$(nproc)" "$@") 2>&1 | tee "$log" ;;
        *)
            # It cannot run here, but what it is can still be checked.
            echo "== $(arch_label "$side"): the program's format only (it cannot run here)"
            (cd "$dir" && ctest --output-on-failure -R '^program$') 2>&1 | tee "$log" ;;
    esac
    count "$log"
done

echo "all sides: $passed passed, $failed failed"
[ "$failed" = 0 ]
