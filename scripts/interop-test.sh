#!/usr/bin/env bash
# The program against real peers: parts written by GNU split are joined by the program, and parts
# written by the program are joined by cat and extracted by 7z, each compared byte for byte. The
# SHA-256 lists go both ways too: sha256sum checks the program's, the program checks sha256sum's.
#   interop-test.sh WINE_DIR TEST_E2E_EXE
set -euo pipefail
source "$(dirname "$0")/lib.sh"
wine_dir=$1
driver=$2
work=$(mktemp -d "$wine_dir/interop.XXXXXX")
trap 'rm -rf "$work"' EXIT

head -c $((25 * 1024 * 1024 + 333)) /dev/urandom >"$work/original.bin"
cp "$work/original.bin" "$work/ours.bin"
split -b 3000000 -d -a 3 --numeric-suffixes=1 "$work/original.bin" "$work/peer.bin."
# The list sha256sum writes for the parts and the whole file they make (binary mark, as on Windows).
(cd "$work" && sha256sum -b peer.bin.[0-9][0-9][0-9] &&
    sha256sum -b original.bin | sed 's/ \*original\.bin$/ *peer.bin/') >"$work/peer.bin.sha256"

BRINDLECOT_INTEROP_DIR=$(winpath "$work") "$root/scripts/wine-run.sh" "$wine_dir" "$driver" \
    --gtest_color=no --gtest_filter='InteropTest.*'

failed=0
check() {
    if cmp -s "$work/original.bin" "$2"; then
        echo "interop: $1: identical"
    else
        echo "interop: $1: DIFFERS" >&2
        failed=1
    fi
}
check "split parts joined by the program" "$work/peer.bin"
cat "$work"/ours.bin.[0-9][0-9][0-9] >"$work/cat.bin"
check "program parts joined by cat" "$work/cat.bin"
mkdir "$work/7z"
7z x -y -o"$work/7z" "$work/ours.bin.001" >/dev/null
check "program parts extracted by 7z" "$work/7z/ours.bin"
parts=$(ls "$work"/ours.bin.[0-9][0-9][0-9] | wc -l)
[ "$parts" = 9 ] || { echo "interop: expected 9 parts, found $parts" >&2; failed=1; }
if (cd "$work" && sha256sum --strict -c ours.bin.sha256 >/dev/null) &&
    [ "$(wc -l <"$work/ours.bin.sha256")" = 10 ]; then
    echo "interop: the program's list checked by sha256sum -c: all 10 OK"
else
    echo "interop: the program's list FAILS sha256sum -c" >&2
    failed=1
fi
# The Linux command of the program's instructions, typed by a receiver who has the parts.
command=$(grep -a '^    for i in \$(seq' "$work/ours.bin.join.txt" | tr -d '\r' || true)
mkdir "$work/receiver"
cp "$work"/ours.bin.[0-9][0-9][0-9] "$work/receiver/"
(cd "$work/receiver" && bash -c "$command")
check "program parts joined by the instructions' command" "$work/receiver/ours.bin"
# The same command past part 999, where a glob would put .1000 before .101.
mkdir "$work/many"
head -c $((1001 * 64 - 7)) "$work/original.bin" >"$work/many/original.bin"
(cd "$work/many" && split -b 64 -d -a 4 --numeric-suffixes=1 original.bin part. &&
    for f in part.*; do mv "$f" "$(printf 'many.bin.%03d' $((10#${f#part.})))"; done &&
    bash -c "$(echo "$command" | sed -e "s/'ours\.bin'/'many.bin'/g" -e 's/ 1 9)/ 1 1001)/')")
if cmp -s "$work/many/original.bin" "$work/many/many.bin"; then
    echo "interop: 1,001 parts joined by the instructions' command: identical"
else
    echo "interop: 1,001 parts joined by the instructions' command: DIFFERS" >&2
    failed=1
fi
# The recovery data: par2 finds the set whole, then rebuilds a lost part and a damaged one.
if (cd "$work" && par2 verify -q ours.bin.par2 >/dev/null); then
    echo "interop: the program's recovery data checked by par2 verify: all files correct"
else
    echo "interop: the program's recovery data FAILS par2 verify" >&2
    failed=1
fi
mkdir "$work/repair"
cp "$work"/ours.bin.[0-9][0-9][0-9] "$work"/ours.bin*.par2 "$work/repair/"
rm "$work/repair/ours.bin.003"
printf 'damage' | dd of="$work/repair/ours.bin.005" bs=1 seek=1000 conv=notrunc 2>/dev/null
(cd "$work/repair" && par2 repair -q ours.bin.par2 >/dev/null) || true
repaired=ok
for n in 003 005; do
    cmp -s "$work/ours.bin.$n" "$work/repair/ours.bin.$n" || repaired=
done
if [ -n "$repaired" ]; then
    echo "interop: a lost part and a damaged one rebuilt by par2 repair: identical"
else
    echo "interop: par2 repair did NOT rebuild the lost and the damaged part" >&2
    failed=1
fi
if [ "$failed" = 0 ]; then
    echo "interop: 8 passed, 0 failed"
fi
exit $failed
