#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine. Quick when all is there.
# Where the CPU runs no 32-bit code, the 32-bit side runs through qemu-user, which comes from
# bookworm-backports (10.0): bookworm's own 7.2 is not reliable with Wine, so it is never used.
set -euo pipefail
source "$(dirname "$0")/arch.sh"

packages=(
    cmake make ninja-build
    g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
    googletest
    wine wine64 wine32:i386
    xvfb xauth x11-utils
    imagemagick p7zip-full zip unzip fonts-wine par2
    # writes the .sfv files a join must honour
    cksfv
    # mkfs.vfat, for the image behind the test's FAT32 drive
    dosfstools
)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

need_root() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "setup: $1; run as root or install it" >&2
        exit 1
    fi
}
export DEBIAN_FRONTEND=noninteractive

# A mirror in the middle of a sync fails an index now and then ("File has unexpected size"); a
# later try finds it whole. If every try fails, the install goes on with what was read, from the
# point release alone: with one architecture's security index missing, the two architectures'
# newest versions of a library differ, and the 32-bit Wine can't be installed beside the 64-bit.
release_only=()
update_package_lists() {
    local try tries=4
    # Once given up on, one more try is enough.
    [ ${#release_only[@]} -eq 0 ] || tries=1
    for ((try = 1; try <= tries; try++)); do
        apt-get update -qq && return 0
        echo "setup: reading the package lists failed (try $try of $tries)" >&2
        [ "$try" = "$tries" ] || sleep 15
    done
    echo "setup: installing from the point release alone" >&2
    release_only=(-o APT::Default-Release=bookworm)
}

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
    need_root "missing packages (${missing[*]})"
    echo "setup: installing ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    update_package_lists
    apt-get install -y -qq --no-install-recommends "${release_only[@]}" "${missing[@]}" >/dev/null
fi

# The emulator only where 32-bit code does not run natively (or BRINDLECOT_QEMU=1 asks for it).
if [ "${BRINDLECOT_QEMU:-0}" != 1 ] && "$arch_server32" --version >/dev/null 2>&1; then
    exit 0
fi
qemu_version=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)
if installed qemu-user && dpkg --compare-versions "$qemu_version" ge 1:10; then
    exit 0
fi
need_root "32-bit programs need qemu-user 10 from bookworm-backports here"
backports=/etc/apt/sources.list.d/bookworm-backports.list
if ! grep -rqs '^[^#]*bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "deb http://deb.debian.org/debian bookworm-backports main" >"$backports"
fi
echo "setup: installing qemu-user from bookworm-backports, for the 32-bit side"
update_package_lists
# No recommends: qemu-user-binfmt would register the emulator for the whole machine.
apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null
