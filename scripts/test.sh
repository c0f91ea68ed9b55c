#!/usr/bin/env bash
# Builds everything and runs every test under Wine, with Wine's heap checking on; then,
# with both architectures built, makes the release ZIP and installs, uses and uninstalls
# it in a Wine prefix of its own (the tests labelled package). Extra arguments go to
# ctest (for example -R FormatCatalogue, or -L pages), and the package is then left out.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

cmake --preset default
cmake --build --preset default

rm -f build/heap-check.log
export ORVIX_HEAP_CHECK="${ORVIX_HEAP_CHECK:-1}"
# One virtual display for the whole run: dialog tests need it, and a shared one
# spares each test program from starting its own.
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset default "$@"

if [ -s build/heap-check.log ]; then
    echo "Wine's heap checking found damage:"
    cat build/heap-check.log
    exit 1
fi

if [ $# -eq 0 ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset package
fi
