#!/usr/bin/env bash
# Saves pictures of the real windows, as Wine draws them on a virtual screen, into
# build/screenshots/ as PNG files: the main window of a split waiting without and with a part
# size and with the unit box's list dropped, running, paused, done and failed, a check's report of a damaged
# set and after its repair, the action menu with Split to… and Join to… and the folder picker over
# the window, the question for a missing part, the options dialog, and the setup dialog not installed and damaged; each at 96, 144 and 192 dpi (100, 150 and 200 % scaling), the dpi leading the
# file's name (144dpi-options.png). Builds first when needed.
#
#   bash scripts/screenshots.sh
# The 32-bit program is used where it can run, the 64-bit one otherwise.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
use_preferred_side "screenshots of the program"

build_chosen_side

out=$build_root/screenshots
rm -rf "$out"
mkdir -p "$out"
# The test program reads the folder as a Windows path; Z: is the host's root.
BRINDLECOT_SCREENSHOT_DIR=$(winpath "$out")
export BRINDLECOT_SCREENSHOT_DIR
failed=0
for dpi in 96 144 192; do
    echo "screenshots: $dpi dpi"
    BRINDLECOT_DPI=$dpi run_in_wine "$build/tests/test_ui.exe" \
        --gtest_color=no --gtest_brief=1 --gtest_also_run_disabled_tests \
        --gtest_filter='DISABLED_Screenshots.*' || failed=1
done

bmp_to_png "$out"
ls -1 "$out"
exit $failed
