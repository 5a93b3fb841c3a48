#!/usr/bin/env bash
# Makes the Windows installer from a Windows build of the station and checks it under Wine, as
# a workshop PC would take it: a silent installation with two FTDI cables known to the system,
# the files, shortcuts and "Programs and Features" entry it leaves, the cables' latency timer,
# a start of the installed station through its shortcut's launcher (in a real window on a
# virtual display), auto.ini in %LOCALAPPDATA%\tavro-kx42h after the station was closed, and
# the uninstaller, which must leave the user's settings.
# Usage: scripts/windows-installer-check.sh BUILD-DIR   (a build made by scripts/windows-lane.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
wine=/usr/lib/wine/wine64
kit=$(sed -n 's/^TAVRO_QT_KIT:[A-Z]*=//p' "$build/CMakeCache.txt")

need=()
command -v makensis >/dev/null || need+=(nsis)
/usr/bin/python3 -c 'import markdown' 2>/dev/null || need+=(python3-markdown)
command -v Xvfb >/dev/null || need+=(xvfb)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

setup=$("$root/scripts/windows-installer.sh" "$build")
echo "installer: $setup"

# A prefix of its own: what the installer does is seen on a clean system.
prefix="$build/wine-installer"
wineserver_of() { WINEPREFIX="$prefix" wineserver "$@" >/dev/null 2>&1 || true; }
wineserver_of -k
rm -rf "$prefix"
source "$root/scripts/wine-env.sh" "$prefix" "$kit"
unset WINEPATH WINEQT_PLUGIN_PATH # the installed station must find everything beside itself
display=""
xvfb=""
cleanup() {
  wineserver_of -k
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
wineserver -p >/dev/null 2>&1
"$wine" wineboot --init >/dev/null 2>&1

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }
reg_value() { "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v v="$2" '$1 == v { print $3 }'; }

# Two FTDI cables as the FTDI driver registers them, one with the driver's 16 ms, and a
# device of that bus without the value (which must stay without it).
ftdibus='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS'
cable1="$ftdibus\\VID_0403+PID_6001+A50285BIA\\0000\\Device Parameters"
cable2="$ftdibus\\VID_0403+PID_6015+DN01ABCDA\\0000\\Device Parameters"
other="$ftdibus\\VID_0403+PID_6010+FT4232XA\\0000\\Device Parameters"
"$wine" reg add "$cable1" /v LatencyTimer /t REG_DWORD /d 16 /f >/dev/null 2>&1
"$wine" reg add "$cable2" /v LatencyTimer /t REG_DWORD /d 2 /f >/dev/null 2>&1
"$wine" reg add "$other" /v PortName /t REG_SZ /d COM7 /f >/dev/null 2>&1

echo "=== silent installation ==="
"$wine" "$setup" /S >/dev/null 2>&1 && pass "installer /S" || fail "the installer failed"
drive="$prefix/drive_c"
dir="$drive/Program Files/Tavro KX4.2H"
for f in tavro-kx42h.exe tavro-kx42h-start.exe uninstall.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
  platforms/qwindows.dll styles/qwindowsvistastyle.dll libstdc++-6.dll libwinpthread-1.dll \
  doc/user-guide.ru.html; do
  [ -f "$dir/$f" ] && pass "installed $f" || fail "$f is not in $dir"
done
[ ! -e "$dir/Qt6Test.dll" ] && pass "no test library installed" || fail "Qt6Test.dll was installed"
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavro KX4.2H"
desktop="$drive/users/Public/Desktop"
for lnk in "$menu/Tavro KX4.2H.lnk" "$menu/Руководство пользователя.lnk" \
  "$menu/Удалить Tavro KX4.2H.lnk" "$desktop/Tavro KX4.2H.lnk"; do
  [ -f "$lnk" ] && pass "shortcut ${lnk#"$drive/"}" || fail "no shortcut $lnk"
done
grep -aq 'tavro-kx42h-start.exe' "$menu/Tavro KX4.2H.lnk" 2>/dev/null &&
  pass "the Start-menu entry starts the launcher" || fail "the Start-menu entry does not start tavro-kx42h-start.exe"
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\tavro-kx42h'
[ "$("$wine" reg query "$uninstall" /v DisplayName 2>/dev/null | tr -d '\r' | grep -c 'Tavro KX4.2H')" = 1 ] &&
  pass "\"Programs and Features\" lists Tavro KX4.2H" || fail "no uninstall entry $uninstall"
[ "$(reg_value "$cable1" LatencyTimer)" = 0x1 ] && [ "$(reg_value "$cable2" LatencyTimer)" = 0x1 ] &&
  pass "both FTDI cables' latency timer is 1 ms" ||
  fail "latency timers: $(reg_value "$cable1" LatencyTimer), $(reg_value "$cable2" LatencyTimer)"
[ -z "$(reg_value "$other" LatencyTimer)" ] && pass "a device without a latency timer got none" ||
  fail "the installer wrote a latency timer where the driver had none"

echo "=== the installed station, started as its shortcut starts it ==="
for n in $(seq 90 99); do
  [ -e "/tmp/.X11-unix/X$n" ] || { display=":$n"; break; }
done
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
data="$drive/users/${USER:-$(id -un)}/AppData/Local/tavro-kx42h"
(cd "$drive" && DISPLAY="$display" WINEQT_QPA_PLATFORM=windows \
  "$wine" 'C:\Program Files\Tavro KX4.2H\tavro-kx42h-start.exe') >/dev/null 2>&1 || fail "the launcher failed"
# Wine runs each Windows program as a Linux process of the same command line.
station_runs() { pgrep -f 'Tavro KX4.2H.tavro-kx42h\.exe' >/dev/null; }
running=""
for _ in $(seq 100); do
  station_runs && { running=yes; break; }
  sleep 0.2
done
[ -n "$running" ] && pass "the station runs" || fail "the station did not start"
[ -d "$data" ] && pass "the launcher made ${data#"$drive/"}" || fail "no folder $data"
sleep 3
# Closed as Windows closes a program at log-off: a close message to each of its windows (the
# first start's message about the missing settings file, then the main window).
# taskkill answers 128 when the station ended between the look and the kill: not a failure.
for _ in $(seq 20); do
  station_runs || break
  "$wine" taskkill /im tavro-kx42h.exe >/dev/null 2>&1 || true
  sleep 0.5
done
station_runs && fail "the station did not close"
size=$(stat -c %s "$data/auto.ini" 2>/dev/null || echo none)
[ "$size" = 336 ] && pass "auto.ini (336 bytes) in %LOCALAPPDATA%\\tavro-kx42h" ||
  fail "auto.ini in $data: $size bytes"

echo "=== uninstalling ==="
"$wine" "$dir/uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller failed"
for _ in $(seq 100); do # it runs on from a copy of itself; its last step is the entry
  "$wine" reg query "$uninstall" >/dev/null 2>&1 || break
  sleep 0.2
done
[ ! -e "$dir" ] && pass "the program folder is gone" || fail "left in $dir: $(find "$dir" | head -5)"
[ ! -e "$menu" ] && [ ! -e "$desktop/Tavro KX4.2H.lnk" ] && pass "the shortcuts are gone" ||
  fail "shortcuts are left"
"$wine" reg query "$uninstall" >/dev/null 2>&1 && fail "the uninstall entry is left" ||
  pass "the uninstall entry is gone"
[ -f "$data/auto.ini" ] && pass "the user's auto.ini stays" || fail "the uninstaller took the user's auto.ini"

echo
if [ "$failures" -ne 0 ]; then
  echo "windows-installer-check: $failures check(s) failed" >&2
  exit 1
fi
echo "windows-installer-check: $(basename "$setup") passed."
