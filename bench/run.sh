#!/usr/bin/env bash
# Benchmark of fotolista-batch against the plain image-library calls.
#
#   bench/run.sh [COUNT] [ROUNDS]
#
# Makes (once) a corpus of COUNT photo-like JPEGs (default 200) and a workbook
# naming them, then runs, alternating, ROUNDS times (default 2):
#   a  fotolista-batch run --jobs 1
#   b  fotolista-batch run            (as many jobs as cores)
#   c  fotolista-batch run --fast     (as many jobs as cores)
#   d  fotolista_reference            (the same image-library calls, one thread)
# and, when installed, vipsthumbnail and ImageMagick's convert making the
# two sizes. It prints wall and CPU seconds, images per second, peak memory
# and each throughput against d (medians over the rounds); then the peak
# memory of a run ten times as long over the same photos, and the largest
# gap in the window's event loop during a run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-200}
rounds=${2:-2}
work=${BENCH_DIR:-$root/bench/work}
bin=$root/build/bin
"$root/scripts/build.sh" >/dev/null

corpus=$work/corpus-$count
if [ ! -f "$corpus/lote.xls" ]; then
  mkdir -p "$corpus"
  echo "Haciendo el corpus de $count fotos en $corpus ..."
  "$bin/fotolista_corpusgen" "$corpus" "$count"
  /usr/bin/python3 "$root/bench/make_workbook.py" "$corpus/lista.tsv" "$corpus/lote.xls"
  /usr/bin/python3 "$root/bench/make_workbook.py" "$corpus/lista.tsv" "$corpus/lote-x10.xls" $((count * 10))
fi
images=$(grep -c $'\t.jpg$' "$corpus/lista.tsv")
out=$work/out
results=$work/results.txt
: > "$results"

measure() { # name, command...
  local name=$1; shift
  rm -rf "$out"; mkdir -p "$out"
  /usr/bin/time -o "$work/time.txt" -f "%e %U %S %M" "$@" >/dev/null 2>&1 || true
  echo "$name $(tail -n 1 "$work/time.txt")" >> "$results"
}

modes=(a b c d)
command -v vipsthumbnail >/dev/null && modes+=(vips)
command -v convert >/dev/null && [ "$(convert -version 2>/dev/null | head -c 7)" = "Version" ] && modes+=(magick)

run_mode() {
  case $1 in
    a) measure a "$bin/fotolista-batch" run "$corpus/lote.xls" "$corpus" "$out" --jobs 1 --quiet --log "$out/errores.txt" ;;
    b) measure b "$bin/fotolista-batch" run "$corpus/lote.xls" "$corpus" "$out" --quiet --log "$out/errores.txt" ;;
    c) measure c "$bin/fotolista-batch" run "$corpus/lote.xls" "$corpus" "$out" --fast --quiet --log "$out/errores.txt" ;;
    d) measure d "$bin/fotolista_reference" "$corpus/lista.tsv" "$corpus" "$out" "$bin/numeros" ;;
    vips) measure vips bash -c "mkdir -p '$out/s' && for f in '$corpus'/*.jpg; do vipsthumbnail \"\$f\" --size 409x -o '$out/%s.jpg[Q=75]' && vipsthumbnail \"\$f\" --size 145x -o '$out/s/%s_p.jpg[Q=75]'; done" ;;
    magick) measure magick bash -c "for f in '$corpus'/*.jpg; do b=\$(basename \"\$f\" .jpg); convert \"\$f\" -filter Catrom -resize 409x -quality 75 '$out/'\$b.jpg; convert \"\$f\" -filter Catrom -resize 145x -quality 75 '$out/'\$b'_p.jpg'; done" ;;
  esac
}

for round in $(seq 1 "$rounds"); do
  # Alternate the order so that no mode always runs on a warm or cold cache.
  if [ $((round % 2)) -eq 1 ]; then order=("${modes[@]}"); else order=($(printf '%s\n' "${modes[@]}" | tac)); fi
  # The other tools are slow and only for comparison: one round is enough.
  if [ "$round" -gt 1 ]; then order=($(printf '%s\n' "${order[@]}" | grep -v -x -e vips -e magick)); fi
  for m in "${order[@]}"; do
    echo "ronda $round: $m"
    run_mode "$m"
  done
done

echo
echo "Máquina: $(nproc) núcleos, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(free -g | awk '/Mem:/ {print $2}') GiB"
echo "Corpus: $images JPEG ($(du -sh "$corpus" | cut -f1)), $rounds rondas; medianas"
/usr/bin/python3 - "$results" "$images" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    name, wall, user, system, rss = line.split()
    rows.setdefault(name, []).append((float(wall), float(user) + float(system), int(rss)))
images = int(sys.argv[2])
def med(name, i): return statistics.median(r[i] for r in rows[name])
labels = {"a": "fotolista-batch --jobs 1", "b": "fotolista-batch (jobs = cores)", "c": "fotolista-batch --fast",
          "d": "reference (plain calls)", "vips": "vipsthumbnail x2", "magick": "convert x2"}
ref = images / med("d", 0)
print("%-32s %8s %8s %8s %9s %8s" % ("mode", "wall s", "cpu s", "img/s", "peak MB", "vs ref"))
for name in rows:
    ips = images / med(name, 0)
    print("%-32s %8.2f %8.2f %8.2f %9.0f %8.2f" % (labels[name], med(name, 0), med(name, 1), ips,
                                                  max(r[2] for r in rows[name]) / 1024, ips / ref))
a, b, c = (images / med(n, 0) for n in "abc")
print("b / a (both cores): %.2f    c / b (fast mode): %.2f    a / ref (overhead): %.3f" % (b / a, c / b, a / ref))
PY

echo
echo "Calidad de la lectura rápida: PSNR de cada imagen grande frente a la lectura exacta"
rm -rf "$work/exact" "$work/fast"; mkdir -p "$work/exact" "$work/fast"
"$bin/fotolista-batch" run "$corpus/lote.xls" "$corpus" "$work/exact" --quiet --log "$work/exact/e.txt" >/dev/null 2>&1 || true
"$bin/fotolista-batch" run "$corpus/lote.xls" "$corpus" "$work/fast" --fast --quiet --log "$work/fast/e.txt" >/dev/null 2>&1 || true
for f in "$work/exact"/*.jpg; do
  # compare exits 1 when the pictures differ, which here is expected.
  { compare -metric PSNR "$f" "$work/fast/$(basename "$f")" null: 2>&1 || true; } | cut -d' ' -f1
  echo
done | /usr/bin/python3 -c "
import sys
v = [float(x) for x in sys.stdin.read().split() if x.replace('.', '', 1).isdigit() or x == 'inf']
f = [x for x in v if x != float('inf')]
print('%d imágenes, %d idénticas; las demás: mínimo %.1f dB, media %.1f dB' % (len(v), len(v) - len(f), min(f), sum(f) / len(f)))"

echo
echo "Memoria: $images filas contra $((images * 10)) filas (mismas fotos, --fast, jobs = núcleos)"
rm -rf "$out"; mkdir -p "$out"
/usr/bin/time -o "$work/time.txt" -f "%M" "$bin/fotolista-batch" run "$corpus/lote.xls" "$corpus" "$out" --fast --quiet --log "$out/e.txt" >/dev/null 2>&1 || true
short=$(tail -n 1 "$work/time.txt")
rm -rf "$out"; mkdir -p "$out"
/usr/bin/time -o "$work/time.txt" -f "%M" "$bin/fotolista-batch" run "$corpus/lote-x10.xls" "$corpus" "$out" --fast --quiet --log "$out/e.txt" >/dev/null 2>&1 || true
long=$(tail -n 1 "$work/time.txt")
echo "pico: $((short / 1024)) MB y $((long / 1024)) MB (razón $(/usr/bin/python3 -c "print(round($long / $short, 3))"))"

echo
echo "Ventana: mayor hueco del bucle de eventos durante un lote"
rm -rf "$out"; mkdir -p "$out"
(cd "$out" && QT_QPA_PLATFORM=offscreen "$bin/fotolista_responsiveness" "$corpus/lote.xls" "$corpus" "$out")
