#!/usr/bin/env bash
# Runs a command with a small tmpfs volume mounted and offered to Wine as drive T:, so that tests
# can fill a real disk. Where mounting is not allowed the command runs without it, and the tests
# that need the volume skip with a message.
# It also offers drive F:, whose device is a FAT32 image made by mkfs.vfat: Wine reads the file
# system from the image's boot sector, as from a stick's, while the drive's files stay in a
# folder (this kernel may have no FAT to mount the image with). The limits of FAT32 are checked
# before anything is written, so F: tells them as a stick would.
# And it offers drive R:, a read-only view (a read-only bind mount) of a folder that is writable
# as drive W:, for joins from a place that takes no files, as a disc or a read-only share.
set -u
size=${SMALL_VOLUME_SIZE:-3m}
dir=$(mktemp -d "${TMPDIR:-/tmp}/brindlecot-small.XXXXXX")
fat=$(mktemp -d "${TMPDIR:-/tmp}/brindlecot-fat32.XXXXXX")
readonly_dir=$(mktemp -d "${TMPDIR:-/tmp}/brindlecot-readonly.XXXXXX")
mounted=0
readonly_mounted=0
cleanup() {
    if [ "$mounted" = 1 ]; then
        umount "$dir" 2>/dev/null || umount -l "$dir"
    fi
    if [ "$readonly_mounted" = 1 ]; then
        umount "$readonly_dir/view" 2>/dev/null || umount -l "$readonly_dir/view"
    fi
    rmdir "$dir" 2>/dev/null
    rm -rf "$fat" "$readonly_dir"
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
mkdir "$readonly_dir/files" "$readonly_dir/view"
if mount --bind "$readonly_dir/files" "$readonly_dir/view" 2>/dev/null; then
    readonly_mounted=1
    if mount -o remount,bind,ro "$readonly_dir/view" 2>/dev/null; then
        export BRINDLECOT_DRIVES="${BRINDLECOT_DRIVES:-} r:=$readonly_dir/view w:=$readonly_dir/files"
        export BRINDLECOT_READONLY_DRIVE="R:" BRINDLECOT_READONLY_SOURCE="W:"
    else
        echo "with-small-volume: cannot make a read-only mount here; running without drive R:" >&2
    fi
else
    echo "with-small-volume: cannot bind-mount here; running without drive R:" >&2
fi
"$@"
