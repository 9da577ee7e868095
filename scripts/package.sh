#!/usr/bin/env bash
# Builds the Debian package fotolista_VERSION_amd64.deb in build/ (or
# $BUILD_DIR) and checks it as a shop would receive it: unpacked into a
# scratch folder, its fotolista-batch answers --help and runs the example
# batch with the watermark it carries, the desktop entry and the AppStream
# metadata are valid, and lintian finds no error.
#     bash scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$build_dir"
rm -f fotolista_*.deb
cpack -G DEB >/dev/null
deb=$(echo "$build_dir"/fotolista_*_amd64.deb)
echo "Paquete: $deb"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/fotolista-paquete.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch/raiz"
batch="$scratch/raiz/usr/bin/fotolista-batch"
"$batch" --help >/dev/null
version=$(dpkg-deb -f "$deb" Version)
[ "$("$batch" --version)" = "fotolista-batch $version" ]

# The example holds a missing photo and a row without a name: status 1.
mkdir "$scratch/salida"
status=0
(cd "$scratch" && "$batch" run "$root/examples/catalogo.xls" "$root/examples/fotos" salida --quiet) || status=$?
[ "$status" -eq 1 ]
[ -s "$scratch/salida/TAZA-01.jpg" ] && [ -s "$scratch/salida/pequeñas/TAZA-01_p.jpg" ]

desktop-file-validate "$scratch/raiz/usr/share/applications/fotolista.desktop"
# A job file is known by its name and by its first line, so the file
# manager opens it with the program.
update-mime-database "$scratch/raiz/usr/share/mime" >/dev/null 2>&1
printf 'fotolista-trabajo=1\n' >"$scratch/semana.fotolista"
cp "$scratch/semana.fotolista" "$scratch/semana.txt"
for job in semana.fotolista semana.txt; do
  XDG_DATA_DIRS="$scratch/raiz/usr/share" gio info -a standard::content-type "$scratch/$job" |
    grep -q 'application/x-fotolista-job'
done
grep -q '^MimeType=application/x-fotolista-job;' "$scratch/raiz/usr/share/applications/fotolista.desktop"
appstreamcli validate --no-net "$scratch"/raiz/usr/share/metainfo/*.metainfo.xml >/dev/null

# Errors fail the check; warnings would be listed (README, "The Debian package").
lintian --fail-on error "$deb"
echo "Paquete comprobado: $deb"
