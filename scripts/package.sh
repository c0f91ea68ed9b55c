#!/usr/bin/env bash
# Makes the release for Windows users, build/release/Orvix61Test-<version>-windows.zip:
# builds what ships (the module, orvix-capture, orvix-verify and orvix-camera) for x86-64
# (preset default, build/) and for x86 (preset x86, build-x86/), then packs both with CPack.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in default x86; do
    cmake --preset "$preset"
    cmake --build --preset "$preset" --target Orvix61Test orvix-capture orvix-verify orvix-camera
done
cpack --config build/CPackConfig.cmake
