#!/usr/bin/env bash
# Saves screenshots of the windows into docs/, drawn on a virtual X display,
# and of the example batch's report, drawn by Debian's headless Chromium
# (skipped with a note when chromium is not installed).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
cd "$root"
LC_ALL=es_ES.UTF-8 xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/bin/fotolista_screenshots" "$root/docs"

if command -v chromium >/dev/null; then
  work=$(mktemp -d -t fotolista.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/tienda/web"
  cp -r "$root/examples/catalogo.xls" "$root/examples/fotos" "$work/tienda/"
  (cd "$work/tienda" && LC_ALL=es_ES.UTF-8 "$root/build/bin/fotolista-batch" run catalogo.xls fotos web \
      --quiet --report informe.html) || true
  shot() { # picture, width, height
    chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
      --disable-component-update --disable-sync --hide-scrollbars --force-device-scale-factor=1 \
      --user-data-dir="$work/perfil" --window-size="$2,$3" --screenshot="$1" \
      "file://$work/tienda/informe.html" >/dev/null 2>&1
  }
  shot "$root/docs/informe-lote.png" 1100 1300
  shot "$root/docs/informe-lote-movil.png" 400 1500
else
  echo "Sin chromium (apt-get install chromium) no se dibuja el informe."
fi
ls -l "$root"/docs/*.png
