#!/usr/bin/env bash
# Fails when a C++ source of the project is not as clang-format writes it under the
# project's .clang-format. To format a file: clang-format -i FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
else
    mapfile -t sources < <(find . -path ./build -prune -o -path './build-*' -prune -o \
                               \( -name '*.cpp' -o -name '*.h' \) -print)
fi
if ! clang-format --dry-run --Werror "${sources[@]}"; then
    echo "Unformatted sources (above); $(clang-format --version | head -1)." >&2
    echo "Format them with: clang-format -i FILE" >&2
    exit 1
fi
