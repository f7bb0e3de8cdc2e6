#!/usr/bin/env bash
# The program against real peers: parts written by GNU split are joined by the program, and parts
# written by the program are joined by cat and extracted by 7z, each compared byte for byte. The
# SHA-256 lists go both ways too: sha256sum checks the program's, the program checks sha256sum's;
# and the program honours the lists cksfv, md5sum and sha1sum write. The console program splits
# and joins several files in one command, for cat, sha256sum and par2 to check.
#   interop-test.sh WINE_DIR TEST_E2E_EXE
set -euo pipefail
source "$(dirname "$0")/lib.sh"
wine_dir=$1
driver=$2
# The first Wine run makes the folder; this check may start before any other.
mkdir -p "$wine_dir"
work=$(mktemp -d "$wine_dir/interop.XXXXXX")
trap 'rm -rf "$work"' EXIT

head -c $((25 * 1024 * 1024 + 333)) /dev/urandom >"$work/original.bin"
cp "$work/original.bin" "$work/ours.bin"
many='trïp €.bin'
head -c $((1001 * 4096 - 7)) "$work/original.bin" >"$work/many.orig"
cp "$work/many.orig" "$work/$many"
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
# The Linux command of the program's instructions, typed by a receiver who has the parts, for a
# name that begins with - as cat would take an option; then with a part missing.
command=$(grep -a '^    (*for i in \$(seq' "$work/ours.bin.join.txt" | tr -d '\r' || true)
mkdir "$work/receiver"
for part in "$work"/ours.bin.[0-9][0-9][0-9]; do cp "$part" "$work/receiver/-${part##*/}"; done
dash=$(echo "$command" | sed "s/'ours\.bin'/'-ours.bin'/g")
(cd "$work/receiver" && bash -c "$dash") || true
check "program parts joined by the instructions' command" "$work/receiver/-ours.bin"
rm -f "$work/receiver/-ours.bin" "$work/receiver/-ours.bin.004"
if (cd "$work/receiver" && ! bash -c "$dash" 2>/dev/null) && [ ! -e "$work/receiver/-ours.bin" ]; then
    echo "interop: a part missing: the instructions' command fails and leaves no file"
else
    echo "interop: a part missing: the instructions' command succeeds or leaves a file" >&2
    failed=1
fi
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
# 1,001 parts named beyond ASCII: par2 checks them, and rebuilds part 1,000 and a damaged one.
if (cd "$work" && par2 verify -q "$many.par2" >/dev/null); then
    echo "interop: 1,001 parts named beyond ASCII checked by par2 verify: all files correct"
else
    echo "interop: 1,001 parts named beyond ASCII FAIL par2 verify" >&2
    failed=1
fi
mkdir "$work/repair-many"
cp "$work/$many".* "$work/repair-many/"
rm "$work/repair-many/$many.1000"
printf 'damage' | dd of="$work/repair-many/$many.005" bs=1 seek=100 conv=notrunc 2>/dev/null
(cd "$work/repair-many" && par2 repair -q "$many.par2" >/dev/null) || true
if cmp -s "$work/$many.1000" "$work/repair-many/$many.1000" &&
    cmp -s "$work/$many.005" "$work/repair-many/$many.005"; then
    echo "interop: 1,001 parts: part 1,000 and a damaged part rebuilt by par2 repair: identical"
else
    echo "interop: 1,001 parts: par2 repair did NOT rebuild part 1,000 and the damaged part" >&2
    failed=1
fi

# The program rebuilds a lost and a damaged part from its own recovery data, and from a set that
# par2 made for the parts of split, then joins.
mend=$work/mend
mkdir "$mend"
cp "$work"/ours.bin.[0-9][0-9][0-9] "$work"/ours.bin*.par2 "$work/ours.bin.sha256" "$mend/"
cp "$work/$many".* "$mend/"
rm "$mend/$many.1000"
printf 'damage' | dd of="$mend/$many.007" bs=1 seek=100 conv=notrunc 2>/dev/null
cp "$work"/peer.bin.[0-9][0-9][0-9] "$work/peer.bin.sha256" "$mend/"
(cd "$mend" && par2 create -q -q -s1000000 -r20 -n1 peer.bin.par2 peer.bin.[0-9][0-9][0-9] >/dev/null)
# A set par2 made for the whole file before GNU split cut it: the parts are joined as ever and the
# joined file checked against the set.
cp "$work/original.bin" "$mend/whole.bin"
(cd "$mend" && par2 create -q -q -r5 -n1 whole.bin.par2 whole.bin >/dev/null &&
    split -b 3000000 -d -a 3 --numeric-suffixes=1 whole.bin whole.bin. && rm whole.bin)
rm "$mend/ours.bin.004" "$mend/peer.bin.002"
for damaged in ours.bin.006 peer.bin.005; do
    printf 'damage' | dd of="$mend/$damaged" bs=1 seek=5000 conv=notrunc 2>/dev/null
done
BRINDLECOT_INTEROP_DIR=$(winpath "$mend") "$root/scripts/wine-run.sh" "$wine_dir" "$driver" \
    --gtest_color=no --gtest_filter='InteropRepairTest.*' || failed=1
for whole in ours.bin peer.bin; do
    check "$whole rebuilt and joined by the program" "$mend/$whole"
done
check "parts of a file par2 protected whole, joined and checked by the program" "$mend/whole.bin"
for damaged in ours.bin.006 peer.bin.005 "$many.007"; do
    if [ -e "$mend/$damaged.damaged" ] && cmp -s "$mend/$damaged" "$work/$damaged"; then
        echo "interop: $damaged rebuilt as it was, the damaged one kept as $damaged.damaged"
    else
        echo "interop: $damaged NOT rebuilt as it was, or the damaged one not kept aside" >&2
        failed=1
    fi
done
if cmp -s "$work/many.orig" "$mend/$many"; then
    echo "interop: 1,001 parts named beyond ASCII rebuilt and joined by the program: identical"
else
    echo "interop: 1,001 parts named beyond ASCII rebuilt and joined by the program: DIFFERS" >&2
    failed=1
fi
# Other tools' checksum files beside parts GNU split cut: cksfv writes the .sfv, md5sum and
# sha1sum the lists (binary and text marks), and the .crc is written by hand to the file managers'
# format with the CRC32 cksfv gives the whole file. The program joins each set; in a copy with
# part 5 damaged it names the part, or the whole file for the .crc, and joins nothing.
others=$work/others
mkdir "$others"
size=$(stat -c %s "$work/original.bin")
crc=$(cd "$work" && cksfv -q original.bin | grep -v '^;' | awk '{print $NF}')
for whole in {,bad-}{sfv,md5,sha1,crc}.bin; do
    (cd "$others" && split -b 3000000 -d -a 3 --numeric-suffixes=1 "$work/original.bin" "$whole.")
    kind=${whole%.bin}
    case ${kind#bad-} in
    sfv) (cd "$others" && cksfv "$whole".[0-9][0-9][0-9] >"$whole.sfv") ;;
    md5) (cd "$others" && md5sum -b "$whole".[0-9][0-9][0-9] >"$whole.md5") ;;
    sha1) (cd "$others" && sha1sum "$whole".[0-9][0-9][0-9] >"$whole.sha1") ;;
    crc) printf 'filename=%s\r\nsize=%s\r\ncrc32=%s\r\n' "$whole" "$size" "$crc" >"$others/$whole.crc" ;;
    esac
    [ "$kind" = "${kind#bad-}" ] ||
        printf 'damage' | dd of="$others/$whole.005" bs=1 seek=2000 conv=notrunc 2>/dev/null
done
BRINDLECOT_INTEROP_DIR=$(winpath "$others") "$root/scripts/wine-run.sh" "$wine_dir" "$driver" \
    --gtest_color=no --gtest_filter='OtherListsInteropTest.*' || failed=1
for kind in sfv md5 sha1 crc; do
    check "split's parts checked by the $kind file and joined by the program" "$others/$kind.bin"
    if [ ! -e "$others/bad-$kind.bin" ] && [ ! -e "$others/bad-$kind.bin.partial" ] &&
        [ "$(ls "$others/bad-$kind.bin".[0-9][0-9][0-9] | wc -l)" = 9 ]; then
        echo "interop: a damaged part found through the $kind file: nothing joined, all 9 parts kept"
    else
        echo "interop: a damaged part NOT stopped by the $kind file, or parts gone" >&2
        failed=1
    fi
done

# The program's check against the peers' on the same files, which it leaves as they were: its own
# split with part 3 lost and part 5 damaged (sha256sum -c and par2 verify: damaged, repairable),
# split's parts with part 5 damaged beside cksfv's .sfv (cksfv -f), and six of nine parts of split
# still arriving (sha256sum -c --ignore-missing: all there are good). Then the program repairs its
# own set in place: both parts as they were, the damaged one kept aside, nothing joined.
verdicts=$work/verdicts
mkdir "$verdicts"
cp "$work"/ours.bin.[0-9][0-9][0-9] "$work"/ours.bin*.par2 "$work/ours.bin.sha256" "$verdicts/"
rm "$verdicts/ours.bin.003"
printf 'damage' | dd of="$verdicts/ours.bin.005" bs=1 seek=1000 conv=notrunc 2>/dev/null
cp "$others"/bad-sfv.bin.* "$verdicts/"
cp "$work"/peer.bin.00[1-6] "$work/peer.bin.sha256" "$verdicts/"
sums=$(cd "$verdicts" && sha256sum -c --ignore-missing ours.bin.sha256 2>/dev/null | grep -v ': OK$' || true)
sfv=$(cd "$verdicts" && cksfv -q -f bad-sfv.bin.sfv 2>&1 | grep -c 'bad-sfv.bin.005' || true)
par2=0
(cd "$verdicts" && par2 verify -q ours.bin.par2 >/dev/null 2>&1) || par2=$?
arriving=$(cd "$verdicts" && sha256sum -c --ignore-missing peer.bin.sha256 2>/dev/null | grep -c ': OK$' || true)
listing() { (cd "$verdicts" && ls -l --time-style=+%s.%N bad-sfv.bin.* peer.bin.* | sha256sum); }
before=$(listing)
BRINDLECOT_INTEROP_DIR=$(winpath "$verdicts") "$root/scripts/wine-run.sh" "$wine_dir" "$driver" \
    --gtest_color=no --gtest_filter='CheckInteropTest.*' || failed=1
if [ "$sums" = "ours.bin.005: FAILED" ] && [ "$sfv" = 1 ] && [ "$par2" = 1 ] && [ "$arriving" = 6 ] &&
    [ "$(listing)" = "$before" ]; then
    echo "interop: the program's checks tell what sha256sum -c, cksfv -f and par2 verify tell, and write nothing"
else
    echo "interop: the program's checks and the peers' disagree ($sums; $sfv; $par2; $arriving), or files changed" >&2
    failed=1
fi
if cmp -s "$work/ours.bin.003" "$verdicts/ours.bin.003" && cmp -s "$work/ours.bin.005" "$verdicts/ours.bin.005" &&
    [ -e "$verdicts/ours.bin.005.damaged" ] && [ ! -e "$verdicts/ours.bin" ] &&
    (cd "$verdicts" && sha256sum --strict --ignore-missing -c ours.bin.sha256 >/dev/null); then
    echo "interop: a lost and a damaged part repaired in place by the program's check: identical, sha256sum -c agrees"
else
    echo "interop: the program's check did NOT repair the lost and the damaged part in place" >&2
    failed=1
fi

# The console program from a script: three files split in one command, with recovery data, each
# exit code checked; the parts joined by cat and checked by sha256sum -c and par2 verify; then the
# three joined back in one command, and once more when the parts are gone.
cli=$(dirname "$driver")/../brindlecot-cli.exe
console=$work/console
mkdir "$console"
names=("first file.bin" "second.bin" "third €.bin")
for n in 0 1 2; do
    head -c $(((n + 1) * 1500000 + 17)) "$work/original.bin" >"$console/${names[$n]}"
    cp "$console/${names[$n]}" "$work/console.$n.orig"
done
run_cli() {
    local code=0
    "$root/scripts/wine-run.sh" "$wine_dir" "$cli" "$@" >"$work/console.out" 2>/dev/null || code=$?
    echo "$code"
}
expect_code() {
    if [ "$2" = "$3" ]; then
        echo "interop: the console program, $1: exit code $2"
    else
        echo "interop: the console program, $1: exit code $2, not $3" >&2
        sed 's/^/    /' "$work/console.out" >&2
        failed=1
    fi
}
expect_code "three files split in one command" "$(run_cli split --size 1M --recovery 10 \
    "$(winpath "$console/${names[0]}")" "$(winpath "$console/${names[1]}")" \
    "$(winpath "$console/${names[2]}")")" 0
for n in 0 1 2; do
    name=${names[$n]}
    cat "$console/$name".[0-9][0-9][0-9] >"$work/console.cat"
    if cmp -s "$work/console.$n.orig" "$work/console.cat"; then
        echo "interop: $name split by the console program, joined by cat: identical"
    else
        echo "interop: $name split by the console program, joined by cat: DIFFERS" >&2
        failed=1
    fi
    if (cd "$console" && sha256sum --strict -c "$name.sha256" >/dev/null); then
        echo "interop: $name: the console program's list checked by sha256sum -c: OK"
    else
        echo "interop: $name: the console program's list FAILS sha256sum -c" >&2
        failed=1
    fi
    if (cd "$console" && par2 verify -q "$name.par2" >/dev/null); then
        echo "interop: $name: the console program's recovery data checked by par2 verify: correct"
    else
        echo "interop: $name: the console program's recovery data FAILS par2 verify" >&2
        failed=1
    fi
    rm "$console/$name"
done
expect_code "three sets joined in one command" "$(run_cli join --delete-parts \
    "$(winpath "$console/${names[0]}.001")" "$(winpath "$console/${names[1]}.002")" \
    "$(winpath "$console/${names[2]}.001")")" 0
for n in 0 1 2; do
    name=${names[$n]}
    if cmp -s "$work/console.$n.orig" "$console/$name" && [ ! -e "$console/$name.001" ]; then
        echo "interop: $name joined by the console program: identical, its parts deleted"
    else
        echo "interop: $name joined by the console program: DIFFERS, or its parts left" >&2
        failed=1
    fi
done
expect_code "a join of a file that is there" "$(run_cli join "$(winpath "$console/${names[1]}.001")")" 4
rm "$console/${names[1]}"
expect_code "a join of parts that are gone" "$(run_cli join "$(winpath "$console/${names[1]}.001")")" 2

if [ "$failed" = 0 ]; then
    echo "interop: 44 passed, 0 failed"
fi
exit $failed
