#!/usr/bin/env bash
# The x86 and the x86-64 module registered at once in one Wine prefix (the x86 build's),
# as on a 64-bit Windows where both are installed.
# Usage: both-architectures.sh <check> <x86 build folder> <x86-64 build folder>
#   registration  each module is registered in its own registry view, keeps its stored
#                 settings there, and unregistering one leaves the other working
#   ffmpeg        the 64-bit and the 32-bit ffmpeg each list the four devices and
#                 capture five whole frames, at the same time
# Exits 77 (skipped) when the x86-64 build has no module yet.
set -euo pipefail
check=$1
x86Build=$(cd "$2" && pwd)
x64Build=$(cd "$3" 2>/dev/null && pwd || echo "$3")
if [ ! -f "$x64Build/Orvix61Test.ax" ]; then
    echo "SKIPPED: no x86-64 module in $x64Build; build it first:" \
         "cmake --build --preset default --target Orvix61Test orvix-capture"
    exit 77
fi
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
cd "$x86Build"

fail() {
    echo "FAILED: $1"
    exit 1
}

dosPath() {
    echo "Z:${1//\//\\}"
}
regsvr32_x64=regsvr32
regsvr32_x86='C:\windows\syswow64\regsvr32.exe'
module_x64=$(dosPath "$x64Build/Orvix61Test.ax")
module_x86=$(dosPath "$x86Build/Orvix61Test.ax")
capture_x64=$(dosPath "$x64Build/bin/orvix-capture.exe")
capture_x86=$(dosPath "$x86Build/bin/orvix-capture.exe")
classKey='HKLM\Software\Classes\CLSID\{ED245B18-6926-4715-8593-797A9D3E967F}\InprocServer32'

register() {
    local regsvr32="regsvr32_$1" module="module_$1"
    ./wine-run "${!regsvr32}" /s "${@:2}" "${!module}" || fail "regsvr32 ${*:2} of the $1 module"
}
unregisterBoth() {
    ./wine-run "$regsvr32_x64" /s /u "$module_x64" || true
    ./wine-run "$regsvr32_x86" /s /u "$module_x86" || true
}
# The module path registered in a view (64 or 32), or nothing.
registeredPath() {
    ./wine-run reg query "$classKey" /ve /reg:"$1" 2>/dev/null | tr -d '\r' \
        | sed -n 's/.*REG_SZ *//p' || true
}
# The "Format:" line of a short capture through the module of an architecture.
capturedFormat() {
    local tool="capture_$1"
    ./wine-run "${!tool}" --frames 2 --output "$work_dos\\$1.bmp" 2>&1 | tr -d '\r' \
        | sed -n 's/^Format: *//p' || true
}

work=$(mktemp -d "$x86Build/both-architectures.XXXXXX")
work_dos=$(dosPath "$work")
trap 'unregisterBoth; rm -rf "$work"' EXIT
unregisterBoth
register x64
register x86

case $check in
registration)
    [ "$(registeredPath 64)" = "$module_x64" ] || fail "64-bit view: '$(registeredPath 64)'"
    [ "$(registeredPath 32)" = "$module_x86" ] || fail "32-bit view: '$(registeredPath 32)'"
    # A preferred format stored in the 32-bit view reaches the x86 module only.
    ./wine-run reg add "$classKey" /v PreferedIndex /t REG_SZ /d 3 /f /reg:32 >/dev/null \
        || fail "cannot store a setting in the 32-bit view"
    x86Format=$(capturedFormat x86)
    x64Format=$(capturedFormat x64)
    echo "x86: $x86Format"
    echo "x64: $x64Format"
    [[ $x86Format == 512x384\ RGB32* ]] || fail "the x86 module did not read its own view"
    [[ $x64Format == 2048x1536\ RGB32* ]] || fail "the x86-64 module read the 32-bit view"

    # Unregistering either leaves the other registered and capturing.
    register x86 /u
    [ -z "$(registeredPath 32)" ] || fail "the x86 module's class key stayed"
    [ "$(registeredPath 64)" = "$module_x64" ] || fail "unregistering x86 took the x86-64 key"
    [[ $(capturedFormat x64) == 2048x1536* ]] || fail "the x86-64 module stopped capturing"
    [ -z "$(capturedFormat x86)" ] || fail "the x86 device is still there"
    register x86
    register x64 /u
    [ -z "$(registeredPath 64)" ] || fail "the x86-64 module's class key stayed"
    [ "$(registeredPath 32)" = "$module_x86" ] || fail "unregistering x86-64 took the x86 key"
    [[ $(capturedFormat x86) == 2048x1536* ]] || fail "the x86 module stopped capturing"
    [ -z "$(capturedFormat x64)" ] || fail "the x86-64 device is still there"
    ;;
ffmpeg)
    ffmpeg_x64=$("$scripts/fetch-ffmpeg.sh" "$x64Build" x64)
    ffmpeg_x86=$("$scripts/fetch-ffmpeg.sh" "$x86Build" x86)
    # ffmpeg's own log, from a report file (see ffmpeg-client.sh), and its capture, of
    # one architecture; run in the background for both at once. No heap checking:
    # this ffmpeg (N-92722-gf22fcd4483, npm package 4.1.0) writes into buffers it has freed.
    run() {
        local architecture=$1 ffmpeg="ffmpeg_$1"
        FFREPORT="file=$(basename "$work")/$architecture-list.log:level=32" ./wine-run \
            "${!ffmpeg}" -hide_banner -list_devices true -f dshow -i dummy >/dev/null 2>&1 || true
        ORVIX_HEAP_CHECK=0 ./wine-run "${!ffmpeg}" -hide_banner -loglevel error -f dshow \
            -rtbufsize 100M -i 'video=Orvix61 Capture Source Test 1' -frames:v 5 \
            -f rawvideo "$(basename "$work")/$architecture.raw" >"$work/$architecture.out" 2>&1 \
            || true
    }
    run x64 &
    first=$!
    run x86
    wait $first
    for architecture in x64 x86; do
        for variant in 1 2 3 4; do
            grep -q "\"Orvix61 Capture Source Test $variant\"" "$work/$architecture-list.log" \
                || fail "the $architecture ffmpeg does not list device $variant"
        done
        bytes=$(stat -c %s "$work/$architecture.raw" 2>/dev/null || echo 0)
        echo "$architecture ffmpeg: four devices, captured $bytes bytes"
        [ "$bytes" -eq $((5 * 12582912)) ] || fail "expected $((5 * 12582912)) bytes"
    done
    ;;
*)
    fail "unknown check '$check'"
    ;;
esac
echo "passed"
