#!/usr/bin/env bash
# Installs what building and running need on a Debian 12 machine, only what is missing.
#   scripts/setup.sh            what the main job uses: the cross compilers, Wine, a virtual
#                               display, CMake and Ninja
#   scripts/setup.sh --tests    and what the tests use besides: GoogleTest's sources,
#                               clang-format, and npm, which fetches the ffmpeg they run
# Wine's 32-bit half (Debian's wine32:i386), which runs the x86 build's programs, is
# installed only where this machine can run 32-bit programs: it finds out by running one.
# Where it cannot, it says once what is built and tested here and what is not.
set -euo pipefail
source "$(dirname "$0")/wine-loader.sh"
packages=(mingw-w64 wine64 xvfb xauth cmake ninja-build)
if [ "${1:-}" = --tests ]; then
    shift
    packages+=(googletest clang-format)
    # Debian's own npm serves if none is there.
    command -v npm >/dev/null || packages+=(npm)
fi
packages+=("$@")

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed$'
}
# A wine32 that is installed but cannot run is left installed, and said of like a missing one.
no32=$(Linux32Problem)
if [ -z "$no32" ] && ! installed wine32:i386; then
    packages+=(wine32:i386)
elif installed wine32:i386 && [ -z "$no32" ]; then
    no32=$(Wine32Problem)
fi
if [ -n "$no32" ]; then
    echo "Note: ${no32^}, so Wine cannot run 32-bit Windows programs here. Both" \
        "architectures are built, and everything of the x86-64 build is run and tested;" \
        "the x86 build's module is not registered, run or tested on this machine."
fi

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
asRoot=()
[ "$(id -u)" -eq 0 ] || asRoot=(sudo)
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${asRoot[@]}" dpkg --add-architecture i386
fi
"${asRoot[@]}" apt-get update
"${asRoot[@]}" apt-get install -y "${missing[@]}"
