#!/usr/bin/env bash
# Saves pictures of the real windows, as Wine draws them on a virtual screen, into
# build/screenshots/ as PNG files: the main window of a split waiting without and with a part
# size, running, paused, done and failed, and the options dialog. Builds first when needed.
#
#   bash scripts/screenshots.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

bash "$root/scripts/build.sh" >/dev/null

out=$build/screenshots
rm -rf "$out"
mkdir -p "$out"
# The test program reads the folder as a Windows path; Z: is the host's root.
export BRINDLECOT_SCREENSHOT_DIR="Z:$(printf '%s' "$out" | tr '/' '\\')"
"$root/scripts/wine-run.sh" "$build/wine" "$build/tests/test_ui.exe" --gtest_color=no \
    --gtest_also_run_disabled_tests --gtest_filter='DISABLED_Screenshots.*'

for bmp in "$out"/*.bmp; do
    convert "$bmp" "${bmp%.bmp}.png"
    rm -f "$bmp"
done
ls -1 "$out"
