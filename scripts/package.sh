#!/usr/bin/env bash
# Makes the downloads for Windows users: build/dist/brindlecot-<version>-x86.zip and -x64.zip,
# each holding its side's brindlecot.exe and brindlecot-cli.exe, README.txt (res/README.txt) and
# LICENSE, and beside them build/dist/SHA256SUMS for the two zips. The version is
# BRINDLECOT_VERSION_TEXT of res/version.h. Builds the programs of both sides first, when needed
# (not the tests).
# With arguments, makes only the zip of one side from a given program and the console program
# beside it, and its SHA256SUMS, into a folder, without building: the test `program` checks the
# zip of the programs it checks.
#
#   bash scripts/package.sh
#   bash scripts/package.sh FOLDER 32|64 brindlecot.exe
set -euo pipefail
source "$(dirname "$0")/lib.sh"

# The version as people see it, read where it is written, as CMake reads the numbers.
version=$(sed -n 's/^#define BRINDLECOT_VERSION_TEXT "\([0-9A-Za-z.+-]*\)"$/\1/p' "$root/res/version.h")
if [ -z "$version" ] || [ "$(printf '%s\n' "$version" | wc -l)" != 1 ]; then
    echo "package: res/version.h has no single BRINDLECOT_VERSION_TEXT fit for a file name" >&2
    exit 1
fi
command -v zip >/dev/null || { echo "package: zip is not installed (bash scripts/setup.sh)" >&2; exit 1; }
# The files' times in the zips: those of the last commit, so that the same sources give the same
# zips; the time of version.h outside a git checkout.
stamp=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || stat -c %Y "$root/res/version.h")}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
names=()

# Zips one side's program with the two texts into folder $3 and adds the zip's name to names.
zip_side() {
    local name stage=$work/$1
    name=brindlecot-$version-$(arch_dir_name "$1").zip
    mkdir -p "$stage"
    cp "$2" "$stage/brindlecot.exe"
    cp "$(dirname "$2")/brindlecot-cli.exe" "$stage/brindlecot-cli.exe"
    # CR LF on every line: Notepad before Windows 10 shows a text with bare LF as one long line.
    sed 's/\r*$/\r/' "$root/res/README.txt" >"$stage/README.txt"
    sed 's/\r*$/\r/' "$root/LICENSE" >"$stage/LICENSE"
    chmod 644 "$stage"/*
    touch -d "@$stamp" "$stage"/*
    # zip adds to an existing archive; -X leaves out the owner and the extra time fields.
    rm -f "$3/$name"
    (cd "$stage" && TZ=UTC zip -q -X -9 "$3/$name" brindlecot.exe brindlecot-cli.exe README.txt LICENSE)
    names+=("$name")
}

if [ $# = 3 ]; then
    case $2 in 32 | 64) ;; *) echo "package: '$2' names no side (32 or 64)" >&2; exit 2 ;; esac
    out=$(cd "$1" && pwd)
    zip_side "$2" "$3" "$out"
elif [ $# = 0 ]; then
    echo "package: building the two programs"
    bash "$root/scripts/build.sh" 32:program 64:program >/dev/null
    out=$build_root/dist
    mkdir -p "$out"
    # Zips of an earlier version would stay beside the new ones.
    rm -f "$out"/brindlecot-*.zip "$out/SHA256SUMS"
    for side in $arch_all; do
        zip_side "$side" "$(arch_build_dir "$side")/brindlecot.exe" "$out"
    done
else
    echo "usage: bash scripts/package.sh [FOLDER 32|64 brindlecot.exe]" >&2
    exit 2
fi
(cd "$out" && sha256sum "${names[@]}" >SHA256SUMS)
for name in "${names[@]}" SHA256SUMS; do echo "package: $out/$name"; done
