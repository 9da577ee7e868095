#!/usr/bin/env bash
# Tests the Windows build under Wine on a virtual display:
#   - the zip's fotolista-batch.exe: --version, the example batch (its images
#     against the Linux build's, pixel by pixel), check, a refusal, and rows
#     named after devices and streams, which must not be written to;
#   - the window: fotolista.exe started from the zip, and a screenshot of the
#     main window and the About window into docs/;
#   - the engine's unit tests, cross-built, through ctest under Wine.
#
#   bash scripts/build-windows.sh && bash scripts/test-windows.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/fotolista-windows
out=${WINDOWS_BUILD_DIR:-$root/build-windows}
export WINEPREFIX=${WINEPREFIX:-$cache/wine}
export WINEDEBUG=${WINEDEBUG:--all}
version=$(sed -n 's/^project(Fotolista VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
zip=$out/Fotolista-$version-win64.zip
[ -f "$zip" ] || { echo "test-windows: no $zip; run scripts/build-windows.sh first" >&2; exit 1; }

# The Linux build is the yardstick of the Windows one's outputs; ImageMagick
# and the X tools that compare and draw them come with its dependencies.
bash "$root/scripts/install-deps.sh" >/dev/null
[ -x "$root/build/bin/fotolista-batch" ] || bash "$root/scripts/build.sh"

work=$(mktemp -d -t fotolista-wine.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
pass() { echo "ok   $1"; }
fail() { echo "FAIL $1" >&2; failures=$((failures + 1)); }

# A Windows of its own, made once; the display is virtual throughout.
display() { xvfb-run -a -s "-screen 0 1280x800x24" "$@"; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  display wineboot --init >/dev/null 2>&1
  wineserver -w
fi

(cd "$work" && unzip -q "$zip")
app=$work/Fotolista-$version-win64
win() { winepath -w "$1"; }
batch() { wine "$app/fotolista-batch.exe" "$@"; }

# 1. The version, as the Linux build says it.
if [ "$(batch --version | tr -d '\r')" = "$("$root/build/bin/fotolista-batch" --version)" ]; then
  pass "--version"
else
  fail "--version: $(batch --version 2>&1 | head -3)"
fi

# 2. The example batch, against the Linux build's images.
mkdir -p "$work/tienda/web" "$work/linux"
cp -r "$root/examples/catalogo.xls" "$root/examples/fotos" "$work/tienda/"
(cd "$work/tienda" && batch run catalogo.xls fotos web --quiet) > "$work/batch.txt" 2>&1 || true
"$root/build/bin/fotolista-batch" run "$work/tienda/catalogo.xls" "$work/tienda/fotos" "$work/linux" \
  --quiet --log "$work/linux-errores.txt" >/dev/null 2>&1 || true
compared=0 differing=0
while IFS= read -r -d '' linux; do
  rel=${linux#"$work/linux/"}
  windows=$work/tienda/web/$rel
  compared=$((compared + 1))
  if [ ! -f "$windows" ]; then
    echo "  missing on Windows: $rel" >&2
    differing=$((differing + 1))
  elif [ "$(compare -metric AE "$linux" "$windows" null: 2>&1)" != 0 ]; then
    echo "  pixels differ: $rel" >&2
    differing=$((differing + 1))
  fi
done < <(find "$work/linux" -type f -name '*.jpg' -print0)
if [ "$compared" -gt 0 ] && [ "$differing" -eq 0 ] && [ -f "$work/tienda/errores.txt" ]; then
  pass "example batch: $compared images with the Linux build's pixels, errores.txt written"
else
  fail "example batch: $differing of $compared images differ or are missing"
  cat "$work/batch.txt" >&2
fi

# 3. The check of the same batch.
if (cd "$work/tienda" && batch check catalogo.xls fotos web) > "$work/check.txt" 2>&1; then
  pass "check"
else
  # Findings make the check's status non-zero; it must still have listed rows.
  grep -q . "$work/check.txt" && pass "check (with findings)" || fail "check said nothing"
fi

# 4. A refusal: a destination that does not exist, said in Spanish, status 2.
set +e
batch run "$(win "$work/tienda/catalogo.xls")" "$(win "$work/tienda/fotos")" 'C:\no\existe' > "$work/refusal.txt" 2>&1
status=$?
set -e
if [ "$status" -eq 2 ] && grep -q "no existe" "$work/refusal.txt"; then
  pass "refusal of a missing destination"
else
  fail "refusal: status $status: $(head -3 "$work/refusal.txt")"
fi

# 4b. Names Windows keeps for itself, in a list as a shop might paste it: a
# device and a stream of another file are not written to, errores.txt names
# both rows, and the row beside them is written.
mkdir -p "$work/hostil/web"
cp -r "$root/examples/fotos" "$work/hostil/"
for line in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18; do
  case $line in
    6) echo 'NUL,,,,,12345' ;;
    10) echo 'ABC:oculto,,,,,12346' ;;
    14) echo 'BIEN,,,,,20001' ;;
    *) echo ',,,,,' ;;
  esac
done > "$work/hostil/lista.csv"
(cd "$work/hostil" && batch run lista.csv fotos web --quiet) > "$work/hostil.txt" 2>&1 || true
written=$(cd "$work/hostil/web" && find . -type f | sort | tr '\n' ' ')
logged=$(tr -d '\r' < "$work/hostil/errores.txt" 2>/dev/null | grep -c . || true)
if [ "$written" = "./BIEN.jpg ./pequeñas/BIEN_p.jpg " ] && [ "$logged" -eq 2 ]; then
  pass "names Windows keeps for itself: not written, both logged"
else
  fail "names Windows keeps: wrote '$written', logged $logged rows"
  cat "$work/hostil.txt" >&2
fi

# 5. The window: started from the zip, and drawn into docs/. The Wine
# server of the commands above runs without a display: ended first, so
# that the window's gets one.
wineserver -k 2>/dev/null || true
display bash -c '
  wine "$1/fotolista.exe" & pid=$!
  for _ in $(seq 60); do
    sleep 1
    xwininfo -root -tree 2>/dev/null | grep -q "\"FOTOLISTA, " && break
  done
  sleep 2
  import -window root "$2/pantalla.png"
  kill $pid 2>/dev/null; wineserver -k
' _ "$app" "$work" >/dev/null 2>&1 || true
if [ -f "$work/pantalla.png" ] && [ "$(identify -format '%k' "$work/pantalla.png")" -gt 16 ]; then
  pass "the window opens"
  cp "$work/pantalla.png" "$root/docs/windows-escritorio.png"
else
  fail "the window did not show"
fi
# Programs of the build tree find the DLLs and Qt's plugins in the prefix.
tests=$out/fotolista
prefix=$cache/prefix
export WINEPATH="$prefix/bin;/usr/lib/gcc/x86_64-w64-mingw32/12-posix;/usr/x86_64-w64-mingw32/lib"
export QT_PLUGIN_PATH=$prefix/plugins
if [ -x "$tests/bin/fotolista_screenshots.exe" ] || [ -f "$tests/bin/fotolista_screenshots.exe" ]; then
  mkdir -p "$work/shots"
  wineserver -k 2>/dev/null || true
  display wine "$tests/bin/fotolista_screenshots.exe" "$(win "$work/shots")" >/dev/null 2>&1 || true
  for shot in ventana-principal acerca-de; do
    if [ -f "$work/shots/$shot.png" ]; then
      cp "$work/shots/$shot.png" "$root/docs/windows-$shot.png"
      pass "screenshot $shot"
    else
      fail "screenshot $shot"
    fi
  done
fi

# 6. The unit tests of the engine, under Wine.
if [ -f "$tests/CTestTestfile.cmake" ]; then
  if (cd "$tests" && display ctest -j1 --output-on-failure -L windows) > "$work/ctest.txt" 2>&1; then
    pass "unit tests: $(grep -o '[0-9]* tests passed.*' "$work/ctest.txt" | head -1)"
  else
    fail "unit tests"
    tail -40 "$work/ctest.txt" >&2
  fi
fi

[ "$failures" -eq 0 ] && echo "test-windows: everything passed" || { echo "test-windows: $failures failed" >&2; exit 1; }
