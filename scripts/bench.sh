#!/usr/bin/env bash
# Builds the benchmark and runs it under Wine in the project's own prefix
# (build/wineprefix): what a noise frame of each catalogue format costs, filled alone and
# through Wine's filter graph, from the model of rand() and with rand() per byte, against
# memset. It takes about a minute. Arguments go to the program: --format N, --model-only.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default
cmake --build --preset default --target orvix-bench
cd build
exec ./wine-run bin/orvix-bench.exe "$@"
