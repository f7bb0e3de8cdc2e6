#!/usr/bin/env bash
# Runs a command with a small tmpfs volume mounted and offered to Wine as drive T:, so that tests
# can fill a real disk. Where mounting is not allowed the command runs without it, and the tests
# that need the volume skip with a message.
set -u
size=${SMALL_VOLUME_SIZE:-3m}
dir=$(mktemp -d "${TMPDIR:-/tmp}/brindlecot-small.XXXXXX")
mounted=0
cleanup() {
    if [ "$mounted" = 1 ]; then
        umount "$dir" 2>/dev/null || umount -l "$dir"
    fi
    rmdir "$dir" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if mount -t tmpfs -o "size=$size" brindlecot-small "$dir" 2>/dev/null; then
    mounted=1
    export BRINDLECOT_DRIVES="${BRINDLECOT_DRIVES:-} t:=$dir"
    export BRINDLECOT_SMALL_DRIVE="T:"
else
    echo "with-small-volume: cannot mount a tmpfs here; running without the small volume" >&2
fi
"$@"
