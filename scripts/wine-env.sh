# Sourced: the environment in which Wine runs the station's Windows programs.
# Usage: source scripts/wine-env.sh PREFIX QT-KIT
export WINEPREFIX=$1
export WINEARCH=win64
export WINEDEBUG=-all
# A crashing program must fail: without the crash debugger Wine reports the crash in the exit
# code. No Mono or Gecko installers, and no menu entries or file links on the Linux desktop
# for what an installer puts in the Start menu.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d;winemenubuilder.exe=d"
# The Qt libraries and the compiler's runtime libraries, found as Windows finds DLLs on PATH.
winpath=""
for dir in "$2/bin" /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib; do
  winpath+="${winpath:+;}Z:${dir//\//\\}"
done
export WINEPATH=$winpath
# Wine keeps the Linux Qt's QT_* variables from Windows programs; WINEQT_* reach them as QT_*.
export WINEQT_PLUGIN_PATH="Z:${2//\//\\}\\plugins"
unset winpath
# Qt's offscreen platform on Windows reads its fonts from one folder (it has no system font
# list there): the faces the Linux tests see through fontconfig, side by side in one folder.
fonts="$WINEPREFIX/unix-fonts"
mkdir -p "$fonts"
find /usr/share/fonts -type f \( -name '*.ttf' -o -name '*.otf' -o -name '*.pfb' \) \
  -exec ln -sf {} "$fonts/" \;
export WINEQT_QPA_FONTDIR="Z:${fonts//\//\\}"
unset fonts
