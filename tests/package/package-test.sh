#!/usr/bin/env bash
# The release ZIP as a Windows user gets it.
# Usage: package-test.sh <check> <x86-64 build folder> <x86 build folder> <version>
#   make      packs the ZIP from both build trees with CPack
#   contents  the ZIP holds what its README.txt says and nothing else, with the version
#             filled in, CRLF line ends for Windows' cmd and Notepad, and binaries stripped
#             but with their version resource
#   install   in a Wine prefix of its own: install, use from ffmpeg of both bitnesses and
#             from the packaged tools, install again from another folder, uninstall twice
set -euo pipefail
# Wine wants a display even for console programs: one virtual display for the whole check.
if [ "$1" = install ] && [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
check=$1
buildDir=$(cd "$2" && pwd)
x86BuildDir=$(cd "$3" 2>/dev/null && pwd || echo "$3")
version=$4
zip="$buildDir/release/Orvix61Test-$version-windows.zip"
sourceDir=$(cd "$(dirname "$0")/../.." && pwd)

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# CMake's own archive support reads the ZIP: nothing beyond the build's tools is needed.
listZip() {
    cmake -E tar tf "$zip" | grep -v '/$'
}
unpackZip() {
    mkdir -p "$1"
    (cd "$1" && cmake -E tar xf "$zip")
}

case $check in
make)
    for tree in "$buildDir" "$x86BuildDir"; do
        for binary in Orvix61Test.ax bin/orvix-capture.exe bin/orvix-verify.exe \
            bin/orvix-camera.exe; do
            [ -f "$tree/$binary" ] || fail "$tree/$binary is missing: the package is made from" \
                "both architectures' builds (scripts/package.sh builds them)"
        done
    done
    rm -f "$zip"
    cpack --config "$buildDir/CPackConfig.cmake"
    [ -f "$zip" ] || fail "CPack made no $zip"
    echo "passed"
    exit 0
    ;;
contents | install) ;;
*) fail "unknown check '$check'" ;;
esac

[ -f "$zip" ] || fail "$zip is missing (the test Package.made makes it)"
work="$buildDir/package-check-$check"
rm -rf "$work"
mkdir -p "$work"

# What README.txt's "What is in this folder" promises: the files above the folders, and
# each file of "Each of x64\ and x86\ holds:" in every folder; one path a line. awk reads
# the whole file itself: a reader that left a pipe early would end its writer with SIGPIPE,
# which pipefail turns into a failure whenever the text outgrows one write.
promisedFiles() {
    awk '
        { sub(/\r$/, "") }
        /^What is in this folder$/ { inside = 1; next }
        inside && /^[A-Z]/ && !/^Each of / { if (listed) inside = 0 }
        !inside { next }
        /^Each of .* holds:$/ { each = 1; next }
        /^  [^ ]/ {
            listed = 1
            name = $1
            if (each) { perFolder[++files] = name }
            else if (name ~ /\\$/) { folders[++folderCount] = substr(name, 1, length(name) - 1) }
            else { print name }
        }
        END { for (f = 1; f <= folderCount; ++f) for (i = 1; i <= files; ++i) print folders[f] "/" perFolder[i] }' "$1"
}

if [ "$check" = contents ]; then
    # Each step says why it failed: a pipeline's failure would otherwise end the check
    # without a word.
    listZip >"$work/listing" || fail "cannot list the files of $zip"
    sort "$work/listing" >"$work/packaged"
    unpackZip "$work/unpacked" || fail "cannot unpack $zip"
    promisedFiles "$work/unpacked/README.txt" >"$work/promisedList" \
        || fail "cannot read the file list of README.txt"
    sort "$work/promisedList" >"$work/promised"
    [ -s "$work/promised" ] || fail "README.txt lists no files"
    diff -u "$work/promised" "$work/packaged" || fail "the ZIP's files (+) differ from what README.txt promises (-)"
    cat "$work/packaged"
    head -1 "$work/unpacked/README.txt" | grep -qx $'Orvix61Test '"$version"$'\r' \
        || fail "README.txt does not start with the version $version"
    ! grep -q '@[A-Z_]*@' "$work/unpacked/README.txt" || fail "README.txt has a placeholder left"
    for text in README.txt install.cmd uninstall.cmd; do
        lines=$(wc -l <"$work/unpacked/$text")
        crlf=$(grep -c $'\r$' "$work/unpacked/$text" || true)
        [ "$lines" -eq "$crlf" ] || fail "$text has $((lines - crlf)) lines without CRLF"
    done
    # Stripped, and still with the version resource that file properties show. Each tool's
    # output is taken whole before it is searched: grep -q leaves a pipe at its first match,
    # and the writer's SIGPIPE would pass or fail the check by chance.
    for binary in "$work"/unpacked/x64/* "$work"/unpacked/x86/*; do
        name=${binary#"$work"/unpacked/}
        sections=$(x86_64-w64-mingw32-objdump -h "$binary") || fail "cannot read the sections of $name"
        [[ $sections != *.debug_* ]] || fail "$name still has its debugging symbols"
        texts=$(x86_64-w64-mingw32-strings -e l "$binary") || fail "cannot read the texts of $name"
        for field in FileVersion ProductVersion; do
            grep -A1 -x "$field" <<<"$texts" | grep -x "$version" >/dev/null \
                || fail "$name has no $field $version in its version resource"
        done
    done
    rm -rf "$work"
    echo "passed"
    exit 0
fi

# From here on: the install check, in a Wine prefix made for it alone. Each program starts
# with Wine's loader of its bitness (wine, from wine-loader.sh).
source "$sourceDir/scripts/wine-loader.sh"
source "$(dirname "$0")/own-prefix.sh"
startOwnPrefix "$work/wineprefix"
drive="$WINEPREFIX/drive_c"

# Where Wine cannot run 32-bit programs, the prefix stands for a Windows without 32-bit
# support, which has no 32-bit regsvr32; the x86-64 parts are checked as everywhere.
architectures=(x64 x86)
views=(64 32)
no32=$(Wine32Problem)
if [ -n "$no32" ]; then
    echo "The x86 parts are not checked: $no32."
    architectures=(x64)
    views=(64)
    rm -f "$drive/windows/syswow64/regsvr32.exe"
fi
firstDos='C:\Orvix61 Test Package\first copy'
first="$drive/Orvix61 Test Package/first copy"
secondDos='C:\Program Files (x86)\Orvix61 Test'
second="$drive/Program Files (x86)/Orvix61 Test"
unpackZip "$first"
unpackZip "$second"

# Runs a Windows program with no console input; its output, line ends made "\n", goes to
# $output and its exit code to $status.
run() {
    status=0
    output=$(wine "$@" </dev/null 2>&1) || status=$?
    output=$(tr -d '\r' <<<"$output")
}

expectOutput() {
    grep -qF -- "$1" <<<"$output" || {
        echo "$output"
        fail "$2"
    }
}

# The twelve classes of the module, and the four filters among them, by registry name.
mapfile -t classes < <(grep -A4 'GUID CLSID_Orvix61' "$sourceDir/include/Orvix61Test.h" \
                           | grep -o '{[0-9A-F-]\{36\}}')
mapfile -t filters < <(grep -A4 'GUID CLSID_Orvix61CapSrc' "$sourceDir/include/Orvix61Test.h" \
                           | grep -o '{[0-9A-F-]\{36\}}')
[ ${#classes[@]} -eq 12 ] && [ ${#filters[@]} -eq 4 ] || fail "cannot read the class identifiers"
videoInputCategory='{860BB310-5D01-11D0-BD3B-00A0C911CE86}'
filterCategory='{083863F1-70DE-11D0-BD40-00A0C911CE86}'

# Every key under HKLM\Software\Classes\CLSID of one registry view (64 or 32), a line
# each as "key=default value", keys from CLSID on and in upper case.
classKeys() {
    run reg query 'HKLM\Software\Classes\CLSID' /s "/reg:$1"
    [ $status -eq 0 ] || fail "reg query of the $1-bit view failed: $output"
    awk '/^HKEY_/ { if (key != "") print key "=" value; key = toupper($0); sub(/^.*\\CLSID\\/, "", key); value = "" }
         /^    \(Default\)    REG_SZ    / { value = substr($0, index($0, "REG_SZ") + 10) }
         END { if (key != "") print key "=" value }' <<<"$output"
}

# Each class of the module is registered in both views with the module of the view's
# bitness in the folder given, and each filter is in both categories.
expectRegisteredIn() {
    local folder=$1 view arch class
    for view in "${views[@]}"; do
        arch=$([ $view = 64 ] && echo x64 || echo x86)
        classKeys $view >"$work/keys"
        for class in "${classes[@]}"; do
            grep -qxF "$class\\INPROCSERVER32=$folder\\$arch\\Orvix61Test.ax" "$work/keys" \
                || fail "class $class is not registered in the $view-bit view with" \
                    "$folder\\$arch\\Orvix61Test.ax: $(grep -F "$class\\INPROCSERVER32=" "$work/keys")"
        done
        for class in "${filters[@]}"; do
            grep -q "^$videoInputCategory\\\\INSTANCE\\\\$class=" "$work/keys" \
                || fail "filter $class is not in the video input category of the $view-bit view"
            grep -q "^$filterCategory\\\\INSTANCE\\\\$class=" "$work/keys" \
                || fail "filter $class is not in the filter category of the $view-bit view"
        done
    done
}


# The four devices listed by, and five whole frames captured through, the ffmpeg of one
# bitness; the packaged orvix-verify of that bitness finds them exact.
ffmpegListsAndCaptures() {
    local arch=$1 ffmpeg=$2 folderDos=$3
    run "$ffmpeg" -hide_banner -list_devices true -f dshow -i dummy
    for variant in 1 2 3 4; do
        expectOutput "\"Orvix61 Capture Source Test $variant\"" \
            "the $arch ffmpeg does not list device $variant"
    done
    run "$ffmpeg" -hide_banner -loglevel error -f dshow -rtbufsize 64M \
        -i 'video=Orvix61 Capture Source Test 1' -vsync passthrough -frames:v 5 \
        -f rawvideo "C:\\ffmpeg $arch.raw"
    local bytes
    bytes=$(stat -c %s "$drive/ffmpeg $arch.raw" 2>/dev/null || echo 0)
    [ "$bytes" -eq $((5 * 786432)) ] || fail "the $arch ffmpeg captured $bytes bytes, not five" \
        "512x384 RGB32 frames: $output"
    run "$folderDos\\$arch\\orvix-verify.exe" --format 3 "C:\\ffmpeg $arch.raw"
    [ $status -eq 0 ] || fail "the frames the $arch ffmpeg captured are not exact: $output"
    expectOutput "Verified:      5 frames: 5 exact" "orvix-verify read no five exact frames"
}

# The packaged capture tool of one bitness captures with --verify and saves the first
# frame as PNG; the packaged orvix-verify reads the PNG back as that frame.
captureToolCapturesAndSavesPng() {
    local arch=$1 folderDos=$2
    local png="C:\\capture $arch.png"
    rm -f "$drive/capture $arch.png"
    run "$folderDos\\$arch\\orvix-capture.exe" --device 'Orvix61 Capture Source Test 2' \
        --format 3 --frames 5 --verify --output "$png"
    [ $status -eq 0 ] || fail "the $arch capture tool exited with $status: $output"
    expectOutput "(first frame, 24-bit PNG)" "the $arch capture tool saved no PNG"
    local captured
    captured=$(grep -o 'Frame numbers: first [0-9]*' <<<"$output" | grep -o '[0-9]*$') \
        || fail "the $arch capture tool names no first frame: $output"
    run "$folderDos\\$arch\\orvix-verify.exe" --format 3 "$png"
    [ $status -eq 0 ] || fail "the $arch capture tool's PNG does not verify: $output"
    expectOutput "Frame numbers: first $captured, last $captured" \
        "the $arch capture tool's PNG is not frame $captured, the one it captured"
    expectOutput "Verified:      1 frame: 1 exact" "the $arch capture tool's PNG is not exact"
}

# 1. Installed from a folder whose name has spaces, run from another current folder.
cd "$work"
run "$firstDos\\install.cmd"
[ $status -eq 0 ] || fail "install.cmd exited with $status: $output"
echo "$output"
expectOutput "Registered the 64-bit module: \"$firstDos\\x64\\Orvix61Test.ax\"" "no 64-bit registration"
if [ -z "$no32" ]; then
    expectOutput "Registered the 32-bit module: \"$firstDos\\x86\\Orvix61Test.ax\"" \
        "no 32-bit registration"
else
    expectOutput "The 32-bit module is not registered: \"$firstDos\\x86\\Orvix61Test.ax\"" \
        "no word of the 32-bit module left out"
    expectOutput "This Windows has no 32-bit support" "no reason for leaving it out"
fi
expectRegisteredIn "$firstDos"

# 2. Used: ffmpeg of both bitnesses and the packaged tools, in format 3 as the packaged
#    orvix-camera of each bitness stores it for the first device in its own view (ffmpeg
#    takes only the preferred format), which uninstalling must remove.
for arch in "${architectures[@]}"; do
    run "$firstDos\\$arch\\orvix-camera.exe" --device 1 --format 3
    [ $status -eq 0 ] || fail "the $arch camera tool cannot store format 3: $output"
done
# Each build tree keeps the ffmpeg of its architecture; a failed fetch says why at once.
for arch in "${architectures[@]}"; do
    tree=$([ $arch = x64 ] && echo "$buildDir" || echo "$x86BuildDir")
    ffmpeg=$("$sourceDir/scripts/fetch-ffmpeg.sh" "$tree" $arch) || fail "no $arch ffmpeg"
    ffmpegListsAndCaptures $arch "$ffmpeg" "$firstDos"
    captureToolCapturesAndSavesPng $arch "$firstDos"
done

# 3. Installed again from another folder, whose name has a parenthesis, run from the first:
#    the registration moves there, and the first copy can go.
cd "$first"
run "$secondDos\\install.cmd"
[ $status -eq 0 ] || fail "install.cmd from the second folder exited with $status: $output"
expectRegisteredIn "$secondDos"
cd "$work"
rm -rf "$drive/Orvix61 Test Package"
for arch in "${architectures[@]}"; do
    captureToolCapturesAndSavesPng $arch "$secondDos"
done

# 4. Uninstalled: no class, no device in either category and no stored setting in either
#    view; the tools list no Orvix61 device.
run "$secondDos\\uninstall.cmd"
[ $status -eq 0 ] || fail "uninstall.cmd exited with $status: $output"
echo "$output"
expectOutput "Unregistered the 64-bit module" "no 64-bit unregistration"
if [ -z "$no32" ]; then
    expectOutput "Unregistered the 32-bit module" "no 32-bit unregistration"
else
    expectOutput "There is no 32-bit module to unregister" "no word of the 32-bit module"
fi
for view in 64 32; do
    classKeys $view >"$work/keys"
    for class in "${classes[@]}"; do
        ! grep -q "^$class" "$work/keys" || fail "class $class is left in the $view-bit view:" \
            "$(grep "^$class" "$work/keys")"
        ! grep -q "\\\\INSTANCE\\\\$class=" "$work/keys" \
            || fail "$class is left in a category of the $view-bit view"
    done
done
for arch in "${architectures[@]}"; do
    run "$secondDos\\$arch\\orvix-capture.exe" --list
    [ $status -eq 0 ] || fail "the $arch capture tool cannot list devices: $output"
    ! grep -q 'Orvix61 Capture Source' <<<"$output" || fail "the $arch tool still lists: $output"
done

# 5. Uninstalled again: nothing to do, and no failure.
run "$secondDos\\uninstall.cmd"
[ $status -eq 0 ] || fail "a second uninstall.cmd exited with $status: $output"

stopOwnPrefix
cd "$buildDir"
rm -rf "$work"
echo "passed"
