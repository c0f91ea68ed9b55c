#!/usr/bin/env bash
# Builds both architectures and runs every test of each under Wine, with Wine's heap
# checking on: x86-64 in build/, x86 (32-bit) in build-x86/. Then, with both built and
# no ctest arguments given, makes the release ZIP from them and installs, uses and
# uninstalls it in a Wine prefix of its own (the tests labelled package).
#   scripts/test.sh [--arch x64|x86] [ctest arguments, for example -R FormatCatalogue or -L pages]
# Where Wine cannot run 32-bit programs, the x86 build is built and its tests are not run:
# the closing lines say so, and which architectures were tested. The exit code is 0 when
# every test that ran passed.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-loader.sh
presets=(default x86)
if [ "${1:-}" = --arch ]; then
    case ${2:-} in
    x64) presets=(default) ;;
    x86) presets=(x86) ;;
    *) echo "--arch takes x64 or x86" >&2; exit 2 ;;
    esac
    shift 2
fi
scripts/setup.sh --tests

for preset in "${presets[@]}"; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
done

export ORVIX_HEAP_CHECK="${ORVIX_HEAP_CHECK:-1}"
wine32Problem=$(Wine32Problem)
status=0
tested=()
notTested=()
for preset in "${presets[@]}"; do
    build=build name=x86-64
    [ "$preset" = x86 ] && build=build-x86 name=x86
    if [ "$preset" = x86 ] && [ -n "$wine32Problem" ]; then
        echo "=== Tests of $build/ ($name): not run, because $wine32Problem"
        notTested+=("$name")
        continue
    fi
    echo "=== Tests of $build/ ($name)"
    rm -f "$build/heap-check.log"
    # One virtual display for the whole run: dialog tests need it, and a shared one
    # spares each test program from starting its own.
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset "$preset" "$@" || status=1
    if [ -s "$build/heap-check.log" ]; then
        echo "Wine's heap checking found damage ($build/heap-check.log):"
        cat "$build/heap-check.log"
        status=1
    fi
    tested+=("$name")
done

if [ ${#presets[@]} -eq 2 ] && [ $# -eq 0 ]; then
    echo "=== The release ZIP, made from both builds"
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset package || status=1
fi

echo
echo "Tested: ${tested[*]:-nothing}$([ $status -eq 0 ] && echo ", every test passed" || echo ", with failures (above)")."
if [ ${#notTested[@]} -gt 0 ]; then
    echo "Not tested: ${notTested[*]}, built but none of its tests run, because" \
        "$wine32Problem; the release ZIP's tests ran their x86-64 parts only."
fi
exit $status
