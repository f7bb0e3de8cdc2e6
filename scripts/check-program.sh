#!/usr/bin/env bash
# Checks a built brindlecot.exe and the brindlecot-cli.exe beside it from outside: the PE format
# and machine of their side, the GUI and the console subsystem, a manifest for the same
# processor, and imports from Windows' own DLLs only. On the 32-bit side, the library both
# programs are made of is checked for SSE code that would fault on the 4-byte-aligned stack
# Windows calls 32-bit programs back with. Then the programs are zipped as scripts/package.sh
# zips them for download, and the zip is checked: its four files, the programs unchanged, the
# texts with CR LF line ends, the version in its name, its SHA256SUMS.
#
#   check-program.sh OBJDUMP program.exe 32|64 [library.a]
set -uo pipefail
objdump=$1
program=$2
side=$3
library=${4:-}

if [ "$side" = 32 ]; then
    want_format=pei-i386 want_magic=010b want_arch=x86 want_zip=x86
else
    want_format=pei-x86-64 want_magic=020b want_arch=amd64 want_zip=x64
fi
# The system's own DLLs that a statically linked program may import. Not comctl32: the status
# bar's window class is used without importing anything from it.
allowed=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll shlwapi.dll user32.dll "

failed=0
fail() { echo "check-program: $*" >&2; failed=1; }

console=$(dirname "$program")/brindlecot-cli.exe

# One program: its format, subsystem (2 Windows GUI, 3 console), manifest and imports.
check_image() {
    local image=$1 want_subsystem=$2 name=${1##*/} headers format magic subsystem archs dll
    headers=$("$objdump" -p "$image") || { fail "$objdump cannot read $image"; return; }
    format=$(printf '%s\n' "$headers" | sed -n 's/.*file format //p' | head -n 1)
    magic=$(printf '%s\n' "$headers" | awk '$1 == "Magic" { print $2 }')
    subsystem=$(printf '%s\n' "$headers" | awk '$1 == "Subsystem" { print $2 }')
    [ "$format" = "$want_format" ] || fail "$name: format is '$format', not $want_format"
    [ "$magic" = "$want_magic" ] || fail "$name: optional header magic is '$magic', not $want_magic"
    [ "$subsystem" = "0000000$want_subsystem" ] || fail "$name: subsystem is '$subsystem', not $want_subsystem"

    dlls=$(printf '%s\n' "$headers" | awk '/DLL Name:/ { print tolower($3) }' | sort -u)
    [ -n "$dlls" ] || fail "$name: no imports found"
    for dll in $dlls; do
        case $allowed in *" $dll "*) ;; *) fail "$name imports $dll, which is not one of Windows' own" ;; esac
    done

    archs=$(grep -a -o 'processorArchitecture="[^"]*"' "$image" | sort -u | sed 's/.*="\(.*\)"/\1/')
    [ "$archs" = "$want_arch" ] || fail "$name: manifest names processor '$(echo $archs)', not $want_arch"

    # Per-monitor dpi awareness for Windows 10, the older per-monitor and system-aware form for
    # 8.1 and 7; and the calls of those newer systems are looked up at run time, never imported,
    # so the program still starts on Windows 7.
    grep -a -q '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, PerMonitor</dpiAwareness>' "$image" ||
        fail "$name: manifest declares no per-monitor (v2) dpi awareness"
    grep -a -q '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>' "$image" ||
        fail "$name: manifest has no dpiAware true/pm for older systems"
    for dll in GetDpiForWindow GetDpiForSystem GetSystemMetricsForDpi AdjustWindowRectExForDpi \
        SystemParametersInfoForDpi EnableNonClientDpiScaling SetDialogControlDpiChangeBehavior \
        SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext; do
        printf '%s\n' "$headers" | grep -q -w "$dll" && fail "$name imports $dll, which Windows 7 does not have"
    done
    format_seen=$format magic_seen=$magic
}
check_image "$console" 3
console_dlls=$dlls
check_image "$program" 2
format=$format_seen magic=$magic_seen

# A legacy SSE instruction with a 16-byte stack operand faults when the stack is not aligned, so
# a function that has one must align its own stack first. The emulator the 32-bit tests may run
# under does not fault there, so the code itself is read.
if [ "$side" = 32 ] && [ -n "$library" ]; then
    unaligned=$("$objdump" -d --no-show-raw-insn "$library" | awk '
        /^[0-9a-f]+ <.*>:$/ { name = $2; realigned = 0; next }
        /and +\$0xfffffff0,%esp/ { realigned = 1 }
        /xmm/ && /\(%e[sb]p[),]/ && !realigned {
            split($0, field, "\t"); split(field[2], word, " "); op = word[1]
            # VEX forms, unaligned moves and operands of 4 or 8 bytes take any alignment.
            if (op ~ /^v/ && op !~ /^vmova/) next
            if (op ~ /^(movup|movdqu|lddqu|movq|movd|movlp|movhp|movs[sd]|cvt|u?comis|pinsr|pextr)/) next
            if (op ~ /s[sd]$/) next
            print name " " op
        }' | sort -u)
    [ -z "$unaligned" ] || fail "SSE code relies on a 16-byte-aligned stack it does not align itself:
$unaligned"
fi

# The download of this side, made by package.sh from this very program in a folder of its own.
dist=$(mktemp -d)
trap 'rm -rf "$dist"' EXIT
if bash "$(dirname "$0")/package.sh" "$dist" "$side" "$program" >/dev/null; then
    zip=$(cd "$dist" && ls *.zip) files=$dist/files
    version=$(printf '%s' "$zip" | sed -n "s/^brindlecot-\(.*\)-$want_zip\.zip$/\1/p")
    grep -q -F -x "#define BRINDLECOT_VERSION_TEXT \"$version\"" "$(dirname "$0")/../res/version.h" ||
        fail "the zip is named '$zip', not brindlecot-<version of res/version.h>-$want_zip.zip"
    listed=$(unzip -Z1 "$dist/$zip" | LC_ALL=C sort | paste -sd' ')
    [ "$listed" = "LICENSE README.txt brindlecot-cli.exe brindlecot.exe" ] ||
        fail "$zip holds '$listed', not brindlecot.exe, brindlecot-cli.exe, README.txt and LICENSE alone"
    unzip -q "$dist/$zip" -d "$files"
    cmp -s "$program" "$files/brindlecot.exe" || fail "the brindlecot.exe in $zip is not the built one"
    cmp -s "$console" "$files/brindlecot-cli.exe" || fail "the brindlecot-cli.exe in $zip is not the built one"
    for text in README.txt LICENSE; do
        # Every line ends in CR LF, the last one too.
        if LC_ALL=C grep -q -v $'\r$' "$files/$text" || [ "$(tail -c 2 "$files/$text" | od -An -tx1)" != " 0d 0a" ]; then
            fail "$text in $zip has a line that does not end in CR LF"
        fi
    done
    grep -q "MIT License" "$files/LICENSE" && grep -q "The Brindlecot authors" "$files/LICENSE" ||
        fail "LICENSE in $zip is not the MIT license of The Brindlecot authors"
    [ "$(cut -d' ' -f3- "$dist/SHA256SUMS")" = "$zip" ] && (cd "$dist" && sha256sum --quiet -c SHA256SUMS) ||
        fail "SHA256SUMS does not hold for $zip alone"
else
    fail "package.sh could not zip the program"
fi

if [ "$failed" = 0 ]; then
    echo "check-program: $format, PE magic $magic, GUI and console, manifest $want_arch, per-monitor dpi, imports: $(echo $dlls) and $(echo $console_dlls); $zip holds the programs, README.txt and LICENSE"
fi
exit $failed
