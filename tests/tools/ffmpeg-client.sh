#!/usr/bin/env bash
# ffmpeg, a capture client nobody here wrote, against the module registered with regsvr32
# in the build's Wine prefix, each of the build's architecture (x64 or x86).
# Usage: ffmpeg-client.sh <check> <build folder> <architecture>
#   list      -list_devices names the four devices
#   options   -list_options shows the 2048x1536 format of the first device
#   capture   five frames to rawvideo are exactly five 2048x1536 RGB32 frames
#   verify    with -vsync passthrough and a real-time buffer that holds them all, 30
#             frames of 512x384 RGB32 verify exact and consecutive from frame 0
#   defaults  with its defaults, ffmpeg keeps the frames' bytes but drops frames
#   version   README.md names the build of ffmpeg fetched, as ffmpeg -version names it
set -euo pipefail
check=$1
buildDir=$(cd "$2" && pwd)
architecture=$3
ffmpeg=$("$(dirname "$0")/../../scripts/fetch-ffmpeg.sh" "$buildDir" "$architecture")
cd "$buildDir"

# A module registers with the regsvr32 of its own bitness, into that registry view.
case $architecture in
x64) regsvr32=regsvr32 view=64 ;;
x86) regsvr32='C:\windows\syswow64\regsvr32.exe' view=32 ;;
esac
./wine-run "$regsvr32" /s Orvix61Test.ax
work=$(mktemp -d "$buildDir/ffmpeg-check.XXXXXX")
trap './wine-run "$regsvr32" /s /u Orvix61Test.ax; rm -rf "$work"' EXIT
device='video=Orvix61 Capture Source Test 1'

fail() {
    echo "FAILED: $1"
    exit 1
}

# ffmpeg lists only the format the pin prefers, the variant's "PreferedIndex", which the
# module reads in the registry view of its own bitness.
preferFormat() {
    ./wine-run reg add 'HKLM\Software\Classes\CLSID\{ED245B18-6926-4715-8593-797A9D3E967F}\InprocServer32' \
        /v PreferedIndex /t REG_SZ /d "$1" /f /reg:$view >/dev/null 2>&1 || fail "cannot prefer format $1"
}

# ffmpeg capturing to raw video in the check's folder, with the options given, and without
# Wine's heap checking: this ffmpeg itself writes into packet buffers it has freed (Wine's
# heap checking finds a freed block of 786,576 bytes, _aligned_malloc's block for one
# 512x384 RGB32 packet, overwritten in some runs and stops the process), which would fail
# these checks on ffmpeg's own fault. The module is heap checked in every other test.
captureRaw() {
    ORVIX_HEAP_CHECK=0 ./wine-run "$ffmpeg" -hide_banner -loglevel error -f dshow "$@" \
        -f rawvideo "$(basename "$work")/frames.raw" 2>&1 | grep -v -e '^ALSA' -e 'frame dropped' \
        -e 'Last message repeated' -e 'non monotonically increasing dts' || true
}

# Captures with the options given, then verifies the file as format 3 and leaves
# orvix-verify's report in $report and its exit code in $verified.
captureAndVerify() {
    preferFormat 3
    captureRaw "$@"
    verified=0
    report=$(./wine-run bin/orvix-verify.exe --format 3 "$(basename "$work")/frames.raw" 2>&1) \
        || verified=$?
    report=$(tr -d '\r' <<<"$report")
    echo "$report"
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

# ffmpeg capturing up to 30 frames of format 3 under a fault scenario stored for device 1
# with orvix-camera, as a user stores one, each run ended after `limit` seconds at most.
# Leaves ffmpeg's exit code in $status, its messages in $said and the frames it wrote in
# $frames.
captureUnder() {
    local scenario=$1 limit=$2
    shift 2
    ./wine-run bin/orvix-camera.exe --device 1 --faults "$scenario" >/dev/null \
        || fail "orvix-camera could not store \"$scenario\""
    rm -f "$work/frames.raw"
    status=0
    said=$(ORVIX_HEAP_CHECK=0 timeout "$limit" ./wine-run "$ffmpeg" -hide_banner -loglevel error \
        -f dshow -rtbufsize 64M -i "$device" -vsync passthrough -frames:v 30 \
        -f rawvideo "$(basename "$work")/frames.raw" 2>&1) || status=$?
    said=$(tr -d '\r' <<<"$said" | grep -v -e '^ALSA' -e 'non monotonically increasing dts' || true)
    frames=$(( $(stat -c %s "$work/frames.raw" 2>/dev/null || echo 0) / 786432 ))
    echo "$scenario: ffmpeg exited with $status after writing $frames frames; it said: $said"
}

case $check in
faults)
    preferFormat 3
    # Frames the camera drops are not there, and the rest come exact.
    captureUnder "drop 3,4; drop-every 10" 60
    [ "$status" -eq 0 ] && [ "$frames" -eq 30 ] || fail "ffmpeg did not capture 30 frames"
    report=$(./wine-run bin/orvix-verify.exe --format 3 "$(basename "$work")/frames.raw" 2>&1 \
        | tr -d '\r') || true
    grep -q 'Verified:      30 frames: 30 exact$' <<<"$report" || fail "not 30 exact frames: $report"
    grep -q 'Dropped:       5 frames: 3 to 4, 10, 20, 30$' <<<"$report" \
        || fail "not the frames the camera dropped: $report"
    # A stall: ffmpeg waits it out and then takes every frame.
    captureUnder "stall 5 2000" 60
    [ "$status" -eq 0 ] && [ "$frames" -eq 30 ] || fail "ffmpeg did not wait out the stall"
    # A lost device and an abort: ffmpeg ends its stream with an I/O error, and exits 0
    # with the frames that came before.
    for scenario in "lose-device 12" "abort 12 0x80004005"; do
        captureUnder "$scenario" 60
        [ "$status" -eq 0 ] || fail "ffmpeg exited with $status"
        [ "$frames" -eq 12 ] || fail "ffmpeg wrote $frames frames, not the 12 before the fault"
        grep -q 'video=Orvix61 Capture Source Test 1: I/O error' <<<"$said" \
            || fail "ffmpeg did not end with an I/O error"
    done
    ;;
never-ends)
    # A camera in use: ffmpeg says it could not run the graph, and then does not end: its
    # own filter spins while the graph lets go of it, until it is killed. An end of stream:
    # it writes what came and waits for more. Each run is ended after 10 s.
    preferFormat 3
    captureUnder "fail-start 0x8007001F" 10
    grep -q 'Could not run graph (sometimes caused by a device already in use' <<<"$said" \
        || fail "ffmpeg did not say it could not run the graph"
    [ "$frames" -eq 0 ] || fail "ffmpeg wrote $frames frames from a camera that never started"
    [ "$status" -eq 124 ] || fail "ffmpeg ended by itself, with $status: README.md says it does not"
    captureUnder "end 12" 10
    [ "$frames" -eq 12 ] || fail "ffmpeg wrote $frames frames, not the 12 of the stream"
    [ "$status" -eq 124 ] || fail "ffmpeg ended by itself, with $status: README.md says it does not"
    ;;
version)
    # The npm package's version is not ffmpeg's: README.md says which ffmpeg it measured.
    output=$(./wine-run "$ffmpeg" -version 2>&1 | tr -d '\r')
    build=$(sed -n '1s/^ffmpeg version \([^ ]*\) .*/\1/p' <<<"$output")
    [ -n "$build" ] || fail "ffmpeg -version names no version: $output"
    echo "ffmpeg version $build"
    grep -qF "ffmpeg version $build" "$(dirname "$0")/../../README.md" \
        || fail "README.md does not name the ffmpeg it measured, ffmpeg version $build"
    ;;
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
    captureRaw -rtbufsize 100M -i "$device" -frames:v 5
    bytes=$(stat -c %s "$work/frames.raw" 2>/dev/null || echo 0)
    echo "captured $bytes bytes"
    [ "$bytes" -eq $((5 * 12582912)) ] || fail "expected $((5 * 12582912)) bytes"
    ;;
verify)
    # A buffer more than twice the frames wanted: even if ffmpeg wrote none of them while
    # they came, it would hold them all.
    captureAndVerify -rtbufsize 64M -i "$device" -vsync passthrough -frames:v 30
    [ "$verified" -eq 0 ] || fail "orvix-verify exited with $verified"
    grep -q 'Verified:      30 frames: 30 exact$' <<<"$report" || fail "not 30 exact frames"
    grep -q 'Frame numbers: first 0, last 29$' <<<"$report" || fail "not frames 0 to 29"
    ;;
defaults)
    # Its default real-time buffer holds under four of these frames, and it converts the
    # stream to the rate the pin announces: frames it cannot hold or place are dropped.
    captureAndVerify -i "$device" -frames:v 10
    [ "$verified" -eq 1 ] || fail "orvix-verify exited with $verified, not 1"
    grep -q 'Verified:      10 frames: 10 exact$' <<<"$report" || fail "frames were changed"
    grep -q 'Frame numbers: first 0, ' <<<"$report" || fail "frame 0 did not come first"
    grep -q 'Dropped:       [0-9,]* frames\?: ' <<<"$report" || fail "no frame was dropped"
    ;;
*)
    fail "unknown check '$check'"
    ;;
esac
echo "passed"
