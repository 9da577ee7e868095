#!/usr/bin/env bash
# Converts the openpyxl sources with LibreOffice Calc and Gnumeric, which
# compute the formulas and store their results, into lo_*.xlsx/.ods and
# gnm_*.xlsx/.ods. Needs libreoffice-calc-nogui and gnumeric (not in
# install-deps.sh: CI reads the committed files).
#     bash tests/data/workbooks/make_converted.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for source in openpyxl_shop openpyxl_1904; do
  base=${source#openpyxl_}
  for format in xlsx ods; do
    HOME="$tmp" soffice --headless --convert-to "$format" --outdir "$tmp" "$here/$source.xlsx" >/dev/null 2>&1
    mv "$tmp/$source.$format" "$here/lo_$base.$format"
    ssconvert "$here/$source.xlsx" "$here/gnm_$base.$format" >/dev/null 2>&1
  done
done
# The example batch's workbook in the other formats, for whole runs.
for format in xlsx ods 'csv:Text - txt - csv (StarCalc):59,34,76,1'; do
  HOME="$tmp" soffice --headless --convert-to "$format" --outdir "$here" "$here/../../../examples/catalogo.xls" >/dev/null 2>&1
done
