#!/usr/bin/env bash
# Formats the C++ sources with the repository's .clang-format; --check only reports.
set -euo pipefail
cd "$(dirname "$0")/.."
# New files count before they are added, so a format run before `git add` misses nothing.
mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h' '*.c')
[ ${#files[@]} -eq 0 ] && exit 0
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run --Werror "${files[@]}"
else
  clang-format -i "${files[@]}"
fi
