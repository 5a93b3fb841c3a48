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
  if ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* >/dev/null 2>&1; then
    echo "fuzz target $target found a failure: $(ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* 2>/dev/null)" >&2
    exit 1
  fi
  rm -rf "$work"
done
