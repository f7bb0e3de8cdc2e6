#!/usr/bin/env bash
# The recovery set the program makes for a split's parts, against par2 (par2cmdline): par2 finds
# every part correct, makes the same packets itself (all but its name in the creator packet), and
# rebuilds a deleted part and a damaged one from the set, byte for byte; the program rebuilds them
# too, from its own set and from par2's. A set as a split makes it when its parts hold several
# slices each is checked and repaired by par2 too.
#   par2-test.sh WINE_DIR TEST_RECOVERY_EXE TEST_OPS_EXE
set -euo pipefail
source "$(dirname "$0")/lib.sh"
mkdir -p "$1"
# Absolute, as the checks run inside the folder and it is removed from there.
wine_dir=$(cd "$1" && pwd)
driver=$2
ops_driver=$3
command -v par2 >/dev/null || { echo "par2-test: par2 is not installed (scripts/setup.sh)" >&2; exit 1; }
work=$(mktemp -d "$wine_dir/par2.XXXXXX")
trap 'rm -rf "$work"' EXIT

BRINDLECOT_PAR2_DIR=$(winpath "$work") "$root/scripts/wine-run.sh" "$wine_dir" "$driver" \
    --gtest_color=no --gtest_filter='InteropPar2Test.*'
cd "$work"
name=trïp.avi
ls "$name".*
failed=0
fail() { echo "par2-test: $1" >&2; failed=1; }

par2 verify "$name".par2 >verify.log 2>&1 || fail "par2 verify failed"
grep -q "All files are correct" verify.log && echo "par2-test: par2 verify: all files are correct" ||
    { cat verify.log; fail "par2 verify did not find all files correct"; }

# par2's own set for the same parts, slice size and block count.
mkdir peer
cp "$name".00? peer/
(cd peer && par2 create -q -s65536 -c10 "$name".par2 "$name".00? >/dev/null)
python3 - "$name"*.par2 <<'PY' || fail "the packets differ from par2's"
import sys
def packets(path):
    data, found, at = open(path, 'rb').read(), set(), 0
    while at < len(data):
        assert data[at:at + 8] == b'PAR2\0PKT', f'{path}: no packet at {at}'
        length = int.from_bytes(data[at + 8:at + 16], 'little')
        if data[at + 48:at + 64] != b'PAR 2.0\0Creator\0':
            found.add(data[at:at + length])
        at += length
    return found
for name in sys.argv[1:]:
    ours, theirs = packets(name), packets('peer/' + name)
    assert ours == theirs, f'{name}: {len(ours - theirs)} of {len(ours)} packets differ'
    print(f'par2-test: {name}: the same {len(ours)} packets as par2 makes')
PY
[ "$(ls peer/*.par2 | wc -l)" = "$(ls "$name"*.par2 | wc -l)" ] || fail "par2 makes other files"

# The program's own repair, of both sets and of a set par2 makes with other sizes and more blocks:
# a part deleted, one damaged and, in the last volume, a recovery block damaged, which it must
# leave out.
mkdir -p repair/ours repair/peer repair/x
cp "$name".* repair/ours/
cp peer/"$name".* repair/peer/
sizes=(200000 150001 99999 65536)
for i in 1 2 3 4; do
    head -c "${sizes[i - 1]}" /dev/urandom >x.bin.00$i
done
cp x.bin.00? repair/x/
(cd repair/x && par2 create -q -s65536 -r50 x.bin.par2 x.bin.00? >/dev/null)
for set in ours peer x; do
    whole=$([ $set = x ] && echo x.bin || echo "$name")
    rm repair/$set/"$whole".00$([ $set = x ] && echo 3 || echo 2)
    printf 'damage' | dd of=repair/$set/"$whole".001 bs=1 seek=100000 conv=notrunc status=none
    python3 - "$(ls repair/$set/"$whole".vol*.par2 | tail -1)" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
data[data.index(b'PAR 2.0\0RecvSlic') + 1000] ^= 0xFF
open(sys.argv[1], 'wb').write(data)
PY
done
# A set whose first two blocks can't tell its first slice from its third (the ratio of their
# constants has order 21845): the repair has to take the next block instead.
mkdir repair/y
head -c 196608 /dev/urandom >y.bin
for first in 0 21845 30000; do
    mkdir y$first
    cp y.bin y$first/
    (cd y$first && par2 create -q -s65536 -f$first -c1 y.bin.par2 y.bin >/dev/null)
    cp y$first/*.par2 repair/y/
done
cp y.bin repair/y/
for at in 10 131100; do
    printf 'damage' | dd of=repair/y/y.bin bs=1 seek=$at conv=notrunc status=none
done
BRINDLECOT_PAR2_REPAIR_DIR=$(winpath "$work/repair") "$root/scripts/wine-run.sh" "$wine_dir" \
    "$driver" --gtest_color=no --gtest_filter='InteropPar2Repair.*' || fail "the repair test failed"
# Each rebuilt part against the part as it was.
for rebuilt in repair/*/*.rebuilt; do
    part=${rebuilt##*/}
    cmp -s "$rebuilt" "${part%.rebuilt}" && echo "par2-test: $rebuilt: identical to the part" ||
        fail "$rebuilt DIFFERS from the part"
done

# The split's set whose parts hold three slices each: a lost part and a damaged slice of another
# take its four blocks.
mkdir slices
BRINDLECOT_PAR2_DIR=$(winpath "$work/slices") "$root/scripts/wine-run.sh" "$wine_dir" \
    "$ops_driver" --gtest_color=no --gtest_filter='InteropPar2Split.*' ||
    fail "the split's set of several slices a part was not made"
(
    cd slices
    par2 verify slices.bin.par2 >verify.log 2>&1 && grep -q "All files are correct" verify.log ||
        { cat verify.log; exit 1; }
    echo "par2-test: par2 verify: the parts of several slices are correct"
    mkdir originals
    cp slices.bin.00? originals/
    rm slices.bin.002
    printf 'damage' | dd of=slices.bin.004 bs=1 seek=100000 conv=notrunc status=none
    par2 repair slices.bin.par2 >repair.log 2>&1 && grep -q "Repair complete" repair.log ||
        { cat repair.log; exit 1; }
    for part in originals/*; do
        cmp -s "$part" "${part#originals/}" || { echo "${part#originals/} DIFFERS"; exit 1; }
    done
    echo "par2-test: par2 repair: the parts of several slices are identical after the repair"
) || fail "par2 did not check or repair the split's set of several slices a part"

mkdir originals
cp "$name".00? originals/
rm "$name".002
printf 'damage' | dd of="$name".003 bs=1 seek=100000 conv=notrunc status=none
par2 repair "$name".par2 >repair.log 2>&1 || { cat repair.log; fail "par2 repair failed"; }
grep -q "Repair complete" repair.log && echo "par2-test: par2 repair: repair complete" ||
    fail "par2 repair did not say the repair is complete"
for part in originals/*; do
    if cmp -s "$part" "${part#originals/}"; then
        echo "par2-test: ${part#originals/}: identical after the repair"
    else
        fail "${part#originals/}: DIFFERS after the repair"
    fi
done
exit $failed
