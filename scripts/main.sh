#!/usr/bin/env bash
# The main job: builds everything, registers the module in the project's own Wine prefix
# (build/wineprefix) and captures frames from "Orvix61 Capture Source Test 1" with
# orvix-capture, which prints the format and figures and saves the first frame as an
# image. Arguments go to the tool, e.g. --format 3 --frames 60, or --list.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default
cmake --build --preset default

# Wine wants a display even for console programs; lend it one virtual display for all
# steps rather than one per program.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" scripts/capture.sh "$@"
fi
exec scripts/capture.sh "$@"
