#!/usr/bin/env bash
# Draws the default watermark pictures that Fotolista reads from numeros/:
#   agua.jpg      the 408 x 24 band along the bottom of each large image
#   <c>.jpg       one 9 x 16 glyph per character of the product code: 0-9 A-Z a-z - _,
#                 the Spanish letters Á É Í Ó Ú Ü Ñ á é í ó ú ü ñ Ç ç, + ( ) & # and the
#                 blank (" .jpg"); the full stop is punto.jpg, as "..jpg" would be hidden
#   marca.png     the 120 x 60 interior mark (24-bit RGB, no alpha)
#   previa.jpg    a sample photo for the mark preview window
#   temporal.jpg  that preview, ready for first use
# The output is byte-identical from run to run on the same Debian release.
#
# Usage: scripts/make-numeros.sh [--out DIR] [--preview FILE [--code TEXT] [--zoom N]]
#   --out DIR      write the pictures to DIR (default: numeros/ at the top of the repository)
#   --preview FILE also write a mock-up of a finished large image to FILE: a 409 x 307
#                  photo with the band at (1,283), the glyphs of TEXT (default ABC-12)
#                  from x = 319 and the mark blended at 50/255 in the centre, scaled
#                  N times (default 2) so the code can be judged pixel by pixel.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out="$here/../numeros"
preview=""
code="ABC-12"
zoom=2

usage() { sed -n '2,16s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=${2:?--out needs a folder}; shift 2 ;;
    --preview) preview=${2:?--preview needs a file name}; shift 2 ;;
    --code) code=${2:?--code needs a text}; shift 2 ;;
    --zoom) zoom=${2:?--zoom needs a number}; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "make-numeros.sh: unknown argument '$1'" >&2; usage >&2; exit 2 ;;
  esac
done

command -v convert >/dev/null || { echo "make-numeros.sh: ImageMagick is missing (scripts/install-deps.sh)" >&2; exit 1; }

fonts=/usr/share/fonts/truetype/dejavu
sans_bold="$fonts/DejaVuSans-Bold.ttf"
mono_bold="$fonts/DejaVuSansMono-Bold.ttf"
for f in "$sans_bold" "$mono_bold"; do
  [ -f "$f" ] || { echo "make-numeros.sh: $f is missing (fonts-dejavu-core)" >&2; exit 1; }
done

# One thread: some ImageMagick operators hand out random numbers per thread.
export MAGICK_THREAD_LIMIT=1

# Flat band colour under the code; the glyph backgrounds must be exactly this.
band_bg='#262e38'
band_light='#465668'
ink='#f4f6f8'

# JPEG and PNG writers with nothing that changes between runs, always RGB (the
# program pastes 24-bit pictures only). 4:4:4 at full quality keeps the thin
# white strokes free of fringes and the glyph background equal to the band.
jpeg_opts=(-strip -type TrueColor -interlace none -sampling-factor 1x1 -quality 100)
photo_opts=(-strip -type TrueColor -interlace none -sampling-factor 2x2 -quality 90)
# shellcheck disable=SC2054  # the commas belong to the ImageMagick option
png_opts=(-strip -define png:exclude-chunks=date,time +set date:create +set date:modify)

mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The band: a slate gradient that settles into the flat colour by x = 290, the
# shop-neutral name at the left and a small amber tick; x >= 300 stays flat.
convert \
  \( -size 24x290 gradient:"$band_light-$band_bg" -rotate -90 \) \
  \( -size 118x24 xc:"$band_bg" \) +append \
  -fill '#d9a441' -draw 'rectangle 8,8 10,16' \
  -font "$sans_bold" -pointsize 11 -kerning 2 -fill '#e9eef3' -annotate +17+17 'FOTOLISTA' \
  "${jpeg_opts[@]}" "$out/agua.jpg"

# Glyphs: DejaVu Sans Mono Bold at 14 px fits a 9 px cell; baseline at row 12
# leaves room for the dot of j above and the tails of g, j, p, q, y below.
glyphs=(0 1 2 3 4 5 6 7 8 9
        A B C D E F G H I J K L M N O P Q R S T U V W X Y Z
        a b c d e f g h i j k l m n o p q r s t u v w x y z
        - _
        Ç á é í ó ú ü ñ ç + '(' ')' '&' '#' ' ')
for c in "${glyphs[@]}"; do
  convert -size 9x16 xc:"$band_bg" -font "$mono_bold" -pointsize 14 -fill "$ink" \
    -annotate +0+12 "$c" "${jpeg_opts[@]}" "$out/$c.jpg"
done
convert -size 9x16 xc:"$band_bg" -font "$mono_bold" -pointsize 14 -fill "$ink" \
  -annotate +0+12 . "${jpeg_opts[@]}" "$out/punto.jpg"
# Capitals with an accent or a tilde: at 14 px the mark would rise above the
# cell, so they are drawn at 11 px, one row lower, and still read as capitals.
for c in Á É Í Ó Ú Ü Ñ; do
  convert -size 9x16 xc:"$band_bg" -font "$mono_bold" -pointsize 11 -fill "$ink" \
    -annotate +1+13 "$c" "${jpeg_opts[@]}" "$out/$c.jpg"
done

# The interior mark: white strokes on a slate mid grey. It is blended over the whole
# rectangle, so only the contrast inside it shows on the photo.
convert -size 120x60 xc:'#7d8188' \
  -fill none -stroke white -strokewidth 2 \
  -draw 'roundrectangle 2,2 117,57 9,9' \
  -draw 'roundrectangle 10,20 38,42 4,4' \
  -draw 'rectangle 17,15 26,20' \
  -draw 'circle 24,31 24,38' \
  -stroke none -fill white -draw 'circle 24,31 24,34' -draw 'rectangle 32,23 35,25' \
  -font "$sans_bold" -pointsize 10 -annotate +45+35 'FOTOLISTA' \
  "${png_opts[@]}" PNG24:"$out/marca.png"

# The sample photo: a glazed honey jar with a wooden lid on a studio backdrop.
cyl_a='asin(2*i/(w-1)-1)'
cyl_diffuse="(0.28+0.72*max(0,cos($cyl_a+0.55)))"
cyl_shine="pow(max(0,cos($cyl_a+0.4)),40)"
# Cylinder shading (light from the upper left) for a W x H block of COLOUR.
cylinder() { # W H COLOUR GLOSS OUT
  convert -size "$1x1" xc:"$3" -fx "u*$cyl_diffuse+$4*$cyl_shine*(1-u*$cyl_diffuse)" \
    -scale "$1x$2!" "$5"
}
cutout() { # PICTURE MASK: white in MASK keeps the picture, black makes it transparent
  convert "$1" "$2" -alpha off -compose copy_opacity -composite "$1"
}
W=409 H=320
convert -size "${W}x205" gradient:'#f2efea-#dcd5cb' \
  \( -size "${W}x115" gradient:'#cdc5b9-#e6e1d9' \) -append -blur 0x10 "$tmp/back.png"
# Jar body 128 x 132 at (141,120) with a rounded bottom.
cylinder 128 132 '#3d6d8e' 0.75 "$tmp/body.png"
convert -size 128x132 xc:black -fill white -draw 'rectangle 0,0 127,120' \
  -draw 'ellipse 64,120 64,11 0,360' "$tmp/bodymask.png"
# Cream label following the curve of the jar, with the product name.
cylinder 128 132 '#efe5cf' 0.35 "$tmp/label.png"
convert -size 128x132 xc:black -fill white -draw 'rectangle 0,44 127,92' \
  -draw 'ellipse 64,92 64,9 0,180' -fill black -draw 'ellipse 64,44 64,9 0,180' \
  "$tmp/bodymask.png" -compose multiply -composite "$tmp/labelmask.png"
convert "$tmp/label.png" -font "$sans_bold" -pointsize 18 -fill '#6b4a1f' \
  -gravity north -annotate +0+62 'MIEL' -pointsize 8 -fill '#8a6a3f' -annotate +0+84 'DE ROMERO' \
  "$tmp/label.png"
cutout "$tmp/label.png" "$tmp/labelmask.png"
convert "$tmp/body.png" "$tmp/label.png" -composite "$tmp/body.png"
# Wooden lid: a short cylinder with a lighter top face.
cylinder 136 34 '#8d6a44' 0.45 "$tmp/lid.png"
convert "$tmp/lid.png" -fill '#b08a5c' -draw 'ellipse 68,10 67,10 0,360' \
  -fill none -stroke '#6e5233' -draw 'ellipse 68,10 67,10 0,360' "$tmp/lid.png"
convert -size 136x34 xc:black -fill white -draw 'rectangle 0,10 135,26' \
  -draw 'ellipse 68,26 68,7 0,360' -draw 'ellipse 68,10 68,10 0,360' "$tmp/lidmask.png"
cutout "$tmp/body.png" "$tmp/bodymask.png"
cutout "$tmp/lid.png" "$tmp/lidmask.png"
convert "$tmp/back.png" \
  \( -size "${W}x${H}" xc:none -fill 'rgba(60,45,30,0.55)' -draw 'ellipse 212,252 86,13 0,360' -blur 0x9 \) \
  -composite \
  "$tmp/body.png" -geometry +141+120 -composite \
  "$tmp/lid.png" -geometry +137+100 -composite -alpha off \
  -seed 7 -attenuate 0.18 +noise Gaussian \
  "${photo_opts[@]}" "$out/previa.jpg"

# The preview as the mark window first shows it: the mark at (0,0), blended 125/255.
convert "$out/previa.jpg" "$out/marca.png" -geometry +0+0 \
  -compose blend -define compose:args=49 -composite \
  "${photo_opts[@]}" "$out/temporal.jpg"

echo "numeros: $(find "$out" -maxdepth 1 -type f | wc -l) files in $out"

if [ -n "$preview" ]; then
  # The finished large image as the program lays it out: band at x = 1 along the
  # bottom, the k-th glyph at x = 319 + 10(k-1), y = band top + 6, mark centred.
  ph=307
  band_top=$((ph - 24))
  args=(-gravity center -crop "409x${ph}+0+0" +repage -gravity northwest
        "$out/agua.jpg" -geometry "+1+$band_top" -composite)
  for ((k = 0; k < ${#code}; k++)); do
    c=${code:k:1}
    [ -f "$out/$c.jpg" ] || { echo "make-numeros.sh: no glyph for '$c'" >&2; exit 1; }
    args+=("$out/$c.jpg" -geometry "+$((319 + 10 * k))+$((band_top + 6))" -composite)
  done
  read -r mw mh < <(identify -format '%w %h\n' "$out/marca.png")
  # compose:args is a percentage; 50/255 of the mark over the photo.
  args+=("$out/marca.png" -geometry "+$(((409 - mw) / 2))+$(((ph - mh) / 2))"
         -compose blend -define compose:args=19.6 -composite -compose over)
  convert "$out/previa.jpg" "${args[@]}" -scale "$((zoom * 100))%" "${png_opts[@]}" "$preview"
  echo "preview: $preview"
fi
