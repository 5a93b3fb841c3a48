#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each from its seed corpus for a bounded
# time (FUZZ_SECONDS, 20 by default). Any crash or sanitizer report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-20}
build="$root/build/fuzz"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTAVRO_WITH_QT=OFF -DTAVRO_TESTS=OFF -DTAVRO_FUZZ=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target exchange_fuzz settings_fuzz decoders_fuzz trace_fuzz
for target in exchange settings decoders trace; do
  work=$(mktemp -d)
  cp "$root/fuzz/corpus/$target"/* "$work/"
  echo "fuzzing $target for ${seconds}s"
  (cd "$work" && "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
     -max_len=600 "$work" 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|crash' || true)
  status=${PIPESTATUS[0]}
  # Any one kind of artefact is a failure (ls of all three patterns fails when one is absent).
  found=$(find "$work" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \) -print)
  if [ -n "$found" ]; then
    echo "fuzz target $target found a failure: $found" >&2
    exit 1
  fi
  rm -rf "$work"
done
