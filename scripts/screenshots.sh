#!/usr/bin/env bash
# Takes the README's pictures of the window on a real X server (Xvfb).
# Usage: scripts/screenshots.sh [build-dir]   (after scripts/setup.sh)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/bin/readme_screenshots" "$here/samples" "$here/docs"
echo "Wrote $here/docs/screenshot-import.png, screenshot-export.png and screenshot-dialog.png"
