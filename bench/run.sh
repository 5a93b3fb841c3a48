#!/usr/bin/env bash
# Builds the station in release mode and prints one table of its figures, each beside the
# reference it is judged by: the exchange and the poll period against the line time of
# kline-sim at the real pace, the processor share, the paint of one poll, the peak memory
# and the start-up. Where valgrind is installed, a last row gives the instructions of one
# poll's paint, a figure the machine's load does not move.
#
#   bench/run.sh              build in build/bench-release and measure
#   bench/run.sh --recording  only the 50 ms poll period without a recording, with one, and
#                             with one on a disk that holds every call for 2 s
#   bench/run.sh --wakeup [N] only N fresh stations (1000) waking kline-sim --strict-wakeup
#   bench/run.sh --wakeup --awake [N]
#                             the same with the processors kept from sleeping: a processor
#                             that wakes from idle holds the write that wakes it for
#                             milliseconds on some machines (virtual ones above all)
#   BENCH_BUILD_DIR=DIR bench/run.sh
#
# Exit status 1 when a figure misses its target.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/bench-release}
log=$(mktemp)
trap 'rm -f "$log" "$log.cg"' EXIT

echo "building in $build (release) ..." >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRO_BENCH=ON \
    -DTAVRO_TESTS=OFF >"$log" 2>&1 || { cat "$log" >&2; exit 2; }
target=station_bench
[ "${1:-}" = --wakeup ] && target=wakeup_bench
cmake --build "$build" -j2 --target "$target" >"$log" 2>&1 || { cat "$log" >&2; exit 2; }

cpu=$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')
echo "machine: $(nproc) cores, $cpu; load average at the start $(cut -d' ' -f1-3 /proc/loadavg)"
echo

if [ "$target" = wakeup_bench ]; then
    shift
    if [ "${1:-}" = --awake ]; then
        shift
        # One endless loop per processor at the idle priority (never the bench's own, which
        # may be real-time): every other thread, kernel workers included, runs first, but no
        # processor goes idle.
        for _ in $(seq "$(nproc)"); do chrt -i 0 sh -c 'while :; do :; done' & done
        trap 'kill $(jobs -p) 2>/dev/null; rm -f "$log" "$log.cg"' EXIT
        echo "processors kept awake by $(nproc) idle-priority loops"
    fi
    "$build/bench/wakeup_bench" "$@"
    echo
    echo "load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
    exit 0
fi

status=0
QT_QPA_PLATFORM=offscreen "$build/bench/station_bench" "$@" 2>"$log" || status=$?
if [ "$status" -gt 1 ]; then
    cat "$log" >&2
    exit "$status"
fi

if [ $# -eq 0 ] && command -v valgrind >/dev/null; then
    # One poll run under callgrind, counting only inside the window's hand-over.
    if QT_QPA_PLATFORM=offscreen valgrind --tool=callgrind --callgrind-out-file="$log.cg" \
        --compress-strings=no --toggle-collect='diag::TDiag_form::ShowValues*' \
        "$build/bench/station_bench" --paint >/dev/null 2>"$log"; then
        calls=$(grep -A1 '^cfn=diag::TDiag_form::ShowValues' "$log.cg" |
            sed -n 's/^calls=\([0-9]*\).*/\1/p' | awk '{n += $1} END {print n + 0}')
        total=$(sed -n 's/^totals: *//p' "$log.cg")
        if [ "$calls" -gt 0 ]; then
            awk -v t="$total" -v n="$calls" 'BEGIN {
                printf "| paint, instructions of one ShowValues of 16 (callgrind, %d polls) | %.2f M | - | - | - | - |\n", n, t / n / 1e6 }'
        fi
    fi
fi
echo
echo "load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
exit "$status"
