#!/usr/bin/env bash
# Fails when a C or C++ source of the repository differs from what .clang-format makes of it;
# with --fix, rewrites those files instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(--dry-run -Werror)
[ "${1:-}" = "--fix" ] && mode=(-i)
git ls-files -z '*.c' '*.h' '*.cpp' | xargs -0 -r -n 50 clang-format "${mode[@]}" --style=file
