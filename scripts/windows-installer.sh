#!/usr/bin/env bash
# Makes the Windows installer tavro-kx42h-<version>-setup.exe with NSIS from the station built
# for Windows: the program and its launcher, the Qt libraries and plug-ins it loads, the
# compiler's runtime libraries they need, and the Russian user guide as a web page.
# Usage: scripts/windows-installer.sh BUILD-DIR [OUT-DIR]
#   BUILD-DIR holds a Windows build of the station (scripts/windows-lane.sh makes one);
#   the installer goes to OUT-DIR (default: BUILD-DIR). Prints the installer's path last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
out=$(realpath -m "${2:-$build}")
kit=$(sed -n 's/^TAVRO_QT_KIT:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -d "$kit" ] || { echo "$build was not configured with a Qt kit (TAVRO_QT_KIT)" >&2; exit 1; }
version=$(sed -n 's/^project(TavroKX42H VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
for tool in makensis x86_64-w64-mingw32-objdump; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (packages nsis, binutils-mingw-w64)" >&2; exit 1; }
done
/usr/bin/python3 -c 'import markdown' 2>/dev/null ||
  { echo "python3-markdown is missing (package python3-markdown)" >&2; exit 1; }

stage="$build/installer/stage"
rm -rf "$stage"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/doc/img"
cp "$build/app/tavro-kx42h.exe" "$build/tavro-kx42h-start.exe" "$stage/"
cp "$kit/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$kit/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"

# The libraries a program or plug-in imports, found in the Qt kit or the compiler's runtime
# folders, and theirs in turn; the system's own libraries are found nowhere here.
search=("$kit/bin" /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib)
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
bring() {
  local dll=$1 dir
  [ -e "$stage/$dll" ] && return 0
  for dir in "${search[@]}"; do
    if [ -f "$dir/$dll" ]; then
      cp "$dir/$dll" "$stage/"
      local next
      for next in $(imports "$stage/$dll"); do bring "$next"; done
      return 0
    fi
  done
}
for binary in "$stage"/*.exe "$stage"/platforms/*.dll "$stage"/styles/*.dll; do
  for dll in $(imports "$binary"); do bring "$dll"; done
done
x86_64-w64-mingw32-strip --strip-unneeded "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll

# The guide as a page a browser opens, with its pictures beside it.
/usr/bin/python3 - "$root/docs/user-guide.ru.md" "$stage/doc/user-guide.ru.html" <<'PY'
import re, sys, markdown
text = open(sys.argv[1], encoding="utf-8").read()
body = markdown.markdown(text, extensions=["tables", "fenced_code"])
page = ('<!DOCTYPE html>\n<html lang="ru"><head><meta charset="utf-8">'
        '<title>Tavro KX4.2H: руководство пользователя</title>'
        '<style>body{font-family:Arial,sans-serif;max-width:60em;margin:2em auto;line-height:1.4}'
        'img{max-width:100%}table{border-collapse:collapse}td,th{border:1px solid #999;padding:.2em .5em}'
        '</style></head><body>\n' + body + '\n</body></html>\n')
open(sys.argv[2], "w", encoding="utf-8").write(page)
PY
grep -o 'src="img/[^"]*"' "$stage/doc/user-guide.ru.html" | sed 's/src="img\///; s/"$//' | sort -u |
  while read -r picture; do cp "$root/docs/img/$picture" "$stage/doc/img/"; done

# The installer's file lists, made from the stage.
nsis="$build/installer"
{
  (cd "$stage" && find . -type d | sort) | while read -r dir; do
    rel=${dir#./}
    [ "$rel" = . ] && rel=""
    echo "SetOutPath \"\$INSTDIR${rel:+\\${rel//\//\\}}\""
    find "$stage/$rel" -maxdepth 1 -type f | sort | sed 's/^/File "/; s/$/"/'
  done
  echo 'SetOutPath "$INSTDIR"'
} >"$nsis/files.nsh"
{
  (cd "$stage" && find . -type f | sort) | sed 's|^\./||; s|/|\\|g; s|^|Delete "$INSTDIR\\|; s|$|"|'
  (cd "$stage" && find . -mindepth 1 -type d | sort -r) | sed 's|^\./||; s|/|\\|g; s|^|RMDir "$INSTDIR\\|; s|$|"|'
} >"$nsis/uninstall.nsh"

mkdir -p "$out"
setup="$out/tavro-kx42h-$version-setup.exe"
size_kb=$(du -sk "$stage" | cut -f1)
cp "$root/packaging/windows/tavro-kx42h.nsi" "$root/packaging/windows/tavro-kx42h.ico" "$nsis/"
makensis -V2 -DVERSION="$version" -DOUTFILE="$setup" -DSIZE_KB="$size_kb" "$nsis/tavro-kx42h.nsi" >&2
echo "Installer: $(du -h "$setup" | cut -f1), $(find "$stage" -type f | wc -l) files, ${size_kb} KiB installed" >&2
echo "$setup"
