#!/usr/bin/env bash
# ffmpeg, a capture client nobody here wrote, against the module registered with regsvr32
# in the build's Wine prefix. Usage: ffmpeg-client.sh <check> <build folder>
#   list      -list_devices names the four devices
#   options   -list_options shows the 2048x1536 format of the first device
#   capture   five frames to rawvideo are exactly five 2048x1536 RGB32 frames
set -euo pipefail
check=$1
buildDir=$(cd "$2" && pwd)
ffmpeg=$("$(dirname "$0")/../../scripts/fetch-ffmpeg.sh" "$buildDir")
cd "$buildDir"

./wine-run regsvr32 /s Orvix61Test.ax
work=$(mktemp -d "$buildDir/ffmpeg-check.XXXXXX")
trap './wine-run regsvr32 /s /u Orvix61Test.ax; rm -rf "$work"' EXIT
device='video=Orvix61 Capture Source Test 1'

fail() {
    echo "FAILED: $1"
    exit 1
}

# ffmpeg's own log, read from a report file: with heap checking on, wine-run keeps only
# Wine's findings from a program's standard error.
ffmpegLog() {
    local report="$work/report.log"
    rm -f "$report"
    FFREPORT="file=$(basename "$work")/report.log:level=32" ./wine-run "$ffmpeg" -hide_banner "$@" \
        >/dev/null 2>&1 || true
    cat "$report" 2>/dev/null || true
}

case $check in
list)
    # ffmpeg ends a listing with a non-zero status by design.
    output=$(ffmpegLog -list_devices true -f dshow -i dummy)
    grep dshow <<<"$output" || true
    for variant in 1 2 3 4; do
        grep -q "\"Orvix61 Capture Source Test $variant\"" <<<"$output" \
            || fail "device $variant is not listed"
    done
    ;;
options)
    output=$(ffmpegLog -f dshow -list_options true -i "$device")
    grep dshow <<<"$output" || true
    grep -q 'pixel_format=bgr0 *min s=2048x1536' <<<"$output" || fail "the 2048x1536 option is missing"
    ;;
capture)
    # ffmpeg's default real-time buffer holds less than one frame of 12 MB.
    ./wine-run "$ffmpeg" -hide_banner -loglevel error -f dshow -rtbufsize 100M -i "$device" \
        -frames:v 5 -f rawvideo "$(basename "$work")/frames.raw" 2>&1 | grep -v '^ALSA' || true
    bytes=$(stat -c %s "$work/frames.raw" 2>/dev/null || echo 0)
    echo "captured $bytes bytes"
    [ "$bytes" -eq $((5 * 12582912)) ] || fail "expected $((5 * 12582912)) bytes"
    ;;
*)
    fail "unknown check '$check'"
    ;;
esac
echo "passed"
