#!/usr/bin/env bash
# Long reliability runs, far beyond the short ones in the default test run: the malformed
# media type fuzz at the pin and through Wine's graph, the concurrency and information
# soaks, the leak check, releases of streaming filters, and the fault injection and
# registry fault tests. Wine's heap checking is on, as in scripts/test.sh; what it finds
# lands in <build>/heap-check.log and fails the run. (The soaks and the leak check run in a
# child without it: it would serialise their threads and hold freed memory back.)
#
#   scripts/reliability.sh [--types N] [--streamed N] [--seed S] [--soak-seconds N]
#                          [--cycles N] [--releases N] [--no-heap-check] [--arch x64|x86]
#                          [--build-dir DIR]
#
#   --types N          malformed types at the pin (default 10000)
#   --streamed N       malformed types imposed, reconnected and streamed in Wine's graph
#                      (default 2000)
#   --seed S           seed of the fuzz (default: a new one, printed)
#   --soak-seconds N   length of each soak (default 300)
#   --cycles N         leak check cycles, the first 20 to warm up (default 1000)
#   --releases N       filters released while streaming, per kind (default 1000)
#   --no-heap-check    run the fuzz without Wine's heap checking, some twenty times faster
#   --arch x64|x86     the x86-64 build (default) or the x86 one
#   --build-dir DIR    build folder (default build, or build-x86 for x86)
#
# With the defaults it takes about 35 minutes. A failing case prints the ORVIX_FUZZ_*
# settings that replay it alone, for example
#   ORVIX_FUZZ_SEED=0x1A2B ORVIX_FUZZ_FIRST=417 ORVIX_FUZZ_TYPES=1 \
#       ctest --test-dir build -R MalformedTypesAtThePin --output-on-failure
set -euo pipefail
cd "$(dirname "$0")/.."

types=10000
streamed=2000
seed=$(( ($(date +%s) * 2654435761) % 4294967296 ))
soakSeconds=300
cycles=1000
releases=1000
heapCheck=1
preset=default
build=
while [ $# -gt 0 ]; do
    case "$1" in
        --types) types=$2; shift 2 ;;
        --streamed) streamed=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        --soak-seconds) soakSeconds=$2; shift 2 ;;
        --cycles) cycles=$2; shift 2 ;;
        --releases) releases=$2; shift 2 ;;
        --no-heap-check) heapCheck=0; shift ;;
        --arch)
            case $2 in
            x64) preset=default ;;
            x86) preset=x86 ;;
            *) echo "--arch takes x64 or x86" >&2; exit 2 ;;
            esac
            shift 2 ;;
        --build-dir) build=$2; shift 2 ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done

[ -n "$build" ] || build=$([ "$preset" = x86 ] && echo build-x86 || echo build)

scripts/setup.sh --tests
cmake --preset "$preset" -B "$build"
cmake --build "$build" --target ReliabilityTests

export ORVIX_FUZZ_SEED=$seed ORVIX_FUZZ_TYPES=$types ORVIX_FUZZ_STREAMED=$streamed
export ORVIX_SOAK_SECONDS=$soakSeconds ORVIX_LEAK_CYCLES=$cycles ORVIX_HEAP_CHECK=$heapCheck
export ORVIX_TEARDOWN_CYCLES=$releases
echo "seed $seed: $types types at the pin, $streamed through Wine's graph," \
     "soaks of $soakSeconds s, $cycles leak check cycles, $releases releases per kind," \
     "heap checking $([ "$heapCheck" = 1 ] && echo on || echo off)"

rm -f "$build/heap-check.log"
# The runs are as long as asked; a hang is ended by the tests' own watchdogs.
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$build" -L reliability --timeout 86400 --verbose || status=$?

if [ -s "$build/heap-check.log" ]; then
    echo "Wine's heap checking found damage:"
    cat "$build/heap-check.log"
    exit 1
fi
exit $status
