#!/usr/bin/env bash
# Builds the benchmark and runs it under Wine in the build's own prefix: what a noise
# frame of each catalogue format costs, filled alone and through Wine's filter graph, from
# the model of rand() and with rand() per byte, against memset. It takes about a minute.
# --arch x86 runs the x86 (32-bit) build's benchmark in build-x86/, x64 (the default) the
# x86-64 one in build/. Other arguments go to the program: --format N, --model-only, --kernel K.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=default build=build
if [ "${1:-}" = --arch ]; then
    case ${2:-} in
    x64) ;;
    x86) preset=x86 build=build-x86 ;;
    *) echo "--arch takes x64 or x86" >&2; exit 2 ;;
    esac
    shift 2
fi
scripts/setup.sh
cmake --preset "$preset"
cmake --build --preset "$preset" --target orvix-bench
cd "$build"
exec ./wine-run bin/orvix-bench.exe "$@"
