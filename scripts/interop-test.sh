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

passed=0
failed=0
# expect WHAT COMMAND...: tells whether the command succeeds, and counts a failure.
expect() {
    local what=$1
    shift
    if "$@"; then
        echo "interop: $what: ok"
        passed=$((passed + 1))
    else
        echo "interop: $what: FAILED" >&2
        failed=$((failed + 1))
    fi
}
same() { expect "$1: identical" cmp -s "$2" "$3"; }
# at DIR COMMAND...: the command run in the folder, its output dropped.
at() { (cd "$1" && shift && "$@" >/dev/null 2>&1); }
damage() { printf 'damage' | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null; }
# The cases of the test program that the filter $2 names, on the files of the folder $1.
cases() {
    BRINDLECOT_INTEROP_DIR=$(winpath "$1") "$root/scripts/wine-run.sh" "$wine_dir" "$driver" \
        --gtest_color=no --gtest_filter="$2"
}

original=$work/original.bin
head -c $((25 * 1024 * 1024 + 333)) /dev/urandom >"$original"
cp "$original" "$work/ours.bin"
many='trïp €.bin'
head -c $((1001 * 4096 - 7)) "$original" >"$work/many.orig"
cp "$work/many.orig" "$work/$many"
split -b 3000000 -d -a 3 --numeric-suffixes=1 "$original" "$work/peer.bin."
# The list sha256sum writes for the parts and the whole file they make (binary mark, as on Windows).
(cd "$work" && sha256sum -b peer.bin.[0-9][0-9][0-9] &&
    sha256sum -b original.bin | sed 's/ \*original\.bin$/ *peer.bin/') >"$work/peer.bin.sha256"
expect "the program's joins and splits beside the peers" cases "$work" 'InteropTest.*'

same "split's parts joined by the program" "$original" "$work/peer.bin"
cat "$work"/ours.bin.[0-9][0-9][0-9] >"$work/cat.bin"
same "the program's parts joined by cat" "$original" "$work/cat.bin"
7z x -y -o"$work/7z" "$work/ours.bin.001" >/dev/null
same "the program's parts extracted by 7z" "$original" "$work/7z/ours.bin"
expect "the program's split: 9 parts, checked by sha256sum -c in a list of 10 lines" eval \
    '[ "$(ls "$work"/ours.bin.[0-9][0-9][0-9] | wc -l)" = 9 ] &&
    at "$work" sha256sum --strict -c ours.bin.sha256 && [ "$(wc -l <"$work/ours.bin.sha256")" = 10 ]'
# The Linux command of the program's instructions, typed by a receiver who has the parts, for a
# name that begins with - as cat would take an option; then with a part missing.
command=$(grep -a '^    (*for i in \$(seq' "$work/ours.bin.join.txt" | tr -d '\r' || true)
mkdir "$work/receiver"
for part in "$work"/ours.bin.[0-9][0-9][0-9]; do cp "$part" "$work/receiver/-${part##*/}"; done
dash=$(echo "$command" | sed "s/'ours\.bin'/'-ours.bin'/g")
(cd "$work/receiver" && bash -c "$dash") || true
same "the program's parts joined by the instructions' command" "$original" "$work/receiver/-ours.bin"
rm -f "$work/receiver/-ours.bin" "$work/receiver/-ours.bin.004"
expect "a part missing: the instructions' command fails and leaves no file" eval \
    '! at "$work/receiver" bash -c "$dash" && [ ! -e "$work/receiver/-ours.bin" ]'
# The same command past part 999, where a glob would put .1000 before .101.
mkdir "$work/many"
head -c $((1001 * 64 - 7)) "$original" >"$work/many/original.bin"
(cd "$work/many" && split -b 64 -d -a 4 --numeric-suffixes=1 original.bin part. &&
    for f in part.*; do mv "$f" "$(printf 'many.bin.%03d' $((10#${f#part.})))"; done &&
    bash -c "$(echo "$command" | sed -e "s/'ours\.bin'/'many.bin'/g" -e 's/ 1 9)/ 1 1001)/')")
same "1,001 parts joined by the instructions' command" "$work/many/original.bin" "$work/many/many.bin"
# The recovery data of the set $1: par2 finds it whole, then rebuilds part $2 lost and part $3
# damaged in a copy.
par2_mends() {
    local copy
    copy=$(mktemp -d "$work/par2.XXXXXX")
    expect "$1: the program's recovery data checked by par2 verify" at "$work" par2 verify -q "$1.par2"
    cp "$work/$1".* "$copy/"
    rm "$copy/$1.$2"
    damage "$copy/$1.$3" 1000
    at "$copy" par2 repair -q "$1.par2" || true
    same "$1: part $2 lost, rebuilt by par2 repair" "$work/$1.$2" "$copy/$1.$2"
    same "$1: part $3 damaged, rebuilt by par2 repair" "$work/$1.$3" "$copy/$1.$3"
}
par2_mends ours.bin 003 005
# 1,001 parts named beyond ASCII: part 1,000 among them.
par2_mends "$many" 1000 005

# The program rebuilds a lost and a damaged part from its own recovery data, and from a set that
# par2 made for the parts of split, then joins.
mend=$work/mend
mkdir "$mend"
cp "$work"/ours.bin.[0-9][0-9][0-9] "$work"/ours.bin*.par2 "$work/ours.bin.sha256" "$mend/"
cp "$work/$many".* "$mend/"
rm "$mend/$many.1000"
damage "$mend/$many.007" 100
cp "$work"/peer.bin.[0-9][0-9][0-9] "$work/peer.bin.sha256" "$mend/"
(cd "$mend" && par2 create -q -q -s1000000 -r20 -n1 peer.bin.par2 peer.bin.[0-9][0-9][0-9] >/dev/null)
# A set par2 made for the whole file before GNU split cut it: the parts are joined as ever and the
# joined file checked against the set.
cp "$original" "$mend/whole.bin"
(cd "$mend" && par2 create -q -q -r5 -n1 whole.bin.par2 whole.bin >/dev/null &&
    split -b 3000000 -d -a 3 --numeric-suffixes=1 whole.bin whole.bin. && rm whole.bin)
rm "$mend/ours.bin.004" "$mend/peer.bin.002"
damage "$mend/ours.bin.006" 5000
damage "$mend/peer.bin.005" 5000
# Other tools' checksum files beside parts GNU split cut: cksfv writes the .sfv, md5sum and
# sha1sum the lists (binary and text marks), and the .crc is written by hand to the file managers'
# format with the CRC32 cksfv gives the whole file. A copy of the .sfv set with part 5 damaged is
# for the checks below.
size=$(stat -c %s "$original")
crc=$(cd "$work" && cksfv -q original.bin | grep -v '^;' | awk '{print $NF}')
for whole in {sfv,md5,sha1,crc,bad-sfv}.bin; do
    (cd "$mend" && split -b 3000000 -d -a 3 --numeric-suffixes=1 "$original" "$whole.")
    case ${whole%.bin} in
    *sfv) (cd "$mend" && cksfv "$whole".[0-9][0-9][0-9] >"$whole.sfv") ;;
    md5) (cd "$mend" && md5sum -b "$whole".[0-9][0-9][0-9] >"$whole.md5") ;;
    sha1) (cd "$mend" && sha1sum "$whole".[0-9][0-9][0-9] >"$whole.sha1") ;;
    crc) printf 'filename=%s\r\nsize=%s\r\ncrc32=%s\r\n' "$whole" "$size" "$crc" >"$mend/$whole.crc" ;;
    esac
done
damage "$mend/bad-sfv.bin.005" 2000
expect "the program's rebuilds and joins" cases "$mend" 'JoinInteropTest.*'
same "ours.bin rebuilt and joined by the program" "$original" "$mend/ours.bin"
same "peer.bin rebuilt by par2's set and joined by the program" "$original" "$mend/peer.bin"
same "parts of a file par2 protected whole, joined and checked by the program" "$original" \
    "$mend/whole.bin"
same "1,001 parts named beyond ASCII rebuilt and joined by the program" "$work/many.orig" \
    "$mend/$many"
for damaged in ours.bin.006 peer.bin.005 "$many.007"; do
    expect "$damaged rebuilt as it was, the damaged one kept as $damaged.damaged" eval \
        '[ -e "$mend/$damaged.damaged" ] && cmp -s "$mend/$damaged" "$work/$damaged"'
done
for kind in sfv md5 sha1 crc; do
    same "split's parts checked by the $kind file and joined by the program" "$original" \
        "$mend/$kind.bin"
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
damage "$verdicts/ours.bin.005" 1000
cp "$mend"/bad-sfv.bin.* "$verdicts/"
cp "$work"/peer.bin.00[1-6] "$work/peer.bin.sha256" "$verdicts/"
sums=$(cd "$verdicts" && sha256sum -c --ignore-missing ours.bin.sha256 2>/dev/null | grep -v ': OK$' || true)
sfv=$(cd "$verdicts" && cksfv -q -f bad-sfv.bin.sfv 2>&1 | grep -c 'bad-sfv.bin.005' || true)
par2=0
at "$verdicts" par2 verify -q ours.bin.par2 || par2=$?
arriving=$(cd "$verdicts" && sha256sum -c --ignore-missing peer.bin.sha256 2>/dev/null | grep -c ': OK$' || true)
expect "the peers' verdicts: damaged and repairable, damaged, all there good" \
    test "$sums|$sfv|$par2|$arriving" = "ours.bin.005: FAILED|1|1|6"
listing() { (cd "$verdicts" && ls -l --time-style=+%s.%N bad-sfv.bin.* peer.bin.* | sha256sum); }
before=$(listing)
expect "the program's checks tell what the peers tell" cases "$verdicts" 'CheckInteropTest.*'
expect "the program's checks write nothing" test "$(listing)" = "$before"
expect "a lost and a damaged part repaired in place by the program's check, as sha256sum -c agrees" \
    eval 'cmp -s "$work/ours.bin.003" "$verdicts/ours.bin.003" &&
    cmp -s "$work/ours.bin.005" "$verdicts/ours.bin.005" && [ -e "$verdicts/ours.bin.005.damaged" ] &&
    [ ! -e "$verdicts/ours.bin" ] && at "$verdicts" sha256sum --strict --ignore-missing -c ours.bin.sha256'

# The console program from a script: three files split in one command, with recovery data; the
# parts joined by cat and checked by sha256sum -c and par2 verify; then the three joined back in
# one command.
cli=$(dirname "$driver")/../brindlecot-cli.exe
console=$work/console
mkdir "$console"
names=("first file.bin" "second.bin" "third €.bin")
for n in 0 1 2; do
    head -c $(((n + 1) * 1500000 + 17)) "$original" >"$console/${names[$n]}"
    cp "$console/${names[$n]}" "$work/console.$n.orig"
done
console_run() {
    "$root/scripts/wine-run.sh" "$wine_dir" "$cli" "$@" >"$work/console.out" 2>/dev/null ||
        { sed 's/^/    /' "$work/console.out" >&2 && false; }
}
expect "three files split in one command by the console program" console_run split --size 1M \
    --recovery 10 "$(winpath "$console/${names[0]}")" "$(winpath "$console/${names[1]}")" \
    "$(winpath "$console/${names[2]}")"
for n in 0 1 2; do
    name=${names[$n]}
    cat "$console/$name".[0-9][0-9][0-9] >"$work/console.cat"
    same "$name split by the console program, joined by cat" "$work/console.$n.orig" \
        "$work/console.cat"
    expect "$name: the console program's list checked by sha256sum -c" \
        at "$console" sha256sum --strict -c "$name.sha256"
    expect "$name: the console program's recovery data checked by par2 verify" \
        at "$console" par2 verify -q "$name.par2"
    rm "$console/$name"
done
expect "three sets joined in one command by the console program" console_run join --delete-parts \
    "$(winpath "$console/${names[0]}.001")" "$(winpath "$console/${names[1]}.002")" \
    "$(winpath "$console/${names[2]}.001")"
for n in 0 1 2; do
    expect "${names[$n]} joined by the console program, its parts deleted" eval \
        'cmp -s "$work/console.$n.orig" "$console/${names[$n]}" && [ ! -e "$console/${names[$n]}.001" ]'
done

echo "interop: $passed passed, $failed failed"
[ "$failed" = 0 ]
