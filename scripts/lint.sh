#!/usr/bin/env bash
# Formatting and static analysis: clang-format over every C++ file, and
# clang-tidy over the library's sources (needs build/x64's compile database).
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"

mapfile -t library < <(git ls-files 'abi/*.cpp' 'text/*.cpp' 'x11/*.cpp' 'hotkey/*.cpp' 'channel/*.cpp' 'delivery/*.cpp' 'device/*.cpp' 'driver/*.cpp' 'component/*.cpp')
report=$(clang-tidy -p build/x64 --quiet --extra-arg=-Wno-unknown-warning-option "${library[@]}" 2>/dev/null | grep -E 'warning:|error:' || true)
if [ -n "$report" ]; then
  echo "$report"
  exit 1
fi
echo "lint: clean"
