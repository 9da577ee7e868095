#!/usr/bin/env bash
# Writes the seeds of fuzz_photointake: one small picture of each kind the
# intake reads, with orientations and colour profiles, and TIFFs in every
# layout the image library branches on (bits, planes, tiles, palettes,
# compressions, inks, floating point, a thumbnail directory, cut short),
# each after the byte the target reads its options from (1: turn upright).
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
# Sets every value of a SHORT or LONG tag of directory N (0: the first).
cat > tag.py <<'PY'
import struct, sys
path, tag, value = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
which = int(sys.argv[4]) if len(sys.argv) > 4 else 0
b = bytearray(open(path, 'rb').read())
e = '<' if b[:2] == b'II' else '>'
off = struct.unpack(e + 'I', b[4:8])[0]
for _ in range(which + 1):
    n = struct.unpack(e + 'H', b[off:off + 2])[0]
    if _ == which:
        break
    off = struct.unpack(e + 'I', b[off + 2 + 12 * n:off + 6 + 12 * n])[0]
for i in range(n):
    p = off + 2 + 12 * i
    t, typ, count = struct.unpack(e + 'HHI', b[p:p + 8])
    if t != tag or typ not in (3, 4):
        continue
    size = 2 if typ == 3 else 4
    at = p + 8 if count * size <= 4 else struct.unpack(e + 'I', b[p + 8:p + 12])[0]
    for j in range(count):
        b[at + j * size:at + (j + 1) * size] = struct.pack(e + ('H' if typ == 3 else 'I'), value)
    open(path, 'wb').write(b)
    sys.exit(0)
sys.exit('%s: no tag %d' % (path, tag))
PY
settag() { python3 tag.py "$@"; }
tif() { local name=$1; shift; im base.png "$@" "tiff:$name.tif"; }
for bits in 1 2 4 8 16; do
  tif "grey$bits-planes" -colorspace Gray -depth $bits -compress none && settag "grey$bits-planes.tif" 284 2
done
tif rgb-planes -type TrueColor -interlace plane -compress none
tif rgb-tiles -type TrueColor -define tiff:tile-geometry=16x16 -compress none
tif grey-tiles -colorspace Gray -define tiff:tile-geometry=16x16 -compress lzw
tif palette8 -type Palette -compress none
tif palette4 -colors 12 -type Palette -compress none
tif palette4-planes -colors 12 -type Palette -compress none && settag palette4-planes.tif 284 2
tif lzw -type TrueColor -compress lzw
tif deflate -type TrueColor -compress zip
tif packbits -type TrueColor -compress rle
tif jpeg -type TrueColor -compress jpeg -quality 80
tif fax -monochrome -compress group4
tif cmyk-lzw -colorspace CMYK -compress lzw
tif cmyk16 -colorspace CMYK -depth 16 -compress none
tif float -type TrueColor -depth 32 -define quantum:format=floating-point -compress zip
tif half -type TrueColor -depth 16 -define quantum:format=floating-point -compress zip
tif rgb16 -type TrueColor -depth 16 -compress lzw
tif rgba -alpha set -channel A -evaluate set 50% +channel -type TrueColorAlpha -compress none
tif grey-alpha -colorspace Gray -alpha set -channel A -evaluate set 50% +channel -compress none
tif big-endian -type TrueColor -endian MSB -compress none
im base.png -type TrueColor -compress none tiff64:bigtiff.tif
# A hostile second directory behind an EXIF one, which the library loads
# as a thumbnail; and a TIFF whose directory comes first, cut short.
im base.png \( base.png -colorspace Gray -depth 1 \) -compress none tiff:thumbnail.tif
tag -DateTimeOriginal="2020:01:01 00:00:00" thumbnail.tif && settag thumbnail.tif 284 2 1
tif cut -type TrueColor -compress none && tag -Orientation#=1 cut.tif
head -c $(( $(stat -c %s cut.tif) * 6 / 10 )) cut.tif > cut-short.tif && rm cut.tif
for f in *.jpg *.tif *.png *.webp *.heic *.avif; do
  [ "$f" = base.png ] && continue
  { printf '\001'; cat "$f"; } > "$out/seed-${f%.*}-${f##*.}"
done
