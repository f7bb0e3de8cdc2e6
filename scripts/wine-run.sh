#!/usr/bin/env bash
# Runs one Windows program under Wine, in a fresh copy of the build tree's private prefix and on
# an Xvfb display of its own, then takes everything down again and returns the program's exit code.
#
#   wine-run.sh WINE_DIR program.exe [arguments...]
#
# The program's own header says which Wine runs it: a PE32 program gets Wine's 32-bit loader and
# a 32-bit prefix, a PE32+ program the 64-bit loader and a 64-bit prefix. The loaders are started
# by their paths, so the `wine` wrapper's own choice never matters. Where the CPU runs no 32-bit
# code (or BRINDLECOT_QEMU=1 asks for it), a PE32 program runs through qemu-user: the script
# starts itself again inside the emulator's private namespace (arch.sh), where all that the run
# starts ends with it. WINE_DIR holds one template prefix per architecture (booted once) and the
# per-run copies. Set BRINDLECOT_KEEP_RUN=1 to keep the run's prefix for a look afterwards,
# BRINDLECOT_DPI to run at another scaling than 96 dpi.
set -u
source "$(dirname "$0")/lib.sh"

arguments=("$@")
wine_dir=$1
shift
mkdir -p "$wine_dir"
wine_dir=$(cd "$wine_dir" && pwd)
program=$1

# The optional header's magic: 0x10b for PE32, 0x20b for PE32+.
pe_magic() {
    local lfanew
    lfanew=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$lfanew" ] || return 1
    od -An -tx2 -j$((lfanew + 24)) -N2 "$1" 2>/dev/null | tr -d ' '
}

case $(pe_magic "$program") in
    010b)
        if [ "${BRINDLECOT_IN_QEMU:-0}" != 1 ] && [ -x "$arch_qemu" ] &&
            { [ "${BRINDLECOT_QEMU:-0}" = 1 ] || ! "$arch_server32" --version >/dev/null 2>&1; }; then
            exec "${arch_qemu_command[@]}" bash "$0" "${arguments[@]}"
        fi
        export WINEARCH=win32
        export WINELOADER=/usr/lib/wine/wine
        export WINESERVER=/usr/lib/wine/wineserver32 ;;
    020b)
        export WINEARCH=win64
        export WINELOADER=/usr/lib/wine/wine64
        export WINESERVER=/usr/lib/wine/wineserver64 ;;
    *)
        echo "wine-run: $program is not a 32- or 64-bit Windows program" >&2
        exit 125 ;;
esac
template=$wine_dir/template-$WINEARCH
if ! "$WINESERVER" --version >/dev/null 2>&1; then
    echo "wine-run: $WINESERVER cannot start on this machine, so $WINEARCH programs cannot run here" >&2
    exit 125
fi
export WINEDEBUG=${WINEDEBUG:--all}

make_template() {
    local tmp=$template.new reg=$template.reg
    rm -rf "$tmp"
    # No Mono or Gecko: their installers would ask a person.
    WINEPREFIX=$tmp WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= "$WINELOADER" wineboot.exe -i >/dev/null 2>&1
    cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
    WINEPREFIX=$tmp DISPLAY= "$WINELOADER" regedit.exe /S "$(winpath "$reg")" >/dev/null 2>&1
    WINEPREFIX=$tmp "$WINESERVER" -w
    rm -f "$reg"
    # The caption buttons are drawn with Wine's Marlett, which it does not find in its data
    # folder here but does in the prefix's Fonts folder. The dialog fonts stay as they are: the
    # window tests measure text in them.
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        cp /usr/share/wine/fonts/marlett.ttf "$tmp/drive_c/windows/Fonts/"
    fi
    touch "$tmp/.ready"
    mv "$tmp" "$template"
}

(
    flock 9
    [ -f "$template/.ready" ] || make_template
) 9>"$template.lock"
if [ ! -f "$template/.ready" ]; then
    echo "wine-run: could not create the Wine prefix in $template" >&2
    exit 125
fi

run=$(mktemp -d "$wine_dir/run.XXXXXX")
xvfb_pid=
cleanup() {
    WINEPREFIX=$run/prefix "$WINESERVER" -k >/dev/null 2>&1
    WINEPREFIX=$run/prefix "$WINESERVER" -w >/dev/null 2>&1
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    if [ "${BRINDLECOT_KEEP_RUN:-0}" = 1 ]; then
        echo "wine-run: kept $run" >&2
    else
        rm -rf "$run"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Hard links make the copy cheap; the registry files are the only ones Wine rewrites in place,
# so they get copies of their own.
cp -al "$template" "$run/prefix"
for reg in "$run"/prefix/*.reg; do
    cp --remove-destination "$template/${reg##*/}" "$reg"
done

# The screen's dots per inch for this run: BRINDLECOT_DPI=144 is 150 % scaling. Wine reads
# HKCU\Control Panel\Desktop "LogPixels" once, when a process first uses its window system, so
# it goes into this run's copy of the registry before anything starts.
if [ -n "${BRINDLECOT_DPI:-}" ]; then
    set_dpi() {
        local dword
        dword=$(printf 'dword:%08x' "$BRINDLECOT_DPI")
        awk -v value="\"LogPixels\"=$dword" '
            /^\[/ { if (inside && !done) { print value; done = 1 } inside = 0 }
            /^\[Control Panel\\\\Desktop\]/ { inside = 1 }
            inside && /^"LogPixels"=/ { next }
            { print }
            END {
                if (inside && !done) { print value; done = 1 }
                if (!done) { print ""; print "[Control Panel\\\\Desktop]"; print value }
            }' "$run/prefix/user.reg" >"$run/prefix/user.reg.new" &&
            mv "$run/prefix/user.reg.new" "$run/prefix/user.reg"
    }
    if ! set_dpi; then
        echo "wine-run: could not set the dpi in $run/prefix/user.reg" >&2
        exit 125
    fi
fi

if [ -z "${BRINDLECOT_DISPLAY:-}" ]; then
    # A display of our own on the first free number, told to us through a file.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$run/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
        [ -s "$run/display" ] && break
        sleep 0.05
    done
    if [ ! -s "$run/display" ]; then
        echo "wine-run: Xvfb did not start" >&2
        exit 125
    fi
    export DISPLAY=":$(tr -dc 0-9 <"$run/display")"
else
    export DISPLAY=$BRINDLECOT_DISPLAY
fi

# Extra drive letters for this run: BRINDLECOT_DRIVES="t:=/some/folder u:=/other".
for drive in ${BRINDLECOT_DRIVES:-}; do
    ln -sfn "${drive#*=}" "$run/prefix/dosdevices/${drive%%=*}"
done

export WINEPREFIX=$run/prefix
export BRINDLECOT_RUN_DIR=$run
# A test program creates this file when it starts and deletes it when all its tests are done. One
# that crashes leaves it behind, and that is what tells: Wine's debugger, having printed the
# backtrace, may end a crashed program with exit code 0.
export TEST_PREMATURE_EXIT_FILE
TEST_PREMATURE_EXIT_FILE=$(winpath "$run/premature-exit")
"$WINELOADER" "$@"
rc=$?
if [ -e "$run/premature-exit" ]; then
    echo "wine-run: ${program##*/} ended before its tests were done (exit code $rc)" >&2
    [ "$rc" = 0 ] && rc=1
fi
exit $rc
