#!/usr/bin/env bash
# Renders the windows and controls to PNG files without a display, once at
# normal density (OUTDIR/1x) and once at twice the density (OUTDIR/2x).
# Usage: scripts/screenshots.sh OUTDIR
# CMAKE names another cmake to build with (a wrapper, for example).
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
out=$(realpath -m "$1")
cd "$(dirname "$0")/.."
cmake=${CMAKE:-cmake}

"$cmake" --preset dev >/dev/null
"$cmake" --build --preset dev --target vellumo_screenshots
program=build/dev/app/ui/tools/vellumo_screenshots
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=1 "$program" "$out/1x"
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 "$program" "$out/2x"
