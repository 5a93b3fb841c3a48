#!/usr/bin/env bash
# Pictures of every window and dialog of the station, both ECU families, as a desktop shows
# them: a virtual X server with a window manager, the station's fonts, the simulated ECUs.
#   scripts/pictures.sh [DIR]   writes DIR/<window>-<family>.png (the desktop) and
#                               DIR/<window>-<family>-window.png (the window with its frame);
#                               DIR defaults to build/pictures
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/build/pictures}")
"$root/scripts/install-deps.sh"

build="$root/build/pictures-build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target app_every_window_test
mkdir -p "$out"

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  openbox 2>/dev/null & wm=$!
  sleep 1
  TAVRO_WINDOW_SHOTS="$1" QT_QPA_PLATFORM=xcb "$2/tests/app/app_every_window_test"
  status=$?
  kill $wm
  exit $status' pictures "$out" "$build"
echo "Pictures in $out"
