#!/usr/bin/env bash
# Checks which folder may include which (the README's layout section says why), over the quoted
# includes of the product's sources; system headers in angle brackets are free everywhere.
#
#   check-includes.sh [SOURCE_ROOT]
#
# - toolkit/ is a leaf: it includes only toolkit/.
# - io/ includes io/ and toolkit/, and from app/ only the shared types (strings, arrays, byte
#   sizes) and the narrow headers of the process-wide objects (Globals.h, Settings.h).
# - recovery/ (the checksums and the PAR2 library) includes recovery/, toolkit/ and app/'s
#   shared types.
# - ops/ may include all io/ may, ops/, io/ and recovery/, and from ui/ only ShellActions.h, whose
#   free functions select the parts in Explorer; it reaches the window through OperationDisplay.
set -uo pipefail
root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

app_narrow="app/Globals.h app/Settings.h app/WideString.h app/DynArray.h app/ByteSize.h"
declare -A allowed=(
    [toolkit]="toolkit/*"
    [io]="io/* toolkit/* $app_narrow"
    [recovery]="recovery/* toolkit/* app/WideString.h app/DynArray.h app/ByteSize.h"
    [ops]="ops/* io/* recovery/* toolkit/* $app_narrow ui/ShellActions.h"
)

failed=0
checked=0
for folder in toolkit io recovery ops; do
    for file in "$root/$folder"/*.h "$root/$folder"/*.cpp; do
        [ -f "$file" ] || continue
        checked=$((checked + 1))
        while IFS=: read -r line included; do
            # A bare name is found beside the including file.
            case $included in */*) ;; *) included=$folder/$included ;; esac
            ok=0
            for pattern in ${allowed[$folder]}; do
                # shellcheck disable=SC2053
                [[ $included == $pattern ]] && { ok=1; break; }
            done
            if [ "$ok" = 0 ]; then
                echo "check-includes: $folder/${file##*/}:$line includes \"$included\", outside what $folder/ may include" >&2
                failed=1
            fi
        done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
            sed -E 's/^([0-9]+):.*"([^"]*)".*/\1:\2/')
    done
done
[ "$checked" -gt 0 ] || { echo "check-includes: no sources found under $root" >&2; exit 1; }
[ "$failed" = 0 ] && echo "check-includes: $checked files of toolkit/, io/, recovery/ and ops/ include only what they may"
exit $failed
