#!/usr/bin/env bash
# Makes the example batch: product photos in examples/fotos/ and the workbook
# examples/catalogo.xls that names them. Byte-identical from run to run on the
# same Debian release (fixed seeds, no metadata, no timestamps).
#
# Usage: examples/make-example.sh [--out DIR]   (default: the folder of this script)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out="$here"
case "${1:-}" in
  --out) out=${2:?--out needs a folder} ;;
  -h|--help) sed -n '2,6s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
  "") ;;
  *) echo "make-example.sh: unknown argument '$1'" >&2; exit 2 ;;
esac

command -v convert >/dev/null || { echo "make-example.sh: ImageMagick is missing (scripts/install-deps.sh)" >&2; exit 1; }
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
[ -f "$font" ] || { echo "make-example.sh: $font is missing (fonts-dejavu-core)" >&2; exit 1; }

# One thread: some ImageMagick operators hand out random numbers per thread.
export MAGICK_THREAD_LIMIT=1

fotos="$out/fotos"
mkdir -p "$fotos"
rm -f "$fotos"/*.jpg "$fotos"/*.JPG
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Shading for round objects lit from the upper left: cylinders vary across x,
# spheres across x and y. GLOSS scales the highlight (glass high, cardboard none).
cyl_a='asin(2*i/(w-1)-1)'
cyl_d="(0.26+0.74*max(0,cos($cyl_a+0.55)))"
cyl_s="pow(max(0,cos($cyl_a+0.4)),40)"
cylinder() { # W H COLOUR GLOSS OUT
  convert -size "$1x1" xc:"$3" -fx "u*$cyl_d+$4*$cyl_s*(1-u*$cyl_d)" -scale "$1x$2!" "$5"
}
sph_x='(2*i/(w-1)-1)'
sph_y='(2*j/(h-1)-1)'
sph_z="sqrt(max(0,1-$sph_x*$sph_x-$sph_y*$sph_y))"
sph_l="max(0,-0.45*$sph_x-0.55*$sph_y+0.70*$sph_z)"
sphere() { # D COLOUR GLOSS OUT
  # -fx is slow per pixel: shade a small grey map once and enlarge it, it is smooth.
  convert -size 80x80 xc:black -channel R -fx "0.22+0.78*$sph_l" -separate -resize "$1x$1!" "$tmp/shade.png"
  convert -size 80x80 xc:black -channel R -fx "$3*pow($sph_l,30)" -separate -resize "$1x$1!" "$tmp/gloss.png"
  convert -size "$1x$1" xc:"$2" "$tmp/shade.png" -compose multiply -composite \
    "$tmp/gloss.png" -compose screen -composite \
    \( -size "$1x$1" xc:black -fill white -draw "circle $(($1 / 2)),$(($1 / 2)) $(($1 / 2)),1" \) \
    -alpha off -compose copy_opacity -composite "$4"
}
cutout() { # PICTURE MASK: white in MASK keeps the picture, black makes it transparent
  convert "$1" "$2" -alpha off -compose copy_opacity -composite "$1"
}

# Every product is drawn on an 800 x 800 transparent stage, standing on the
# floor line y = 640, with its own soft shadow.
stage_shadow() { # CX RX
  convert -size 800x800 xc:none -fill 'rgba(55,42,30,0.55)' \
    -draw "ellipse $1,640 $2,26 0,360" -blur 0x16 "$tmp/stage.png"
}
on_stage() { # PICTURE X Y
  convert "$tmp/stage.png" "$1" -geometry "+$2+$3" -composite "$tmp/stage.png"
}

mug() { # COLOUR RIM
  stage_shadow 400 200
  # Handle first, so the body hides its inner half.
  convert "$tmp/stage.png" -fill none -stroke "$1" -strokewidth 34 -draw 'ellipse 535,470 72,92 0,360' \
    -stroke 'rgba(255,255,255,0.22)' -strokewidth 7 -draw 'ellipse 531,466 70,88 0,360' "$tmp/stage.png"
  cylinder 300 330 "$1" 0.8 "$tmp/body.png"
  convert "$tmp/body.png" -fill "$2" -draw 'ellipse 150,30 150,30 0,360' \
    -fill '#3a2a22' -draw 'ellipse 150,31 137,24 0,360' \
    -fill 'rgba(0,0,0,0.35)' -draw 'ellipse 150,38 120,15 0,360' "$tmp/body.png"
  convert -size 300x330 xc:black -fill white -draw 'rectangle 0,30 299,300' \
    -draw 'ellipse 150,300 150,28 0,360' -draw 'ellipse 150,30 150,30 0,360' "$tmp/mask.png"
  cutout "$tmp/body.png" "$tmp/mask.png"
  on_stage "$tmp/body.png" 250 312
}

jar() { # BODY LID TEXT
  stage_shadow 400 175
  cylinder 260 290 "$1" 0.7 "$tmp/body.png"
  cylinder 260 290 '#f1e8d4' 0.3 "$tmp/label.png"
  convert -size 260x290 xc:black -fill white -draw 'rectangle 0,95 259,195' \
    -draw 'ellipse 130,195 130,18 0,180' -fill black -draw 'ellipse 130,95 130,18 0,180' "$tmp/lmask.png"
  convert "$tmp/label.png" -font "$font" -pointsize 40 -fill '#5a3d1c' -gravity north \
    -annotate +0+128 "$3" "$tmp/label.png"
  cutout "$tmp/label.png" "$tmp/lmask.png"
  convert "$tmp/body.png" "$tmp/label.png" -composite "$tmp/body.png"
  convert -size 260x290 xc:black -fill white -draw 'rectangle 0,0 259,265' \
    -draw 'ellipse 130,265 130,24 0,360' "$tmp/mask.png"
  cutout "$tmp/body.png" "$tmp/mask.png"
  cylinder 276 70 "$2" 0.4 "$tmp/lid.png"
  convert "$tmp/lid.png" -fill "$2" -draw 'ellipse 138,22 137,21 0,360' \
    -fill 'rgba(255,255,255,0.18)' -draw 'ellipse 138,22 137,21 0,360' "$tmp/lid.png"
  convert -size 276x70 xc:black -fill white -draw 'rectangle 0,22 275,52' \
    -draw 'ellipse 138,52 138,14 0,360' -draw 'ellipse 138,22 138,22 0,360' "$tmp/mask.png"
  cutout "$tmp/lid.png" "$tmp/mask.png"
  on_stage "$tmp/body.png" 270 375
  on_stage "$tmp/lid.png" 262 330
}

bottle() { # GLASS CAP TEXT
  stage_shadow 400 130
  cylinder 210 360 "$1" 1.0 "$tmp/body.png"
  cylinder 210 360 '#f3ecd9' 0.3 "$tmp/label.png"
  convert "$tmp/label.png" -font "$font" -pointsize 30 -fill '#2f4a1a' -gravity north \
    -annotate +0+205 "$3" -pointsize 14 -annotate +0+245 'VIRGEN EXTRA' "$tmp/label.png"
  convert -size 210x360 xc:black -fill white -draw 'rectangle 0,180 209,290' \
    -draw 'ellipse 105,290 105,12 0,180' -fill black -draw 'ellipse 105,180 105,12 0,180' "$tmp/lmask.png"
  cutout "$tmp/label.png" "$tmp/lmask.png"
  convert "$tmp/body.png" "$tmp/label.png" -composite "$tmp/body.png"
  convert -size 210x360 xc:black -fill white -draw 'roundrectangle 0,0 209,200 100,90' \
    -draw 'rectangle 0,110 209,345' -draw 'ellipse 105,345 105,14 0,360' "$tmp/mask.png"
  cutout "$tmp/body.png" "$tmp/mask.png"
  cylinder 64 120 "$1" 1.0 "$tmp/neck.png"
  cylinder 78 62 "$2" 0.6 "$tmp/cap.png"
  convert "$tmp/cap.png" -fill 'rgba(255,255,255,0.25)' -draw 'ellipse 39,8 38,8 0,360' \
    -fill 'rgba(0,0,0,0.25)' -draw 'rectangle 0,50 77,53' "$tmp/cap.png"
  convert -size 78x62 xc:black -fill white -draw 'rectangle 0,8 77,56' \
    -draw 'ellipse 39,56 39,6 0,360' -draw 'ellipse 39,8 39,8 0,360' "$tmp/mask.png"
  cutout "$tmp/cap.png" "$tmp/mask.png"
  on_stage "$tmp/neck.png" 368 180
  on_stage "$tmp/body.png" 295 281
  on_stage "$tmp/cap.png" 361 140
}

box() { # TOP FRONT SIDE
  stage_shadow 440 230
  convert "$tmp/stage.png" -stroke 'rgba(60,40,20,0.5)' -strokewidth 2 \
    -fill "$1" -draw 'polygon 200,400 330,340 650,392 520,452' \
    -fill "$2" -draw 'polygon 200,400 520,452 520,650 200,598' \
    -fill "$3" -draw 'polygon 520,452 650,392 650,590 520,650' \
    -stroke none -fill 'rgba(245,235,210,0.85)' \
    -draw 'polygon 345,423 375,428 505,368 475,363' -draw 'polygon 345,423 375,428 375,478 345,473' \
    -fill none -stroke '#5e4126' -strokewidth 5 -draw 'polygon 240,500 330,515 330,575 240,560' \
    -strokewidth 6 -draw 'line 410,525 490,538' -draw 'line 410,550 490,563' -draw 'line 410,575 470,585' \
    "$tmp/stage.png"
}

bag() { # LEATHER FLAP STRAP
  stage_shadow 400 210
  convert "$tmp/stage.png" -fill none -stroke "$3" -strokewidth 24 -draw 'path "M 288,402 A 112,130 0 0,1 512,402"' \
    "$tmp/stage.png"
  cylinder 400 250 "$1" 0.35 "$tmp/body.png"
  convert -size 400x250 xc:black -fill white -draw 'polygon 40,0 360,0 400,240 0,240' \
    -draw 'ellipse 200,240 200,10 0,180' "$tmp/mask.png"
  cylinder 340 110 "$2" 0.3 "$tmp/flap.png"
  convert "$tmp/flap.png" -fill none -stroke '#e9d3a8' -strokewidth 2 \
    -draw 'stroke-dasharray 9 7 polyline 14,8 22,70 170,100 318,70 326,8' "$tmp/flap.png"
  convert -size 340x110 xc:black -fill white -draw 'polygon 0,0 340,0 330,78 170,108 10,78' "$tmp/fmask.png"
  cutout "$tmp/body.png" "$tmp/mask.png"
  cutout "$tmp/flap.png" "$tmp/fmask.png"
  on_stage "$tmp/body.png" 200 396
  on_stage "$tmp/flap.png" 230 396
  convert "$tmp/stage.png" -fill '#c9a241' -stroke '#8c6d22' -strokewidth 3 \
    -draw 'roundrectangle 382,486 418,522 6,6' -fill '#6b5a3a' -stroke none -draw 'rectangle 396,494 404,514' \
    "$tmp/stage.png"
}

basket() { # WICKER FRUIT
  stage_shadow 400 210
  # Inside and back of the rim, the handle, then the fruit, then the front: each hides the one before.
  # Open paths for the arcs: a partial ellipse would be closed by a chord.
  convert "$tmp/stage.png" -fill '#4a3419' -stroke "$1" -strokewidth 12 -draw 'ellipse 400,452 178,24 0,360' \
    -fill none \
    -strokewidth 20 -draw 'path "M 240,452 A 160,200 0 0,1 560,452"' "$tmp/stage.png"
  sphere 120 "$2" 0.8 "$tmp/fruit.png"
  on_stage "$tmp/fruit.png" 285 360
  on_stage "$tmp/fruit.png" 385 340
  on_stage "$tmp/fruit.png" 335 372
  cylinder 360 190 "$1" 0.2 "$tmp/body.png"
  local weave=()
  for ((y = 18; y < 190; y += 22)); do weave+=(-draw "line 0,$y 359,$((y + 4))"); done
  for ((x = 30; x < 360; x += 40)); do weave+=(-draw "line $x,0 $((x + (x - 180) / 9)),190"); done
  convert "$tmp/body.png" -stroke 'rgba(70,45,20,0.45)' -strokewidth 5 "${weave[@]}" "$tmp/body.png"
  convert -size 360x190 xc:black -fill white -draw 'polygon 0,0 359,0 320,175 40,175' \
    -draw 'ellipse 180,175 140,14 0,180' -fill black -draw 'ellipse 180,0 180,26 0,180' "$tmp/mask.png"
  cutout "$tmp/body.png" "$tmp/mask.png"
  on_stage "$tmp/body.png" 220 452
  convert "$tmp/stage.png" -fill none -stroke "$1" -strokewidth 14 -draw 'path "M 222,452 A 178,26 0 0,0 578,452"' \
    -stroke 'rgba(255,255,255,0.2)' -strokewidth 4 -draw 'path "M 240,458 A 170,22 0 0,0 560,458"' "$tmp/stage.png"
}

ball() { # COLOUR SEAM
  stage_shadow 420 170
  sphere 340 "$1" 0.9 "$tmp/ball.png"
  # Half-transparent seams keep the ball's shading underneath them.
  convert "$tmp/ball.png" -fill none -stroke "$2" -strokewidth 6 \
    -draw 'line 170,0 170,340' -draw 'line 0,170 340,170' \
    -draw 'ellipse -60,170 170,190 -60,60' -draw 'ellipse 400,170 170,190 120,240' "$tmp/ball.png"
  convert -size 340x340 xc:black -fill white -draw 'circle 170,170 170,1' "$tmp/mask.png"
  cutout "$tmp/ball.png" "$tmp/mask.png"
  on_stage "$tmp/ball.png" 235 300
}

# PHOTO NAME W H SEED LIGHT DARK DRAW...: a soft mottled backdrop (grey plasma
# toned between DARK and LIGHT), light falling off towards the bottom, the staged
# product enlarged 1.25 times around its middle, and fine seeded grain.
photo() {
  local name=$1 w=$2 h=$3 seed=$4 light=$5 dark=$6
  shift 6
  "$@"
  local s=$((w < h ? w : h))
  local k=$((s * 5 / 4))
  local at
  at=$(printf '%+d%+d' $((w / 2 - k / 2)) $((h / 2 - k * 430 / 800)))
  convert -seed "$seed" -size "$((w / 16))x$((h / 16))" plasma:grey50-grey50 -modulate 100,0 \
    -blur 0x4 -auto-level +level-colors "$dark,$light" -resize "${w}x${h}!" \
    \( -size "${w}x${h}" gradient:'#ffffff-#d3cbc0' \) -compose multiply -composite \
    \( "$tmp/stage.png" -resize "${k}x${k}" \) -compose over -geometry "$at" -composite \
    -seed "$seed" -attenuate 0.25 +noise Gaussian \
    -strip -type TrueColor -interlace none -sampling-factor 2x2 -quality 84 "$fotos/$name"
}

photo 12345.jpg 1600 1200 101 '#f6f1ea' '#ddd2c4' mug '#b6402f' '#d8695a'
photo 12346.JPG 1200 1600 102 '#f1f3f5' '#d2d8de' bag '#9b5a2e' '#86491f' '#6e3a18'
photo 20001.jpg 2000 1500 103 '#f4f1ec' '#d9cfc1' box '#dcb98e' '#c49a6c' '#a37b50'
photo 20002.jpg 1024 768 104 '#f0f3ec' '#d3dacb' jar '#4c7a3e' '#8d6a44' 'OLIVAS'
photo 20003.jpg 800 800 105 '#f6f3ee' '#ddd5c9' bottle '#3d5a22' '#b8902e' 'ACEITE'
photo 30001.jpg 960 1280 106 '#f4efe6' '#d8cab5' basket '#b48a4e' '#c2352b'
photo 20004.jpg 1600 1200 107 '#eef1f5' '#cbd3de' ball '#e0722a' 'rgba(45,25,12,0.75)'
photo 30002.jpg 1280 960 108 '#f5f2ed' '#d9d1c5' mug '#2f5d8a' '#5f8fbf'

/usr/bin/python3 "$here/make_workbook.py" "$out/catalogo.xls"

echo "example: $(find "$fotos" -type f | wc -l) photos in $fotos, workbook $out/catalogo.xls"
