#!/usr/bin/env bash
# The sweep the WebP and AVIF qualities of the program were chosen from, over
# both corpora of bench/run.sh (made there; run it once first):
#
#   bench/websweep.sh [STEP] [COUNT] [REAL_COUNT]
#
# For each photo, the ideal downscales of the two copies (ImageMagick's
# Lanczos of the full decode, kept in CORPUS/ideal-web/), then
# fotolista_websweep: the JPEG at each quality item, WebP and AVIF at every
# STEP-th quality (default 5), each decoded and measured against the ideal,
# into bench/work/websweep.tsv; then the table (bench/websweep.py).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
step=${1:-5}
work=${BENCH_DIR:-$root/bench/work}
bin=$root/build/bin
corpora=("sintetico:$work/sintetico-${2:-200}" "real:$work/real-${3:-60}")
cmake --build "$root/build" -j2 --target fotolista_websweep >/dev/null
ideals() { # folder: the ideal of each copy, at the copy's own size
  local corpus=$1 f name w h
  mkdir -p "$corpus/ideal-web"
  for f in "$corpus"/*.jpg; do
    name=$(basename "$f" .jpg)
    read -r w h < <(identify -format '%w %h\n' "$f")
    for width in 409 145; do
      # The copy's height: rounded half to even, as the program rounds it.
      local height out=$corpus/ideal-web/$name-$width.png
      height=$(python3 -c "print(round($h * $width / $w))")
      [ -f "$out" ] || convert "$f" -filter Lanczos -resize "${width}x${height}!" "$out"
    done
  done
}
out=$work/websweep.tsv
: > "$out"
for entry in "${corpora[@]}"; do
  name=${entry%%:*} corpus=${entry#*:}
  [ -d "$corpus" ] || { echo "falta el corpus $corpus: bench/run.sh lo hace" >&2; exit 1; }
  echo "Ideales de $corpus ..." >&2
  ideals "$corpus"
  echo "Barrido de $corpus ..." >&2
  "$bin/fotolista_websweep" sweep "$name" "$corpus" "$step" >> "$out"
done
python3 "$root/bench/websweep.py" "$out"
