#!/usr/bin/env bash
# The main job: sets up the machine, builds brindlecot.exe and runs it under Wine on a display of
# its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"

work=$(mktemp -d "$build/run.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((1024 * 1024)) /dev/urandom >"$work/sample file.bin"
sample="Z:$(printf '%s' "$work/sample file.bin" | tr '/' '\\')"

echo "brindlecot.exe /s \"$sample\""
set +e
"$root/scripts/wine-run.sh" "$build/wine" "$build/brindlecot.exe" /s "$sample"
rc=$?
set -e
echo "brindlecot.exe exited with $rc"
exit $rc
