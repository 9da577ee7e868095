#!/usr/bin/env bash
# Benchmark of `fotolista-batch check`: a workbook of ROWS rows over as many
# photos, against what any check must at least do (read the workbook, open
# every photo and read the start of it).
#
#   bench/check.sh [ROWS] [ROUNDS]
#
# The photos are the JPEGs of $BENCH_PHOTOS (default: the example batch's
# eight) under ROWS names (00001.jpg, 00002.jpg, ...), hard links where the
# file system allows, so every row opens a file of its own name; the
# workbook names them in column F, rows 6, 10, 14, ... with destinations in
# column A. Runs, alternating, ROUNDS times (default 5), with a warm cache:
#   check  fotolista-batch check
#   cells  fotolista-batch cells        (reading the workbook alone)
#   heads  open every photo and read its first 64 kB (Python)
# and prints the medians and the ratio of check to cells + heads.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rows=${1:-5000}
rounds=${2:-5}
work=${BENCH_DIR:-$root/bench/work}
bin=$root/build/bin
"$root/scripts/build.sh" >/dev/null

photos_from=${BENCH_PHOTOS:-$root/examples/fotos}
corpus=$work/check-$rows-$(basename "$photos_from")
if [ ! -f "$corpus/lote.xls" ]; then
  echo "Haciendo el lote de $rows filas en $corpus ..."
  rm -rf "$corpus"
  mkdir -p "$corpus/fotos" "$corpus/salida"
  photos=("$photos_from"/*.[jJ][pP][gG])
  : > "$corpus/lista.tsv"
  for i in $(seq 1 "$rows"); do
    name=$(printf '%05d' "$i")
    photo=${photos[$(( (i - 1) % ${#photos[@]} ))]}
    ln "$photo" "$corpus/fotos/$name.jpg" 2>/dev/null || cp "$photo" "$corpus/fotos/$name.jpg"
    printf '%s\tWEB-%s\t.jpg\n' "$name" "$name" >> "$corpus/lista.tsv"
  done
  /usr/bin/python3 "$root/bench/make_workbook.py" "$corpus/lista.tsv" "$corpus/lote.xls"
fi

results=$work/check-results.txt
: > "$results"
measure() { # name, command...
  local name=$1; shift
  /usr/bin/time -o "$work/time.txt" -f "%e %U %S %M" "$@" > "$work/out.txt" 2>&1 || true
  echo "$name $(tail -n 1 "$work/time.txt")" >> "$results"
}
cat > "$work/heads.py" <<'PY'
import os, sys
for entry in os.scandir(sys.argv[1]):
    with open(entry.path, "rb") as f:
        f.read(65536)
PY

# A first check fills the cache; its figure is not kept.
"$bin/fotolista-batch" check "$corpus/lote.xls" "$corpus/fotos" "$corpus/salida" > "$work/check.txt" || true
tail -n 1 "$work/check.txt"
for round in $(seq 1 "$rounds"); do
  order=(check cells heads)
  [ $((round % 2)) -eq 0 ] && order=(heads cells check)
  for m in "${order[@]}"; do
    case $m in
      check) measure check "$bin/fotolista-batch" check "$corpus/lote.xls" "$corpus/fotos" "$corpus/salida" ;;
      cells) measure cells "$bin/fotolista-batch" cells "$corpus/lote.xls" ;;
      heads) measure heads /usr/bin/python3 "$work/heads.py" "$corpus/fotos" ;;
    esac
  done
done

echo "Máquina: $(nproc) núcleos, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
echo "Lote: $rows filas, $(ls "$corpus/fotos" | wc -l) fotos de $photos_from, $rounds rondas; medianas"
/usr/bin/python3 - "$results" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    name, wall, user, system, rss = line.split()
    rows.setdefault(name, []).append((float(wall), float(user) + float(system), int(rss)))
med = {n: [statistics.median(v[i] for v in r) for i in range(3)] for n, r in rows.items()}
print(f"{'':8}{'wall s':>8}{'CPU s':>8}{'peak MB':>9}")
for n in ("check", "cells", "heads"):
    w, c, m = med[n]
    print(f"{n:8}{w:8.2f}{c:8.2f}{m / 1024:9.0f}")
floor = med["cells"][0] + med["heads"][0]
print(f"check / (cells + heads): {med['check'][0] / floor:.2f}")
PY
