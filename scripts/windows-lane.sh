#!/usr/bin/env bash
# The Windows lane: the whole station and its tests, cross-built with mingw-w64 against Qt for
# Windows (scripts/qt-windows-kit.sh builds it once into the user's cache folder) and run under
# Wine, the windows on Qt's offscreen platform. The Win32 serial backend is tested on a real
# line: a socat pseudo-terminal pair seen as COM12 (a number Windows opens only through the
# device namespace) and COM6. Then the installer is made and checked
# (scripts/windows-installer-check.sh).
# Usage: scripts/windows-lane.sh [build-dir]     (default: build/windows)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/windows}")
jobs=$(nproc)
wine=/usr/lib/wine/wine64
started=$(date +%s)

install_missing() {
  local missing=()
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64)
  [ -x "$wine" ] || missing+=(wine64)
  command -v wine >/dev/null || missing+=(wine)
  command -v socat >/dev/null || missing+=(socat)
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq && $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

if ! install_missing; then
  echo "Windows lane skipped: mingw-w64 or Wine cannot be installed on this machine." >&2
  exit 0
fi

kit=$("$root/scripts/qt-windows-kit.sh" | tail -n 1)

# -O2 as the native build, without debug information: it halves the compile time here.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DTAVRO_QT_KIT="$kit" -DTAVRO_WITH_QT=ON -DTAVRO_WERROR=ON \
  -DTAVRO_GTEST_SOURCE=/usr/src/googletest -DTAVRO_LOOP_PORTS="COM12;COM6" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-test.sh"
cmake --build "$build" -j "$jobs"

source "$root/scripts/wine-env.sh" "$build/wine" "$kit"
ports="$build/ports"
socat_pid=""

cleanup() {
  # Wine lets go of the ports before the pseudo-terminals close under it.
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$socat_pid" ]; then
    kill "$socat_pid" 2>/dev/null || true
    wait "$socat_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# The pair under stable names: Wine renumbers bare device links at each start, the registry
# names do not move.
mkdir -p "$ports"
rm -f "$ports/com12" "$ports/com6"
socat pty,rawer,link="$ports/com12" pty,rawer,link="$ports/com6" >/dev/null 2>&1 &
socat_pid=$!
for _ in $(seq 50); do
  [ -e "$ports/com12" ] && [ -e "$ports/com6" ] && break
  sleep 0.1
done
[ -e "$ports/com12" ] && [ -e "$ports/com6" ] || { echo "socat made no port pair" >&2; exit 1; }

# Our own persistent wineserver, its output away from ctest's pipes (or ctest waits on them).
mkdir -p "$WINEPREFIX"
start_wine() {
  wineserver -p >/dev/null 2>&1
  "$wine" wineboot "$@" >/dev/null 2>&1
}
start_wine --init
for port in COM12 COM6; do
  device="$ports/$(echo "$port" | tr '[:upper:]' '[:lower:]')"
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v "$port" /t REG_SZ /d "$device" /f >/dev/null 2>&1
done
# Wine maps serial ports when it starts: start it again to take the registered names.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
start_wine
for port in com12 com6; do
  [ "$(readlink "$WINEPREFIX/dosdevices/$port")" = "$ports/$port" ] ||
    { echo "Wine did not map $port to $ports/$port" >&2; exit 1; }
done

ctest --test-dir "$build" --output-on-failure -j "$jobs"
echo "Windows tests passed in $(($(date +%s) - started)) s."

"$root/scripts/windows-installer-check.sh" "$build"
echo "Windows lane passed in $(($(date +%s) - started)) s."
