#!/usr/bin/env bash
# Makes the photos the intake tests read, and the references they are
# compared with, in the folder given: every picture from ImageMagick,
# exiftool, cwebp and heif-enc; every reference from ImageMagick (or
# libheif's own heif-convert for HEIF pixels), never from Fotolista.
#
#   bash tests/data/photos/make-photos.sh OUTDIR P3_PROFILE
#
# P3_PROFILE is a Display P3 profile (Debian ships none; the test writes one
# with Little CMS). The other profiles come from Debian packages:
# icc-profiles-free (Adobe RGB compatible; zlib licence), colord-data (sRGB,
# version 4 like Little CMS's own, so that both treat black alike; CC0) and
# libgs-common (a SWOP CMYK profile), read where they are installed.
set -euo pipefail

out=$1
p3=$2
srgb=/usr/share/color/icc/colord/sRGB.icc
adobe=/usr/share/color/icc/compatibleWithAdobeRGB1998.icc
cmyk=/usr/share/color/icc/ghostscript/default_cmyk.icc
cd "$out"

# One thread: the machine is shared.
im() { convert -limit thread 1 "$@"; }
tag() { exiftool -q -q -overwrite_original "$@"; }
to_srgb() { im "$1" -intent Perceptual -profile "$srgb" -depth 8 "$2"; }
on_white() { im "$1" -background white -alpha remove -alpha off -depth 8 "$2"; }

# --- the pictures everything starts from ---------------------------------
# Asymmetric: three coloured quarters and a black corner, so that every
# wrong turn or mirror moves some colour somewhere else.
im -size 96x64 gradient:gray90-gray40 -type TrueColor \
  \( -size 48x32 xc:red \) -geometry +0+0 -composite \
  \( -size 48x32 xc:lime \) -geometry +48+0 -composite \
  \( -size 48x32 xc:blue \) -geometry +0+32 -composite \
  -fill black -draw "rectangle 0,0 9,9" -depth 8 -define png:color-type=2 asym.png
# Saturated ramps, where colour profiles differ most.
im -size 256x64 gradient:red-blue \( -size 256x64 gradient:lime-yellow \) \
  \( -size 256x64 gradient:cyan-magenta \) -append +repage -depth 8 -define png:color-type=2 sat.png
# The same with an alpha ramp from clear (left) to opaque (right).
im sat.png \( -size 192x256 gradient:white-black -rotate 90 \) -alpha off \
  -compose CopyOpacity -composite +repage PNG32:alpha.png

# --- orientation: each of the eight in four containers --------------------
for o in 1 2 3 4 5 6 7 8; do
  im asym.png -compress none o$o.tif
  im asym.png -quality 95 -sampling-factor 1x1 o$o.jpg
  cp asym.png o$o.png
  cwebp -quiet -lossless -exact asym.png -o o$o.webp
  tag -Orientation#=$o o$o.tif o$o.jpg o$o.png o$o.webp
  im o$o.tif -auto-orient ref_o$o.png
done

# --- private data in every container ---------------------------------------
im sat.png -quality 90 meta.jpg
im sat.png -compress none meta.tif
cp sat.png meta.png
cwebp -quiet -q 90 sat.png -o meta.webp
tag -GPSLatitude=40.4168 -GPSLatitudeRef=N -GPSLongitude=3.7038 -GPSLongitudeRef=W \
  -Make=Canon "-Model=Canon EOS 5D" -SerialNumber=SN123456789 -OwnerName=Propietario \
  "-XMP-dc:Creator=Ana Pérez" -IPTC:Keywords=secreto -IPTC:City=Madrid \
  "-Comment=comentario privado" "-ImageDescription=descripción privada" \
  meta.jpg meta.tif meta.png meta.webp
heif-enc -q 80 -o meta.heic meta.jpg >/dev/null

# --- colour profiles --------------------------------------------------------
for name in adobe p3; do
  profile=$adobe
  [ $name = p3 ] && profile=$p3
  cp sat.png ${name}.png
  im sat.png -compress none ${name}.tif
  im sat.png -quality 95 -sampling-factor 1x1 ${name}.jpg
  tag "-ICC_Profile<=$profile" ${name}.png ${name}.tif ${name}.jpg
  for ext in png tif jpg; do to_srgb ${name}.$ext ref_${name}_$ext.png; done
done
im sat.png -quality 95 srgb_tagged.jpg
tag "-ICC_Profile<=$srgb" srgb_tagged.jpg
cp p3.png p3_for_heif.png
heif-enc -q 90 -o p3.heic p3_for_heif.png >/dev/null
heif-enc -q 90 -o p3.avif p3_for_heif.png >/dev/null
for f in p3.heic p3.avif; do
  heif-convert "$f" decoded_$f.png >/dev/null
  im decoded_$f.png -profile "$p3" -intent Perceptual -profile "$srgb" -depth 8 ref_$f.png
done

# --- CMYK: with and without a profile; JPEGs the Adobe way ------------------
im sat.png -profile "$srgb" -intent Perceptual -profile "$cmyk" -quality 95 -sampling-factor 1x1 cmyk_profile.jpg
im sat.png -colorspace CMYK -quality 95 -sampling-factor 1x1 cmyk_plain.jpg
im sat.png -profile "$srgb" -intent Perceptual -profile "$cmyk" -compress none cmyk_profile.tif
im sat.png -colorspace CMYK -compress none cmyk_plain.tif
to_srgb cmyk_profile.jpg ref_cmyk_profile_jpg.png
to_srgb cmyk_profile.tif ref_cmyk_profile_tif.png
im cmyk_plain.jpg -colorspace sRGB -depth 8 ref_cmyk_plain_jpg.png
im cmyk_plain.tif -colorspace sRGB -depth 8 ref_cmyk_plain_tif.png
# The inks as raw bytes: the test writes them as JPEGs without the Adobe mark.
im cmyk_profile.tif -depth 8 cmyk:cmyk_profile.cmyk
im cmyk_plain.tif -depth 8 cmyk:cmyk_plain.cmyk

# --- transparency -------------------------------------------------------------
im alpha.png -depth 8 -compress none alpha.tif
cwebp -quiet -lossless -exact alpha.png -o alpha.webp
cwebp -quiet -q 90 -alpha_q 100 alpha.png -o alpha_lossy.webp
im asym.png -transparent red PNG8:palette.png
im alpha.png -colorspace Gray PNG:grey_alpha.png
for f in alpha.png alpha.tif alpha.webp alpha_lossy.webp palette.png grey_alpha.png; do
  on_white "$f" ref_$f.png
done
heif-enc -q 90 -o alpha.heic alpha.png >/dev/null
heif-convert alpha.heic decoded_alpha.heic.png >/dev/null
on_white decoded_alpha.heic.png ref_alpha.heic.png

# --- 16 bits a channel, not reaching white ------------------------------------
im sat.png -depth 16 -evaluate multiply 0.8 rgb16.png
im sat.png -colorspace Gray -depth 16 -evaluate multiply 0.7 grey16.png
im rgb16.png -compress none rgb16.tif
im grey16.png -compress none grey16.tif
im alpha.png -depth 16 PNG64:rgba16.png
for f in rgb16.png grey16.png rgb16.tif grey16.tif rgba16.png; do on_white "$f" ref_$f.png; done

# --- the new formats, plain -----------------------------------------------------
heif-enc -q 90 -o plain.heic sat.png >/dev/null
heif-enc -q 90 -o plain.avif sat.png >/dev/null
cwebp -quiet -q 90 sat.png -o plain.webp
for f in plain.heic plain.avif; do heif-convert "$f" ref_$f.png >/dev/null; done
im plain.webp -depth 8 ref_plain.webp.png

# --- names that lie ---------------------------------------------------------------
cp alpha.png png_named.jpg
cp o1.jpg jpeg_named.tif
cp o1.tif tiff_named.png
cp plain.webp webp_named.heic
printf 'no es una foto\n' > text_named.jpg
: > empty.jpg

# --- headers claiming more pixels than the program takes, and an unknown codec ----
python3 - <<'EOF'
import struct, zlib
def patch(src, dst, fn):
    d = bytearray(open(src, 'rb').read()); fn(d); open(dst, 'wb').write(d)
def png(d):
    d[16:24] = struct.pack('>II', 100000, 100000)
    d[29:33] = struct.pack('>I', zlib.crc32(bytes(d[12:29])))
def jpg(d):
    i = d.find(b'\xff\xc0'); d[i + 5:i + 9] = struct.pack('>HH', 60000, 60000)
def heic(d):
    i = d.find(b'ispe'); d[i + 8:i + 16] = struct.pack('>II', 40000, 40000)
def webp(d):
    i = d.find(b'VP8X'); d[i + 12:i + 18] = (19999).to_bytes(3, 'little') * 2
def tif(d):
    at = struct.unpack('<I', d[4:8])[0]
    for k in range(struct.unpack('<H', d[at:at + 2])[0]):
        e = at + 2 + 12 * k
        tag, kind = struct.unpack('<HH', d[e:e + 4])
        if tag in (256, 257):
            d[e + 8:e + 12] = struct.pack('<HH', 60000, 0) if kind == 3 else struct.pack('<I', 60000)
patch('o1.png', 'huge.png', png)
patch('o1.jpg', 'huge.jpg', jpg)
patch('plain.heic', 'huge.heic', heic)
patch('alpha_lossy.webp', 'huge.webp', webp)
patch('o1.tif', 'huge.tif', tif)
# Coded with VVC, which this libheif has no decoder for.
patch('plain.heic', 'vvc.heif', lambda d: d.__setitem__(slice(0, len(d)),
      bytes(d).replace(b'hvc1', b'vvc1').replace(b'heic', b'mif1')))
EOF

# --- metadata the image library would misread -------------------------------------
# An EXIF directory claiming 65018 entries in a 96-byte segment: the image
# library's own EXIF reader runs past it and crashes. In a JPEG and a WebP.
python3 - <<'EOF'
import struct
entries = [(0x0112, 3, 1, 1 << 16), (0x011A, 5, 1, 0x4A), (0x011B, 5, 1, 0x52), (0x0128, 3, 1, 1 << 16),
           (0x0213, 3, 1, 1 << 16)]
tiff = b'MM\x00*' + struct.pack('>IH', 8, 0xFDFA) + b''.join(struct.pack('>HHII', *e) for e in entries)
exif = b'Exif\x00\x00' + tiff + bytes(96 - 6 - len(tiff))
open('bad_exif.exif', 'wb').write(exif)
jpeg = open('o1.jpg', 'rb').read()
app1 = b'\xff\xe1' + struct.pack('>H', len(exif) + 2) + exif
open('bad_exif.jpg', 'wb').write(jpeg[:2] + app1 + jpeg[2:])
# The same segment where libjpeg still finds it and a walk that stops early
# would not: after bytes that are no marker; behind a code libjpeg does not
# know, whose "length" would pass over it (the library has libjpeg read on
# past such a code as if it had none); between the scans of a progressive
# file; and inside a JFXX thumbnail, which the library decodes as a JPEG.
first = 4 + struct.unpack('>H', jpeg[4:6])[0]
open('bad_exif_garbage.jpg', 'wb').write(jpeg[:first] + b'\x00\x01' + app1 + jpeg[first:])
open('bad_exif_unknown.jpg', 'wb').write(jpeg[:2] + b'\xff\x49' + struct.pack('>H', len(app1) + 2) + app1 + jpeg[2:])
jfxx = b'JFXX\x00\x10' + open('bad_exif.jpg', 'rb').read()
open('bad_exif_jfxx.jpg', 'wb').write(jpeg[:2] + b'\xff\xe0' + struct.pack('>H', len(jfxx) + 2) + jfxx + jpeg[2:])
EOF
im o1.jpg -interlace Plane o1_progressive.jpg
python3 - <<'EOF'
import struct
exif = open('bad_exif.exif', 'rb').read()
prog = open('o1_progressive.jpg', 'rb').read()
second = prog.index(b'\xff\xda', prog.index(b'\xff\xda') + 2)
app1 = b'\xff\xe1' + struct.pack('>H', len(exif) + 2) + exif
open('bad_exif_scans.jpg', 'wb').write(prog[:second] + app1 + prog[second:])
EOF
webpmux -set exif bad_exif.exif o1.webp -o bad_exif.webp >/dev/null 2>&1
