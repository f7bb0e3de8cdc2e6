#!/usr/bin/env bash
# The main job: sets up the machine, builds brindlecot.exe, makes a sample file (256 MiB unless
# SAMPLE_MIB says otherwise) and has the real program split it into 50 MB parts and join them
# back, in its real window on a display of its own, driven from outside as a person would.
# Checks the joined file against the sample, prints what happened with timings, and saves
# screenshots of the window into build/run-screenshots/.
# The 32-bit program is used where it can run, the 64-bit one otherwise.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
mib=${SAMPLE_MIB:-256}

bash "$root/scripts/setup.sh"
use_preferred_side "the main job uses the program"
echo "building"
build_chosen_side

work=$(mktemp -d "$build_root/run.XXXXXX")
trap 'rm -rf "$work"' EXIT
shots=$build_root/run-screenshots
rm -rf "$shots"
mkdir -p "$shots"

echo "making a sample of $mib MiB"
head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/sample file.bin"

BRINDLECOT_SAMPLE=$(winpath "$work/sample file.bin") BRINDLECOT_SCREENSHOT_DIR=$(winpath "$shots") \
    run_in_wine "$build/tests/test_e2e.exe" --gtest_color=no \
    --gtest_also_run_disabled_tests --gtest_filter='DISABLED_Demo.*' |
    grep -v -E '^(Running main|Note: Google Test filter|\[)' || true

if [ ! -f "$work/sample file.bin" ] || [ ! -f "$work/sample file.bin.orig" ]; then
    echo "the split and join did not finish" >&2
    exit 1
fi
parts=$(ls "$work"/"sample file.bin".[0-9][0-9][0-9] | wc -l)
if cmp -s "$work/sample file.bin" "$work/sample file.bin.orig"; then
    echo "checked: $parts parts, the joined file is identical to the sample"
else
    echo "the joined file DIFFERS from the sample" >&2
    exit 1
fi
bmp_to_png "$shots"
echo "screenshots of the window: $(ls "$shots" | tr '\n' ' ')"
echo "(in $shots)"
