#!/usr/bin/env bash
# The main job, for both architectures: builds only the module and the capture tool, for
# x86-64 (build/) and x86 (build-x86/); registers each module in its build's own Wine
# prefix and captures frames from "Orvix61 Capture Source Test 1" with that build's
# orvix-capture, which prints the format and figures and saves the first frame as an
# image. Arguments go to both tools, e.g. --format 3 --frames 60, or --list.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

# Wine wants a display even for console programs; lend it one virtual display for all
# steps rather than one per program.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

for preset in default x86; do
    cmake --preset "$preset"
    cmake --build --preset "$preset" --target Orvix61Test orvix-capture
done
status=0
for architecture in x64 x86; do
    echo
    echo "=== The $([ $architecture = x64 ] && echo x86-64 || echo x86) build"
    scripts/capture.sh --arch "$architecture" "$@" || status=1
done
exit $status
