#!/usr/bin/env bash
# Lists which source folders include which, and fails when the folders include each other in a
# cycle. Usage: scripts/check-layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."
folders=(base codec road photolist gpslog writer export controls app)

edges=$(for from in "${folders[@]}"; do
    grep -ho '#include "[a-z]*/' "$from"/*.h "$from"/*.cpp 2>/dev/null |
        sed 's/#include "//; s#/##' | sort -u |
        while read -r to; do [ "$to" != "$from" ] && echo "$from $to"; done
done)
echo "$edges" | awk '{deps[$1] = deps[$1] " " $2} END {for (f in deps) print f " ->" deps[f]}' | sort
# tsort names the folders of a cycle on standard error and exits non-zero.
if ! echo "$edges" | tsort >/dev/null; then
    echo "check-layers: the folders above include each other in a cycle" >&2
    exit 1
fi
echo "check-layers: no include cycle between folders"
