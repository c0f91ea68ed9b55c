#!/usr/bin/env bash
# Registers one build's module in that build's Wine prefix, with the regsvr32 of its
# bitness, and runs that build's orvix-capture against it; the first frame goes to
# <build>/capture/first-frame.png. scripts/main.sh builds first and then runs this.
#   scripts/capture.sh [--arch x64|x86] [tool arguments]     (x64 by default)
# Exits 77, after saying why, when this machine cannot run the build's programs (an x86
# build where Wine cannot run 32-bit programs).
set -euo pipefail
source "$(dirname "$0")/wine-loader.sh"
architecture=x64
if [ "${1:-}" = --arch ]; then
    architecture=$2
    shift 2
fi
case $architecture in
x64) build=build regsvr32=regsvr32 name=x86-64 ;;
x86) build=build-x86 regsvr32='C:\windows\syswow64\regsvr32.exe' name=x86 ;;
*) echo "--arch takes x64 or x86" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/../$build"
if [ $architecture = x86 ] && problem=$(Wine32Problem) && [ -n "$problem" ]; then
    echo "The x86 build's module is built, $(pwd)/Orvix61Test.ax, with its capture tool;" \
        "it is not registered or run here: ${problem}, so Wine cannot run 32-bit programs."
    exit 77
fi
# The first program run in the prefix creates it (about 15 s, once).
./wine-run "$regsvr32" /s Orvix61Test.ax || {
    echo "Registering $build/Orvix61Test.ax failed" >&2
    exit 1
}
mkdir -p capture
image=capture/first-frame.png
rm -f "$image"
status=0
./wine-run bin/orvix-capture.exe --output 'capture\first-frame.png' "$@" || status=$?
if [ -f "$image" ]; then
    echo
    echo "The first frame of the $name build is in $(pwd)/$image"
fi
exit $status
