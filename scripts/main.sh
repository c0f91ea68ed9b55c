#!/usr/bin/env bash
# The main job, for both architectures: builds only the module and the capture tool, for
# x86-64 (build/) and x86 (build-x86/); registers each module in its build's own Wine
# prefix and captures frames from "Orvix61 Capture Source Test 1" with that build's
# orvix-capture, which prints the format and figures and saves the first frame as an
# image. Arguments go to both tools, e.g. --format 3 --frames 60, or --list.
# A build this machine cannot run (x86 where Wine cannot run 32-bit programs) is built and
# named, and not counted as a failure; the exit code is 0 when every build it can run
# registered and captured.
set -euo pipefail
cd "$(dirname "$0")/.."
# Once, before the run under a virtual display that follows.
[ -n "${ORVIX_MAIN_DISPLAYED:-}" ] || scripts/setup.sh

# Wine wants a display even for console programs; lend it one virtual display for all
# steps rather than one per program.
if [ -z "${DISPLAY:-}" ]; then
    ORVIX_MAIN_DISPLAYED=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

for preset in default x86; do
    cmake --preset "$preset"
    cmake --build --preset "$preset" --target Orvix61Test orvix-capture
done
status=0
for architecture in x64 x86; do
    echo
    echo "=== The $([ $architecture = x64 ] && echo x86-64 || echo x86) build"
    legStatus=0
    scripts/capture.sh --arch "$architecture" "$@" || legStatus=$?
    [ $legStatus -eq 0 ] || [ $legStatus -eq 77 ] || status=1
done
exit $status
