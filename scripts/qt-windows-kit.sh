#!/usr/bin/env bash
# Builds Qt for Windows (mingw-w64, shared libraries) from Debian's own Qt source, once, and keeps
# it in a cache folder outside the tree. A kit found there is used when it is complete and of the
# version the native build uses; otherwise it is built again (about 30 minutes on 2 cores).
# Prints the kit's folder on its last line.
# Usage: scripts/qt-windows-kit.sh            (TAVRO_QT_KIT=DIR overrides the folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=6.4.2
cache=${XDG_CACHE_HOME:-$HOME/.cache}/tavro-kx42h
kit=${TAVRO_QT_KIT:-$cache/qt-$version-mingw-w64}
stamp="$kit/tavro-kit.stamp"
# What the stamp must say: the version and the build's choices. A change of either rebuilds.
features=(network sql opengl dynamicgl dbus concurrent xml tabletevent)
recipe="qtbase $version mingw-w64 shared; off: ${features[*]}"

# The files the station, its tests and its installer take from the kit.
kit_files=(
  bin/qt-cmake lib/cmake/Qt6/Qt6Config.cmake
  bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Test.dll
  plugins/platforms/qwindows.dll plugins/platforms/qoffscreen.dll
  plugins/styles/qwindowsvistastyle.dll
)

kit_is_complete() {
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$recipe" ] || return 1
  local f
  for f in "${kit_files[@]}"; do [ -e "$kit/$f" ] || return 1; done
}

if kit_is_complete; then
  echo "$kit"
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
command -v dpkg-source >/dev/null || need+=(dpkg-dev)
[ -x /usr/lib/qt6/libexec/moc ] || need+=(qt6-base-dev-tools)
[ -f /usr/lib/x86_64-linux-gnu/cmake/Qt6/Qt6Config.cmake ] || need+=(qt6-base-dev)
command -v ninja >/dev/null || need+=(ninja-build)
if [ ${#need[@]} -gt 0 ]; then
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# Debian's source lists: the binary entries of the system, as source entries.
if ! apt-get source --print-uris qt6-base >/dev/null 2>&1; then
  sources=/etc/apt/sources.list.d/tavro-deb-src.sources
  echo "Enabling Debian source packages ($sources)"
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
    $sudo tee "$sources" >/dev/null
  $sudo apt-get update -qq
fi

started=$(date +%s)
work="$cache/qt-$version-work"
rm -rf "$work" "$kit"
mkdir -p "$work"
echo "Building Qt $version for Windows into $kit (about 30 minutes on 2 cores)"
(cd "$work" && apt-get source -qq qt6-base >/dev/null)
src=$(find "$work" -maxdepth 1 -type d -name "qt6-base-$version*" | head -n 1)
[ -n "$src" ] || { echo "apt-get source qt6-base gave no qt6-base-$version source" >&2; exit 1; }

off=()
for f in "${features[@]}"; do off+=("-DFEATURE_$f=OFF"); done
cmake -S "$src" -B "$work/build" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DTAVRO_MINGW_SHARED_RUNTIME=ON \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$kit" -DBUILD_SHARED_LIBS=ON \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF "${off[@]}" >"$work/configure.log"
cmake --build "$work/build" -j "$(nproc)" >"$work/build.log" ||
  { tail -n 40 "$work/build.log" >&2; exit 1; }
cmake --install "$work/build" >/dev/null
rm -rf "$work"

echo "$recipe" >"$stamp"
kit_is_complete || { echo "The Qt kit in $kit lacks some of: ${kit_files[*]}" >&2; exit 1; }
echo "Qt for Windows built in $(($(date +%s) - started)) s, $(du -sh "$kit" | cut -f1) in $kit"
echo "$kit"
