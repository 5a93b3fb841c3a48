#!/usr/bin/env bash
# Builds the station's Debian package (Release, in build/package) and checks it: the files it
# installs, its control data, its menu entry, an installation with dpkg, and a start of the
# installed station through the menu entry's launcher with the offscreen platform. The
# package is removed again at the end, so the machine is left as it was.
#
# As root, with the package not installed yet, it is installed into the system with dpkg -i
# (its maintainer scripts run too) and purged afterwards. Otherwise (no root, or a workshop
# installation already present that must not be touched) it is unpacked into a scratch
# folder with dpkg -x and started from there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

build="$root/build/package"
work=$(readlink -f "$(mktemp -d)")
installed=""
station=""
cleanup() {
  if [ -n "$station" ] && kill -0 "$station" 2>/dev/null; then
    kill "$station" 2>/dev/null || true
    wait "$station" 2>/dev/null || true
  fi
  if [ -n "$installed" ]; then
    dpkg --purge tavro-kx42h >/dev/null || echo "package-check: dpkg --purge tavro-kx42h failed" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

echo "=== building the package ==="
mkdir -p "$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRO_TESTS=OFF \
  -DTAVRO_WERROR=ON >"$build.configure.log"
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/tavro-kx42h_*.deb
(cd "$build" && cpack -G DEB >"$build/cpack.log") || {
  cat "$build/cpack.log" >&2
  exit 1
}
debs=("$build"/tavro-kx42h_*.deb)
[ -f "${debs[0]}" ] || { echo "package-check: cpack made no package" >&2; exit 1; }
deb=${debs[0]}
echo "package: $deb"

echo "=== control data ==="
field() { dpkg-deb -f "$deb" "$1"; }
version=$(sed -n 's/^project(TavroKX42H VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ "$(field Package)" = tavro-kx42h ] && pass "Package tavro-kx42h" || fail "Package is '$(field Package)'"
[ -n "$version" ] && [ "$(field Version)" = "$version" ] && pass "Version $version, the project's" ||
  fail "Version is '$(field Version)', the project's is '$version'"
depends=$(field Depends)
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
for dep in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins fonts-liberation2 libstdc++6; do
  grep -qxF "$dep" <<<"$names" && pass "depends on $dep" || fail "no dependency on $dep in: $depends"
done
controls=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
grep -qx './postinst' <<<"$controls" && pass "has a postinst script" || fail "no postinst script"

echo "=== contents ==="
listing=$(dpkg-deb -c "$deb")
# expect MODE PATH: the file is in the package with that mode, owned by root.
expect() {
  local mode=$1 path=$2
  if awk -v m="$mode" -v p="./$path" '$1 == m && $2 == "root/root" && $6 == p { found = 1 } END { exit !found }' <<<"$listing"; then
    pass "$path ($mode)"
  else
    fail "$path missing, or not $mode root/root"
  fi
}
expect -rwxr-xr-x usr/bin/tavro-kx42h
expect -rwxr-xr-x usr/bin/kline-sim
expect -rwxr-xr-x usr/bin/tavro-kx42h-start
expect -rw-r--r-- usr/share/applications/tavro-kx42h.desktop
expect -rw-r--r-- usr/share/icons/hicolor/scalable/apps/tavro-kx42h.svg
expect -rw-r--r-- usr/share/icons/hicolor/48x48/apps/tavro-kx42h.png
expect -rw-r--r-- usr/lib/udev/rules.d/60-tavro-kx42h-ftdi.rules
expect -rw-r--r-- usr/share/doc/tavro-kx42h/user-guide.ru.md
expect -rw-r--r-- usr/share/doc/tavro-kx42h/install.md
expect -rw-r--r-- usr/share/doc/tavro-kx42h/README.md
outside=$(awk '$6 !~ /^\.\/(usr\/)?$/ && $6 !~ /^\.\/usr\// { print $6 }' <<<"$listing")
[ -z "$outside" ] && pass "every file under /usr" || fail "files outside /usr: $outside"

echo "=== menu entry ==="
scratch="$work/root"
dpkg-deb -x "$deb" "$scratch"
entry="$scratch/usr/share/applications/tavro-kx42h.desktop"
if command -v desktop-file-validate >/dev/null; then
  report=$(desktop-file-validate "$entry" 2>&1) && [ -z "$report" ] && pass "desktop-file-validate: no remarks" ||
    fail "desktop-file-validate: $report"
else
  echo "skipped: desktop-file-validate is not installed (desktop-file-utils)"
fi
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$scratch/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] && pass "Icon=$icon is in the package" ||
  fail "Icon=$icon is not in the package's icon theme folders"
grep -q '^Name\[ru\]=' "$entry" && grep -q '^Comment\[ru\]=' "$entry" && pass "Russian Name and Comment" ||
  fail "no Name[ru] or Comment[ru]"
read -r -a command <<<"$(sed -n 's/^Exec=//p' "$entry")"
[ -x "$scratch/usr/bin/${command[0]}" ] && pass "Exec=${command[*]} runs a program of the package" ||
  fail "Exec=${command[*]} is not a program of the package"

echo "=== installing ==="
status=$(dpkg-query -W -f='${Status}' tavro-kx42h 2>/dev/null || true)
if [ "$(id -u)" -eq 0 ] && [ "$status" != "install ok installed" ]; then
  mode=system
  bindir=/usr/bin
  installed=yes
  if dpkg -i "$deb" >"$work/dpkg.log" 2>&1; then
    pass "dpkg -i"
  else
    cat "$work/dpkg.log" >&2
    fail "dpkg -i failed"
    exit 1
  fi
  grep -q 'adduser \$USER dialout' "$work/dpkg.log" && pass "the post-install message names the dialout group" ||
    fail "the post-install message does not tell how to join dialout"
  files=$(dpkg -L tavro-kx42h)
  grep -qx /usr/bin/tavro-kx42h <<<"$files" && pass "dpkg knows /usr/bin/tavro-kx42h" ||
    fail "dpkg -L does not list /usr/bin/tavro-kx42h"
  entry=/usr/share/applications/tavro-kx42h.desktop
else
  mode=scratch
  bindir="$scratch/usr/bin"
  echo "not root, or tavro-kx42h is installed already: the station runs from the unpacked package in $scratch"
fi

echo "=== starting the installed station through its menu entry ($mode) ==="
home="$work/home"
mkdir -p "$home"
home=$(readlink -f "$home")
# start_from_menu LOG [VAR=VALUE...]: runs the entry's Exec line as a menu would, from the
# root folder, with a clean environment; the station's pid is left in $station.
start_from_menu() {
  local log=$1
  shift
  (cd / && exec env -i HOME="$home" PATH="$bindir:/usr/bin:/bin" QT_QPA_PLATFORM=offscreen \
    LANG=C.UTF-8 "$@" "${command[@]}") >"$log" 2>&1 &
  station=$!
}
stop_station() {
  kill "$station" 2>/dev/null || true
  wait "$station" 2>/dev/null || true
  station=""
}
# cwd_of PID: the working directory of the process, once its launcher has changed into it.
cwd_of() { readlink "/proc/$1/cwd" 2>/dev/null || true; }

read -r -a command <<<"$(sed -n 's/^Exec=//p' "$entry")"
start_from_menu "$work/station.log"
alive=yes
for _ in $(seq 20); do
  sleep 0.1
  kill -0 "$station" 2>/dev/null || { alive=""; break; }
done
folder="$home/.local/share/tavro-kx42h"
if [ -n "$alive" ]; then
  pass "the station has been running for 2 s"
  exe=$(readlink "/proc/$station/exe")
  [ "$exe" = "$(readlink -f "$bindir/tavro-kx42h")" ] && pass "the process is the installed station ($exe)" ||
    fail "the process is $exe, not $bindir/tavro-kx42h"
  [ "$(cwd_of "$station")" = "$folder" ] && pass "it works in $folder, where it keeps auto.ini" ||
    fail "it works in '$(cwd_of "$station")', not in $folder"
else
  fail "the station ended within 2 s; its output:"
  cat "$work/station.log" >&2
fi
[ -d "$folder" ] && pass "the launcher created the per-user folder" || fail "no folder $folder"
stop_station

# A data folder of the user's choice is taken, a relative one is not (freedesktop rule).
mkdir -p "$work/data"
for case in "XDG_DATA_HOME=$work/data:$work/data/tavro-kx42h" "XDG_DATA_HOME=data:$folder"; do
  setting=${case%:*}
  want=${case##*:}
  start_from_menu "$work/station-xdg.log" "$setting"
  for _ in $(seq 50); do
    [ "$(cwd_of "$station")" = "$want" ] && break
    kill -0 "$station" 2>/dev/null || break
    sleep 0.1
  done
  [ "$(cwd_of "$station")" = "$want" ] && pass "with $setting the station works in $want" ||
    fail "with $setting the station works in '$(cwd_of "$station")', not in $want"
  stop_station
done

if [ -n "$installed" ]; then
  echo "=== removing ==="
  dpkg --purge tavro-kx42h >"$work/dpkg-purge.log" 2>&1 && installed="" && pass "dpkg --purge" ||
    { cat "$work/dpkg-purge.log" >&2; fail "dpkg --purge failed"; }
  [ ! -e /usr/bin/tavro-kx42h ] && [ ! -e /usr/lib/udev/rules.d/60-tavro-kx42h-ftdi.rules ] &&
    pass "the installed files are gone" || fail "files of the package are left after the purge"
fi

echo
if [ "$failures" -ne 0 ]; then
  echo "package-check: $failures check(s) failed" >&2
  exit 1
fi
echo "package-check: the package $(basename "$deb") passed."
