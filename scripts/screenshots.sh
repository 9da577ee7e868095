#!/usr/bin/env bash
# Saves screenshots of the windows into docs/, drawn on a virtual X display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
cd "$root"
LC_ALL=es_ES.UTF-8 xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/bin/fotolista_screenshots" "$root/docs"
ls -l "$root"/docs/*.png
