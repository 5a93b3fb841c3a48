#!/usr/bin/env bash
# Runs one test program under Wine for ctest. On a loaded machine Wine now and then fails to
# start a program at all: it exits with an error before the program prints its first line.
# Such a start is tried once more. A program that started (printed anything) is never run
# again, so a failing or flaky test still fails.
# Usage: scripts/wine-test.sh PROGRAM.exe [ARGS...]
set -uo pipefail
wine=${TAVRO_WINE:-/usr/lib/wine/wine64}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2; do
  "$wine" "$@" >"$out" 2>&1
  rc=$?
  if [ "$rc" -eq 0 ] || [ -s "$out" ]; then
    cat "$out"
    exit "$rc"
  fi
  echo "Wine did not start $1 (exit code $rc, nothing printed; attempt $attempt)" >&2
done
exit "$rc"
