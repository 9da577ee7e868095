#!/usr/bin/env bash
# Writes OUT/Fotolista-VERSION-win64.zip from a Windows build of Fotolista:
# both programs, numeros/, the DLLs they load (found by walking their import
# tables: no more than they need), Qt's Windows plugin (and its minimal one,
# with which fotolista-batch.exe draws a watermark without a display) and its
# Spanish texts.
#
#   package.sh BUILD_DIR PREFIX OUT_DIR
set -euo pipefail
build=$1 prefix=$2 out=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(Fotolista VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=Fotolista-$version-win64
stage=$out/$name
objdump=x86_64-w64-mingw32-objdump
# Where the DLLs built or shipped for Windows are; anything not found here
# is part of Windows itself.
search=("$prefix/bin" "$prefix/lib" /usr/x86_64-w64-mingw32/lib /usr/lib/gcc/x86_64-w64-mingw32/12-posix)

rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/imageformats" "$stage/translations"
cp "$build/bin/fotolista.exe" "$build/bin/fotolista-batch.exe" "$stage/"
cp -r "$root/numeros" "$stage/"
cp "$prefix/plugins/platforms/qwindows.dll" "$prefix/plugins/platforms/qminimal.dll" "$stage/platforms/"
cp "$prefix/plugins/styles/"*.dll "$stage/styles/" 2>/dev/null || true
cp "$prefix/plugins/imageformats/"*.dll "$stage/imageformats/" 2>/dev/null || true
cp /usr/share/qt6/translations/qtbase_es.qm "$stage/translations/"
# Qt looks for its plugins and texts beside the programs.
printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n' > "$stage/qt.conf"

declare -A seen=()
find_dll() {
  local dir
  for dir in "${search[@]}"; do
    # The import tables name DLLs in any case; the files are as built.
    local hit
    hit=$(find "$dir" -maxdepth 1 -iname "$1" -print -quit 2>/dev/null)
    if [ -n "$hit" ]; then
      echo "$hit"
      return 0
    fi
  done
  return 0
}
add_imports() {
  local dll
  for dll in $("$objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p'); do
    local key=${dll,,}
    [ -z "${seen[$key]:-}" ] || continue
    seen[$key]=1
    local path
    path=$(find_dll "$dll")
    [ -n "$path" ] || continue
    cp "$path" "$stage/"
    add_imports "$path"
  done
}
while IFS= read -r -d '' binary; do
  add_imports "$binary"
done < <(find "$stage" -iname '*.exe' -print0 -o -iname '*.dll' -print0)

sed 's/$/\r/' "$root/scripts/windows/LEEME.txt" > "$stage/LEEME.txt"
(cd "$out" && zip -qr "$name.zip" "$name")
echo "$out/$name.zip"
