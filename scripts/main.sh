#!/usr/bin/env bash
# The main job: builds the module.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default
cmake --build --preset default
echo "Built $(pwd)/build/Orvix61Test.ax"
