#!/usr/bin/env bash
# Formats the C++ sources with the repository's .clang-format; with --check, changes nothing
# and fails when a file is not formatted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run --Werror "${files[@]}"
  echo "${#files[@]} files formatted as .clang-format says."
else
  clang-format -i "${files[@]}"
fi
