#!/usr/bin/env bash
# The folders of the program are layers: each may include only itself and the folders it is
# built on, listed below. The libraries' links refuse most upward includes, but not one of a
# header alone (an inline function, a type), so this check reads every include instead.
#
#   check-includes.sh SOURCE_DIR
#
# Prints every include that goes where its folder may not, and exits 1 if there is one.
set -euo pipefail
cd "${1:-.}"

declare -A allowed=(
    [base]=""
    [settings]="base"
    [sensor]="base"
    [sources]="base settings sensor"
    [history]="base sensor"
    [logformat]="base sensor history"
    [recording]="base sensor history logformat"
    [replay]="base sensor history logformat"
    [export]="base sensor history logformat"
    [outputs]="base settings sensor"
    [session]="base settings sensor sources history logformat recording outputs"
)

refused=0
for folder in "${!allowed[@]}"; do
    [ -d "$folder" ] || { echo "no folder $folder"; refused=1; continue; }
    while IFS= read -r hit; do
        file=${hit%%:*}
        rest=${hit#*:}
        line=${rest%%:*}
        target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$rest")
        [ "$target" = "$folder" ] && continue
        case " ${allowed[$folder]} " in
        *" $target "*) ;;
        *)
            echo "$file:$line: $folder/ may not include $target/ (it is built on: ${allowed[$folder]:-nothing})"
            refused=1
            ;;
        esac
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' "$folder"/*.h "$folder"/*.cpp 2>/dev/null | sed -E 's/^([^:]+):([0-9]+):/\1:\2:/' || true)
done
if [ "$refused" = 0 ]; then
    echo "every include of ${!allowed[*]} goes down or across its own folder"
fi
exit "$refused"
