#!/usr/bin/env bash
# Registers the built module in build/wineprefix and runs orvix-capture against it; the
# first frame goes to build/capture/first-frame.png. Arguments go to the tool.
# scripts/main.sh builds first and then runs this.
set -euo pipefail
cd "$(dirname "$0")/../build"
# The first program run in the prefix creates it (about 15 s, once).
./wine-run regsvr32 /s Orvix61Test.ax || {
    echo "Registering Orvix61Test.ax failed" >&2
    exit 1
}
mkdir -p capture
image=capture/first-frame.png
rm -f "$image"
status=0
./wine-run bin/orvix-capture.exe --output 'capture\first-frame.png' "$@" || status=$?
if [ -f "$image" ]; then
    echo
    echo "The first frame is in $(pwd)/$image"
fi
exit $status
