#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine, only what is missing.
set -euo pipefail
packages=(mingw-w64 wine64 xvfb xauth cmake ninja-build googletest clang-format "$@")
# The x86 build's programs run in the same 64-bit prefix through Wine's 32-bit half,
# which Debian ships for the i386 architecture only.
packages+=(wine32:i386)
# npm fetches the Windows ffmpeg the client tests run; Debian's own serves if none is there.
command -v npm >/dev/null || packages+=(npm)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$' \
        || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
asRoot=()
[ "$(id -u)" -eq 0 ] || asRoot=(sudo)
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${asRoot[@]}" dpkg --add-architecture i386
fi
"${asRoot[@]}" apt-get update
"${asRoot[@]}" apt-get install -y "${missing[@]}"
