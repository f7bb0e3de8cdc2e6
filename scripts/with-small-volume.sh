#!/usr/bin/env bash
# Runs a command with a small tmpfs volume mounted and offered to Wine as drive T:, so that tests
# can fill a real disk. Where mounting is not allowed the command runs without it, and the tests
# that need the volume skip with a message.
# It also offers drive F:, whose device is a FAT32 image made by mkfs.vfat: Wine reads the file
# system from the image's boot sector, as from a stick's, while the drive's files stay in a
# folder (this kernel may have no FAT to mount the image with). The limits of FAT32 are checked
# before anything is written, so F: tells them as a stick would.
set -u
size=${SMALL_VOLUME_SIZE:-3m}
dir=$(mktemp -d "${TMPDIR:-/tmp}/brindlecot-small.XXXXXX")
fat=$(mktemp -d "${TMPDIR:-/tmp}/brindlecot-fat32.XXXXXX")
mounted=0
cleanup() {
    if [ "$mounted" = 1 ]; then
        umount "$dir" 2>/dev/null || umount -l "$dir"
    fi
    rmdir "$dir" 2>/dev/null
    rm -rf "$fat"
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
mkfs_vfat=$(command -v mkfs.vfat || echo /usr/sbin/mkfs.vfat)
if mkdir "$fat/files" && "$mkfs_vfat" -F 32 -C "$fat/volume.img" 65536 >/dev/null 2>&1; then
    export BRINDLECOT_DRIVES="${BRINDLECOT_DRIVES:-} f:=$fat/files f::=$fat/volume.img"
    export BRINDLECOT_FAT32_DRIVE="F:"
else
    echo "with-small-volume: no mkfs.vfat here; running without the FAT32 drive" >&2
fi
"$@"
