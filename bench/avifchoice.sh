#!/usr/bin/env bash
# libheif's AVIF encoder against libavif's, on the same pictures: the ideal
# downscales of the real corpus (made by bench/websweep.sh), each encoded by
# the libraries' own command-line tools at the same AV1 quantiser (cq-level)
# and speed, decoded again and measured against its input.
#
#   bench/avifchoice.sh [COUNT]      (needs libheif-examples and libavif-bin)
#
# Prints, per encoder, setting and width: mean bytes, mean PSNR (dB) and mean
# milliseconds per picture (the tool's start included).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${BENCH_DIR:-$root/bench/work}
count=${1:-20}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
now() { date +%s%N; }
encode() { # label width cq command...
  local label=$1 width=$2 cq=$3; shift 3
  local bytes=0 psnr=0 ms=0 n=0 f t0 t1
  for f in $(ls "$work"/real-60/ideal-web/*-"$width".png | head -n "$count"); do
    t0=$(now)
    "$@" "$f" "$tmp/out.avif" >/dev/null 2>&1
    t1=$(now)
    avifdec "$tmp/out.avif" "$tmp/back.png" >/dev/null 2>&1
    bytes=$((bytes + $(stat -c %s "$tmp/out.avif")))
    psnr=$(python3 -c "print($psnr + $( { compare -metric PSNR "$f" "$tmp/back.png" null: 2>&1 || true; } | cut -d' ' -f1))")
    ms=$((ms + (t1 - t0) / 1000000))
    n=$((n + 1))
  done
  python3 -c "print(f'| $label | $cq | $width | {$bytes / $n:.0f} | {$psnr / $n:.2f} | {$ms / $n:.0f} |')"
}
heif() { heif-enc -A -e aom -p speed=7 -p chroma=420 -q "$quality" "$1" -o "$2"; }
avif_aom() { avifenc -c aom -s 7 -y 420 --min 0 --max 63 -a end-usage=q -a cq-level="$cq" "$1" "$2"; }
echo "| encoder | cq-level | width | bytes | PSNR dB | ms |"
echo "|---|---:|---:|---:|---:|---:|"
for quality in 30 50 70; do
  # libheif's aom plugin turns a quality into this cq-level.
  cq=$(( ((100 - quality) * 63 + 50) / 100 ))
  for width in 409 145; do
    encode "libheif 1.15 (aom 3.6), quality $quality" "$width" "$cq" heif
    encode "libavif 0.11 (aom 3.6)" "$width" "$cq" avif_aom
  done
done
