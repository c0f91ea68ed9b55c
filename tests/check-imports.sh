#!/usr/bin/env bash
# Fails when a binary imports anything but the platform's own DLLs, which would mean a
# toolchain runtime (libgcc, libstdc++, winpthread) leaked out of the static link.
set -euo pipefail
objdump=$1 binary=$2
allowed='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|msvcrt|comctl32|shell32|uuid|api-ms-win-crt-[a-z0-9-]+)\.dll$'
imports=$("$objdump" -p "$binary" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no import table found in $binary"; exit 1; }
bad=$(grep -v -E "$allowed" <<<"$imports" || true)
echo "imports:" $imports
if [ -n "$bad" ]; then
    echo "not a platform DLL:" $bad
    exit 1
fi
