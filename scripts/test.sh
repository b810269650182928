#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
"$here/scripts/setup.sh" "$build"
ctest --test-dir "$build" --output-on-failure -j2 --timeout 600
