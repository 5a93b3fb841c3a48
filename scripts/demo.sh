#!/usr/bin/env bash
# The demo: builds the station and the simulator, starts kline-sim on a pseudo-terminal,
# and runs the station in a working directory whose auto.ini names that port. The
# simulator is stopped when the station ends. Installs what a fresh Debian 12 lacks.
#   scripts/demo.sh [ECU_TYPE]    0 "TAVRO - KX4.2", 1 "КАРНЕЛ  -   5.1" (the default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
ecu=${1:-1}
case "$ecu" in
  0 | 1) ;;
  *) echo "usage: scripts/demo.sh [0|1]" >&2; exit 2 ;;
esac

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'TEXT'
scripts/demo.sh: there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set).
The station is a desktop program and needs one. Run the demo from a desktop session,
or under a virtual X server (nothing is shown then; close the station with Ctrl-C):

    xvfb-run -a scripts/demo.sh
TEXT
  exit 1
fi

"$root/scripts/install-deps.sh"

build="$root/build/demo"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRO_TESTS=OFF >/dev/null
cmake --build "$build" --target tavro-kx42h kline-sim

work="$build/work"
mkdir -p "$work"
sim_out="$work/kline-sim.out"
sim_log="$work/kline-sim.log"
: >"$sim_out"
"$build/sim/kline-sim" --ecu "$ecu" >"$sim_out" 2>"$sim_log" &
sim=$!
stop_sim() {
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

# The simulator's first line is the port name the station opens, e.g. pts/3.
for _ in $(seq 100); do
  [ "$(wc -l <"$sim_out")" -ge 1 ] && break
  kill -0 "$sim" 2>/dev/null || break
  sleep 0.1
done
port=$(head -n 1 "$sim_out")
if [ -z "$port" ]; then
  echo "scripts/demo.sh: kline-sim did not start; see $sim_log" >&2
  exit 1
fi
"$root/scripts/demo-settings.sh" "$port" "$ecu" "$work/auto.ini"

echo "kline-sim serves the adapter and the ECU (type $ecu) on $port."
echo "Starting the station in $work; closing it ends the demo."
cd "$work"
"$build/app/tavro-kx42h"
