#!/usr/bin/env bash
# Writes the seeds of fuzz_photointake: one small picture of each kind the
# intake reads, with orientations and colour profiles, each after the byte
# the target reads its options from (1: turn upright).
#     bash fuzz/make-photointake-seeds.sh OUTDIR   (scripts/fuzz.sh makes them in build-fuzz/)
set -euo pipefail
out=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
adobe=/usr/share/color/icc/compatibleWithAdobeRGB1998.icc
im() { convert -limit thread 1 "$@"; }
tag() { exiftool -q -q -overwrite_original "$@"; }

im -size 12x8 gradient:red-blue -depth 8 -define png:color-type=2 base.png
im base.png -quality 80 orient6.jpg && tag -Orientation#=6 "-ICC_Profile<=$adobe" orient6.jpg
im base.png -colorspace CMYK -quality 80 cmyk.jpg
im base.png -colorspace Gray -quality 80 grey.jpg
im base.png -compress none orient8.tif && tag -Orientation#=8 "-ICC_Profile<=$adobe" orient8.tif
im base.png -colorspace CMYK -compress none cmyk.tif
cp base.png orient3.png && tag -Orientation#=3 "-ICC_Profile<=$adobe" orient3.png
im base.png -depth 16 -colorspace Gray grey16.png
im base.png -transparent red PNG8:palette.png
im base.png -alpha set -channel A -evaluate set 50% +channel PNG32:alpha.png
cwebp -quiet -lossless alpha.png -o alpha.webp
cwebp -quiet -q 80 base.png -o orient5.webp && tag -Orientation#=5 orient5.webp
heif-enc -q 50 -o base.heic base.png >/dev/null
heif-enc -q 50 -o base.avif base.png >/dev/null
for f in *.jpg *.tif *.png *.webp *.heic *.avif; do
  [ "$f" = base.png ] && continue
  { printf '\001'; cat "$f"; } > "$out/seed-${f%.*}-${f##*.}"
done
